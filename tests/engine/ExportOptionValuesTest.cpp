#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "engine/ExportOptionValues.h"

using namespace kelvara;

namespace {

// Every stored integer that has a meaning, in order from 0, then integers that have none and the
// value they stand for.
template <typename Option>
void expectTable(const std::vector<Option>& byStoredValue, Option otherwise,
                 const std::vector<std::int64_t>& outOfRange) {
    for (std::size_t stored = 0; stored < byStoredValue.size(); ++stored) {
        const Option value = byStoredValue[stored];
        EXPECT_EQ(toStored(value), static_cast<std::int64_t>(stored));
        EXPECT_EQ(storedOption<Option>(static_cast<std::int64_t>(stored)), value) << stored;
        EXPECT_EQ(storedOption<Option>(toStored(value)), value) << stored;
    }
    EXPECT_EQ(std::size(StoredValues<Option>::values), byStoredValue.size());
    for (std::int64_t stored : outOfRange)
        EXPECT_EQ(storedOption<Option>(stored), otherwise) << stored;
}

}  // namespace

TEST(ExportOptionValues, StoredIntegersConvertBothWaysAndUnknownOnesFallBack) {
    // 2^32 and 2^32 + 1: only the whole number counts, not its low bits.
    const std::int64_t wide = std::int64_t{1} << 32;
    expectTable<FolderLayout>(
        {FolderLayout::PlaylistFolder, FolderLayout::MusicArtistAlbum, FolderLayout::MusicFolder,
         FolderLayout::Root, FolderLayout::RootArtistAlbum},
        FolderLayout::PlaylistFolder, {5, 7, -1, wide + 1, INT64_MIN});
    expectTable<NamePattern>(
        {NamePattern::SourceName, NamePattern::NumberTitle, NamePattern::ArtistAlbumTitle,
         NamePattern::NumberArtistAlbumTitle, NamePattern::Title, NamePattern::Custom},
        NamePattern::SourceName, {6, -1, 99, wide + 5});
    expectTable<PlaylistEncoding>(
        {PlaylistEncoding::Utf8, PlaylistEncoding::Latin1, PlaylistEncoding::Ascii},
        PlaylistEncoding::Utf8, {3, -1, wide + 2});
    expectTable<LineEnding>({LineEnding::Lf, LineEnding::CrLf}, LineEnding::Lf,
                            {2, -1, wide + 1, INT64_MAX});
    expectTable<TrackOrder>(
        {TrackOrder::PlaylistOrder, TrackOrder::Artist, TrackOrder::Title, TrackOrder::Album,
         TrackOrder::Year, TrackOrder::DateAdded, TrackOrder::PlayCount, TrackOrder::Shuffle},
        TrackOrder::PlaylistOrder, {8, 9, -1, wide + 3});
    expectTable<Mp3Algorithm>(
        {Mp3Algorithm::BestQuality, Mp3Algorithm::Standard, Mp3Algorithm::Fastest},
        Mp3Algorithm::Fastest, {9, -1, wide, wide + 1});
}
