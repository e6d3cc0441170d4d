// The bundled demo library, read the way `make demo` reads it.
#include <gtest/gtest.h>

#include <map>

#include "library/DistinguishedKinds.h"
#include "library/MediaLibrary.h"

namespace kelvara {
namespace {

class DemoLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::filesystem::path demo =
            std::filesystem::path(KELVARA_SOURCE_DIR) / "examples/demo";
        LibraryOpenOptions options;
        options.musicFolder = demo / "Music";
        auto read = MediaLibrary::initWithContentsOfFile(demo / "Library.xml", options);
        ASSERT_TRUE(read.ok()) << read.message();
        library_ = std::move(*read);
        for (const MediaItem* item : library_->allMediaItems())
            byTitle_[item->title().value_or("")] = item;
    }
    const MediaItem& item(const std::string& title) {
        const auto found = byTitle_.find(title);
        EXPECT_NE(found, byTitle_.end()) << title;
        return *found->second;
    }

    std::unique_ptr<MediaLibrary> library_;
    std::map<std::string, const MediaItem*> byTitle_;
};

TEST_F(DemoLibrary, EveryPlayableSongIsFoundOnDisk) {
    for (const char* title : {"Morning Light", "Café du Matin", "Blue Hour", "Νυχτερινό Τραγούδι",
                              "さくら", "Καλοκαίρι", "Señal", "Concert Clip"}) {
        EXPECT_TRUE(item(title).location()) << title << " at " << item(title).mappedPath();
    }
    // Written decomposed in the file, as a Mac does; found composed on disk.
    EXPECT_NE(item("Café du Matin").mappedPath().string().find("Cafe\xCC\x81"), std::string::npos);
}

TEST_F(DemoLibrary, ProblemSongsAreTheOnesTheirEntriesDescribe) {
    EXPECT_TRUE(item("Protected Dream").isDRMProtected());
    EXPECT_EQ(item("Protected Dream").canonicalKind(), "Protected AAC audio file");
    EXPECT_TRUE(item("Cloud Nine").isCloud());
    EXPECT_FALSE(item("Cloud Nine").location());
    EXPECT_FALSE(item("Evening Glow").location());
    EXPECT_FALSE(item("Evening Glow").isCloud());
    EXPECT_TRUE(item("Concert Clip").isVideo());
    EXPECT_EQ(item("Concert Clip").mediaKind(), MediaKind::Movie);
    EXPECT_EQ(item("Blue Hour").canonicalKind(), "Apple Lossless audio file");
}

TEST_F(DemoLibrary, AlbumsAndPlaylists) {
    EXPECT_TRUE(item("Señal").album()->isCompilation());
    EXPECT_EQ(item("Señal").album(), item("さくら").album());
    EXPECT_NE(item("Blue Hour").album(), item("Νυχτερινό Τραγούδι").album()) << "two discs";
    EXPECT_EQ(item("Νυχτερινό Τραγούδι").album()->discNumber(), 2u);

    std::map<std::string, const Playlist*> playlists;
    for (const Playlist* p : library_->allPlaylists()) playlists[p->name()] = p;
    EXPECT_TRUE(playlists.at("Library")->isMaster());
    EXPECT_EQ(playlists.at("Music")->distinguishedKind(), distinguished_kind::Music);
    EXPECT_TRUE(playlists.at("Moods")->isFolder());
    EXPECT_EQ(playlists.at("Calm")->parentPersistentID(), playlists.at("Moods")->persistentID());
    EXPECT_EQ(playlists.at("Road Trip")->items().size(), 5u);
    EXPECT_EQ(playlists.at("Library")->items().size(), library_->allMediaItems().size());
}

}  // namespace
}  // namespace kelvara
