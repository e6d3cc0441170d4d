// The conversion decision over songs as the library reader gives them: the kind text in the
// library file decides, and only a song without one counts as AAC.
#include "ExportFixture.h"
#include "library/MediaLibraryReader.h"

namespace kelvara::test {
namespace {

using Lines = std::vector<std::string>;

// Converts nothing: records which songs it was asked to convert. Its probe, like the real one,
// knows no FLAC or Ogg.
class RecordingConverter : public SongConverter {
  public:
    Status beginRun(const std::function<void(const std::string&)>&,
                    const std::atomic<bool>*) override {
        return okStatus();
    }
    void endRun() override {}
    ConversionOutcome convertItemAtUrl(const ConversionJob& job) override {
        return record("mp3", job);
    }
    ConversionOutcome convertToAACItemAtUrl(const ConversionJob& job) override {
        return record("aac", job);
    }
    std::optional<std::string> probeKind(const std::filesystem::path&) override {
        return std::nullopt;
    }
    bool writeAlbumArtwork(const MediaItem&, const std::filesystem::path&) override {
        return false;
    }

    ConversionOutcome record(const std::string& to, const ConversionJob& job) {
        jobs.push_back(to + " " + job.source.filename().string());
        writeFile(job.destination, to);
        return ConversionOutcome::Written;
    }
    Lines jobs;
};

class KindDecision : public ExportFixture {
  protected:
    // Reads a library of songs, each a (kind or none, file name) pair, with files under music/.
    void read(const std::vector<std::pair<std::optional<std::string>, std::string>>& songs) {
        std::string tracks;
        std::vector<int> ids;
        int id = 1;
        for (const auto& [kind, file] : songs) {
            writeFile(dir / "music" / file, "audio");
            tracks +=
                trackXml(id, "<key>Name</key><string>" + file + "</string>" +
                                 (kind ? "<key>Kind</key><string>" + *kind + "</string>" : "") +
                                 "<key>Location</key><string>file://" +
                                 (dir / "music" / file).string() + "</string>");
            ids.push_back(id++);
        }
        auto read = MediaLibraryReader({}).readText(
            libraryXml(tracks, playlistXml("<key>Name</key><string>P</string>", ids)), "kinds.xml");
        ASSERT_TRUE(read.ok()) << read.message();
        read_ = std::move(*read);
    }
    Lines run(bool mp3) {
        std::filesystem::remove_all(out);
        converter = RecordingConverter();
        options.setFilesSaveToFolder(FolderLayout::Root);
        auto m = manager(&converter);
        m->setExportPlaylistFile(false);
        mp3 ? m->setConverToMp3(true) : m->setConverToAAC(true);
        EXPECT_EQ(runPlaylists(*m, {read_->allPlaylists().front()}), RunEnding::Finished);
        return converter.jobs;
    }
    std::unique_ptr<MediaLibrary> read_;
    RecordingConverter converter;
};

TEST_F(KindDecision, LosslessAndOtherFormatsAreConvertedAndOnlyAMissingKindCountsAsAac) {
    read({{"FLAC audio file", "a.flac"},
          {"Ogg Vorbis audio file", "b.ogg"},
          {"AAC audio file", "c.m4a"},
          {"MPEG audio file", "d.mp3"},
          {std::nullopt, "e.flac"}});
    options.setDontConvertSameType(true);
    EXPECT_EQ(run(false), (Lines{"aac a.flac", "aac b.ogg", "aac d.mp3"}));
    EXPECT_EQ(run(true), (Lines{"mp3 a.flac", "mp3 b.ogg", "mp3 c.m4a", "mp3 e.flac"}));

    // Keeping lossy formats keeps AAC and MP3 (and, by the rule, a song without kind); a FLAC or
    // Ogg song is still converted.
    options.setDontConvertSameType(false);
    options.setDontConvertLossyFormats(true);
    EXPECT_EQ(run(true), (Lines{"mp3 a.flac", "mp3 b.ogg"}));
}

}  // namespace
}  // namespace kelvara::test
