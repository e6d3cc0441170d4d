#include <gtest/gtest.h>

#include <memory>

#include "ExportFixture.h"
#include "library/KvrItunesMAnager.h"
#include "library/MediaLibraryReader.h"

namespace kelvara::test {
namespace {

using LibraryLifetime = ExportFixture;

// A run keeps the library it was handed: the caller and the session may let go of it (a reload)
// while the run goes on, and it is freed only once the run's manager is gone.
TEST_F(LibraryLifetime, ARunKeepsItsLibraryUntilItsManagerIsGone) {
    writeFile(dir / "music" / "a.mp3", "AAAA");
    auto read = MediaLibraryReader({}).readText(
        libraryXml(trackXml(1,
                            "<key>Name</key><string>Intro</string>"
                            "<key>Kind</key><string>MPEG audio file</string>"
                            "<key>Total Time</key><integer>1000</integer>"
                            "<key>Location</key><string>file://" +
                                (dir / "music" / "a.mp3").string() + "</string>"),
                   playlistXml("<key>Name</key><string>Road Trip</string>", {1})),
        "lifetime.xml");
    ASSERT_TRUE(read.ok()) << read.message();
    std::shared_ptr<const MediaLibrary> loaded = std::move(*read);
    const std::weak_ptr<const MediaLibrary> watched = loaded;
    const Playlist* roadTrip = loaded->allPlaylists().front();
    KvrItunesMAnager::sharedManager().setLibrary(loaded);

    auto m = manager();
    m->setLibrary(loaded);
    loaded.reset();
    KvrItunesMAnager::sharedManager().reset();
    EXPECT_FALSE(watched.expired());

    ASSERT_EQ(runPlaylists(*m, {roadTrip}), RunEnding::Finished);
    EXPECT_EQ(readFile(out / "Road Trip" / "a.mp3"), "AAAA");
    EXPECT_FALSE(watched.expired());
    m.reset();
    EXPECT_TRUE(watched.expired());
}

}  // namespace
}  // namespace kelvara::test
