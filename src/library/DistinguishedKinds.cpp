#include "library/DistinguishedKinds.h"

#include <array>
#include <utility>

namespace kelvara {
namespace {

namespace dk = distinguished_kind;

// XML value → the rules' value. The two numberings overlap with different meanings (XML 26 is
// Genius, the rules' 26 is iTunes U), so every value goes through this table and nowhere else.
constexpr std::array<std::pair<std::int64_t, unsigned>, 26> kTable{{
    {2, dk::Movies},
    {3, dk::TVShows},
    {4, dk::Music},
    {5, dk::Audiobooks},
    {6, dk::Ringtones},
    {7, dk::Movies},  // Rentals hold movies.
    {10, dk::Podcasts},
    {17, dk::VoiceMemos},
    {18, dk::Applications},
    {19, dk::Purchases},
    {20, dk::Purchases},  // Purchases made on a device.
    {31, dk::ITunesU},
    {47, dk::MusicVideos},
    {48, dk::HomeVideos},
    {50, dk::Audiobooks},  // The "Books" lists of later versions.
    {57, dk::Audiobooks},
    {58, dk::Audiobooks},
    {59, dk::Audiobooks},
    {200, dk::Music90s},
    {201, dk::MyTopRated},
    {202, dk::Top25MostPlayed},
    {203, dk::RecentlyPlayed},
    {204, dk::RecentlyAdded},
    {205, dk::MusicVideosSmart},
    {206, dk::ClassicalMusic},
    {0, dk::None},
}};

}  // namespace

unsigned distinguishedKindFromLibraryValue(std::int64_t value) {
    for (const auto& [xml, kind] : kTable) {
        if (xml == value) return kind;
    }
    return dk::None;
}

}  // namespace kelvara
