#include <gtest/gtest.h>

#include <string>

#include "library/TrackScanner.h"

namespace kelvara {
namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist>\n<plist version=\"1.0\"><dict>"
    "<key>Major Version</key><integer>1</integer><!-- <dict> -->\n<key>Tracks</key><dict>";
const std::string kTrack1 =
    "<key>1</key><dict><key>Movement</key><dict><key>a</key><dict/></dict></dict>";
const std::string kTrack2 = "<key>2</key><dict><key>Name</key><string>&lt;dict&gt;</string></dict>";
const std::string kTail = "</dict><key>Playlists</key><array/></dict></plist>\n";

TEST(TrackScanner, SlicesHoldWholeTracksOnlyNestedDictsIncluded) {
    const std::string text = kHead + kTrack1 + kTrack2 + kTail;
    TrackScanner scanner(text);
    ASSERT_TRUE(scanner.start());
    // One byte asked for: each slice ends after one whole track, nested dicts and all.
    auto slice = scanner.nextSlice(1);
    ASSERT_TRUE(slice);
    EXPECT_EQ(text.substr(slice->first, slice->second - slice->first), kTrack1);
    slice = scanner.nextSlice(1);
    ASSERT_TRUE(slice);
    EXPECT_EQ(text.substr(slice->first, slice->second - slice->first), kTrack2);
    EXPECT_FALSE(scanner.nextSlice(1));
    EXPECT_EQ(scanner.failure(), TrackScanner::Failure::None);
    EXPECT_EQ(text.substr(scanner.begin(), scanner.end() - scanner.begin()), kTrack1 + kTrack2);

    // A large request takes both tracks at once.
    TrackScanner whole(text);
    ASSERT_TRUE(whole.start());
    slice = whole.nextSlice(1 << 20);
    ASSERT_TRUE(slice);
    EXPECT_EQ(text.substr(slice->first, slice->second - slice->first), kTrack1 + kTrack2);
}

TEST(TrackScanner, CutShortMalformedAndUnrecognisedFiles) {
    const std::string cut = kHead + kTrack1 + kTrack2.substr(0, 20);
    TrackScanner cutShort(cut);
    ASSERT_TRUE(cutShort.start());
    ASSERT_TRUE(cutShort.nextSlice(1));
    EXPECT_FALSE(cutShort.nextSlice(1));
    EXPECT_EQ(cutShort.failure(), TrackScanner::Failure::CutShort);

    const std::string wrongClose = kHead + kTrack1 + "</array>" + kTail;
    TrackScanner malformed(wrongClose);
    ASSERT_TRUE(malformed.start());
    while (malformed.nextSlice(1)) {
    }
    EXPECT_EQ(malformed.failure(), TrackScanner::Failure::Malformed);
    EXPECT_EQ(malformed.failureOffset(), wrongClose.find("</array>"));

    // Left to the full parse: no "Tracks", another encoding, an internal DTD subset, UTF-16.
    for (const std::string& text :
         {std::string("<plist><dict><key>Playlists</key><array/></dict></plist>"),
          "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + kHead.substr(kHead.find("<plist")) +
              kTail,
          "<!DOCTYPE plist [ <!ENTITY x \"y\"> ]>" + kHead.substr(kHead.find("<plist")) + kTail,
          std::string("\xFF\xFE<\0p", 5)}) {
        TrackScanner scanner(text);
        EXPECT_FALSE(scanner.start()) << text;
    }
}

}  // namespace
}  // namespace kelvara
