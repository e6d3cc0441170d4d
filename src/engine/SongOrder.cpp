#include "engine/SongOrder.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <utility>

#include "platform/TextCompare.h"

namespace kelvara {
namespace {

std::uint32_t cryptoRandom32() {
    std::uint32_t value = 0;
    auto* bytes = reinterpret_cast<char*>(&value);
    std::size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return static_cast<std::uint32_t>(std::random_device{}());  // no getrandom here
    }
    return value;
}

}  // namespace

SongOrder::SongOrder(TrackOrder tracksOrder, bool ascending, Random random)
    : tracksOrder_(tracksOrder),
      ascending_(ascending),
      random_(random ? std::move(random) : Random(cryptoRandom32)) {}

std::vector<const MediaItem*> SongOrder::apply(std::vector<const MediaItem*> songs) const {
    if (tracksOrder_ == TrackOrder::Shuffle) {
        // Position i takes the song at i + r mod (n - i): every order is equally likely.
        const std::size_t n = songs.size();
        for (std::size_t i = 0; i < n; ++i) std::swap(songs[i], songs[i + random_() % (n - i)]);
    } else if (tracksOrder_ != TrackOrder::PlaylistOrder) {
        std::stable_sort(songs.begin(), songs.end(), [&](const MediaItem* a, const MediaItem* b) {
            const int c = compare(*a, *b, tracksOrder_);
            return ascending_ ? c < 0 : c > 0;
        });
    }
    return songs;
}

int SongOrder::compare(const MediaItem& a, const MediaItem& b, TrackOrder key) {
    auto texts = [](const OptionalText& x, const OptionalText& y) {
        if (!x || !y) return int(bool(x)) - int(bool(y));
        return localizedStandardCompare(*x, *y);
    };
    auto numbers = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
    static const OptionalText none;
    switch (key) {
        case TrackOrder::Artist:
            return texts(a.artist() ? a.artist()->name() : none,
                         b.artist() ? b.artist()->name() : none);
        case TrackOrder::Title:
            return texts(a.title(), b.title());
        case TrackOrder::Album:
            return texts(a.album() ? a.album()->title() : none,
                         b.album() ? b.album()->title() : none);
        case TrackOrder::Year:
            return numbers(a.year(), b.year());
        case TrackOrder::DateAdded: {
            if (!a.addedDate() || !b.addedDate())
                return int(bool(a.addedDate())) - int(bool(b.addedDate()));
            return numbers(*a.addedDate(), *b.addedDate());
        }
        case TrackOrder::PlayCount:
            return numbers(a.playCount(), b.playCount());
        case TrackOrder::PlaylistOrder:
        case TrackOrder::Shuffle:
            break;
    }
    return 0;
}

}  // namespace kelvara
