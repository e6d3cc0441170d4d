#include <gtest/gtest.h>

#include "engine/SongOrder.h"
#include "library/MediaLibrary.h"

namespace kelvara::test {
namespace {

class SongOrderTest : public ::testing::Test {
  protected:
    const MediaItem* song(const std::string& title, int year) {
        MediaItem& item = library.addMediaItem();
        item.setTitle(title);
        item.setYear(year);
        return &item;
    }
    static std::vector<std::string> titles(const std::vector<const MediaItem*>& songs) {
        std::vector<std::string> out;
        for (const MediaItem* item : songs) out.push_back(*item->title());
        return out;
    }
    MediaLibrary library;
};

// Position i takes the song at i + r mod (n - i), r drawn afresh for each position.
TEST_F(SongOrderTest, ShuffleSwapsEachPositionWithARandomLaterOne) {
    const std::vector<const MediaItem*> songs = {song("a", 0), song("b", 0), song("c", 0),
                                                 song("d", 0)};
    const auto shuffled = [&](std::vector<std::uint32_t> draws) {
        std::size_t next = 0;
        return titles(
            SongOrder(TrackOrder::Shuffle, true, [&] { return draws.at(next++); }).apply(songs));
    };
    EXPECT_EQ(shuffled({0, 0, 0, 0}), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(shuffled({1, 1, 1, 1}), (std::vector<std::string>{"b", "c", "d", "a"}));
    EXPECT_EQ(shuffled({7, 0xFFFFFFFF, 5, 9}), (std::vector<std::string>{"d", "b", "a", "c"}));
    EXPECT_TRUE(SongOrder(TrackOrder::Shuffle, true).apply({}).empty());
}

// Equal keys keep the playlist's order whichever way the sort goes; unknown orders keep it all.
TEST_F(SongOrderTest, SortsAreStableBothWaysAndUnknownOrdersChangeNothing) {
    const std::vector<const MediaItem*> songs = {song("x", 2000), song("y", 1990), song("z", 2000),
                                                 song("w", 1990)};
    EXPECT_EQ(titles(SongOrder(TrackOrder::Year, true).apply(songs)),
              (std::vector<std::string>{"y", "w", "x", "z"}));
    EXPECT_EQ(titles(SongOrder(TrackOrder::Year, false).apply(songs)),
              (std::vector<std::string>{"x", "z", "y", "w"}));
    EXPECT_EQ(titles(SongOrder(storedOption<TrackOrder>(8), true).apply(songs)),
              (std::vector<std::string>{"x", "y", "z", "w"}));
    EXPECT_EQ(SongOrder::compare(*songs[0], *songs[1], TrackOrder::PlaylistOrder), 0);
    EXPECT_LT(SongOrder::compare(*songs[1], *songs[0], TrackOrder::Year), 0);
}

}  // namespace
}  // namespace kelvara::test
