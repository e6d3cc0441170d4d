#include "ExportFixture.h"

namespace kelvara::test {
namespace {

using Lines = std::vector<std::string>;

// Records the jobs it is given and writes a marker file in place of converting.
class FakeConverter : public SongConverter {
  public:
    Status beginRun(const std::function<void(const std::string&)>&,
                    const std::atomic<bool>*) override {
        ++begun;
        return okStatus();
    }
    void endRun() override { ++ended; }
    ConversionOutcome convertItemAtUrl(const ConversionJob& job) override {
        return record("mp3", job);
    }
    ConversionOutcome convertToAACItemAtUrl(const ConversionJob& job) override {
        return record("aac", job);
    }
    std::optional<std::string> probeKind(const std::filesystem::path&) override {
        ++probed;
        return std::string("AAC audio file");
    }
    bool writeAlbumArtwork(const MediaItem&, const std::filesystem::path& destination) override {
        writeFile(destination, "PNG");
        return true;
    }

    ConversionOutcome record(const std::string& kind, const ConversionJob& job) {
        jobs.push_back(kind + " " + std::to_string(job.bitRate) + " " +
                       job.destination.filename().string());
        skipFlags.push_back(job.skipIfExists);
        if (job.song && job.song->title() == "Broken") {
            job.logErrorMessage("Cannot convert");
            return ConversionOutcome::Failed;
        }
        writeFile(job.destination, kind);
        return ConversionOutcome::Written;
    }
    Lines jobs;
    std::vector<bool> skipFlags;
    int begun = 0, ended = 0, probed = 0;
};

class ExportConversion : public ExportFixture {
  protected:
    MediaItem& make(const std::string& title, const std::string& file,
                    std::optional<std::string> kind, unsigned bitrate) {
        MediaItem& item = song(title, nullptr, &album("Al"), file);
        item.setCanonicalKind(std::move(kind));
        item.setBitrate(bitrate);
        return item;
    }
    Lines run(bool mp3, std::int64_t rate, std::vector<const MediaItem*> items) {
        std::filesystem::remove_all(out);
        converter = FakeConverter();
        options.setFilesSaveToFolder(FolderLayout::Root);
        auto m = manager(&converter);
        m->setExportPlaylistFile(false);
        mp3 ? m->setConverToMp3(true) : m->setConverToAAC(true);
        mp3 ? m->setBitRate(rate) : m->setAacBitRate(rate);
        EXPECT_EQ(runPlaylists(*m, {playlist("P", std::move(items))}), RunEnding::Finished);
        EXPECT_EQ(m->handOnViolations(), 0);
        return tree();
    }
    FakeConverter converter;
};

TEST_F(ExportConversion, SameTypeSongsAreCopiedWithTheirOwnExtension) {
    const MediaItem& upper = make("Upper", "UP.MP3", "MPEG audio file", 320);
    const MediaItem& wav = make("Wave", "w.wav", "WAV audio file", 1411);
    EXPECT_EQ(run(true, 0, {&upper, &wav}), (Lines{"UP.MP3", "w.mp3"}));
    EXPECT_EQ(converter.jobs, (Lines{"mp3 256 w.mp3"}));
    EXPECT_EQ(converter.begun, 1);
    EXPECT_EQ(converter.ended, 1);

    options.setDontConvertSameType(false);
    EXPECT_EQ(run(true, 192, {&upper}), (Lines{"UP.mp3"}));
    EXPECT_EQ(converter.jobs, (Lines{"mp3 192 UP.mp3"}));
    EXPECT_TRUE(ui.logged("Converting to MP3(192) song: UP.MP3"));
}

TEST_F(ExportConversion, AacSongsStayAacAndLossyFormatsCanBeKept) {
    const MediaItem& aac = make("Aac", "a.m4a", "Purchased AAC audio file", 256);
    const MediaItem& lossless = make("Lossless", "l.m4a", "Apple Lossless audio file", 0);
    EXPECT_EQ(run(false, 0, {&aac, &lossless}), (Lines{"a.m4a", "l.m4a"}));
    EXPECT_EQ(converter.jobs, (Lines{"aac 160 l.m4a"}));

    options.setDontConvertLossyFormats(true);
    const MediaItem& wav = make("Wave", "w.wav", "WAV audio file", 0);
    EXPECT_EQ(run(true, 0, {&aac, &wav}), (Lines{"a.m4a", "w.mp3"}));
    EXPECT_EQ(converter.jobs, (Lines{"mp3 160 w.mp3"}));
}

TEST_F(ExportConversion, KeepingTheRateCapsItPerFormatAndAskedKindsAreProbed) {
    const MediaItem& loud = make("Loud", "loud.flac", "FLAC audio file", 320);
    EXPECT_EQ(run(true, 0, {&loud}), (Lines{"loud.mp3"}));
    EXPECT_EQ(converter.jobs, (Lines{"mp3 256 loud.mp3"}));
    EXPECT_EQ(run(false, 0, {&loud}), (Lines{"loud.m4a"}));
    EXPECT_EQ(converter.jobs, (Lines{"aac 320 loud.m4a"}));

    // A localised kind the library layer could not map is probed from the file.
    const MediaItem& unknown = make("Mystery", "m.m4a", std::nullopt, 0);
    EXPECT_EQ(run(false, 0, {&unknown}), (Lines{"m.m4a"}));
    EXPECT_EQ(converter.probed, 1);
    EXPECT_TRUE(converter.jobs.empty());
}

TEST_F(ExportConversion, AFailedConversionIsAnIssueAndTheRunGoesOn) {
    const MediaItem& broken = make("Broken", "b.wav", "WAV audio file", 0);
    const MediaItem& fine = make("Fine", "f.wav", "WAV audio file", 0);
    EXPECT_EQ(run(true, 128, {&broken, &fine}), (Lines{"f.mp3"}));
    // One issue: the summary and the notification are singular.
    EXPECT_EQ(ui.issues, (Lines{"Cannot convert", "Export Finished with 1 issue"}));
    EXPECT_EQ(ui.notifications, (Lines{"Kelvara: Export completed with 1 issue"}));
}

TEST_F(ExportConversion, AlbumArtworkIsWrittenOncePerAlbum) {
    const Album& al = album("Blue", std::string("Low"));
    MediaItem& one = song("One", nullptr, &al, "1.mp3");
    MediaItem& two = song("Two", nullptr, &al, "2.mp3");
    writeFile(out / "Low - Blue/Low - Blue.png", "EXISTING");
    auto m = manager(&converter);
    m->setExportAlbumImage(true);
    ASSERT_EQ(runAlbums(*m, {albumRecord("Blue", std::string("Low"), &al, {&one, &two})}),
              RunEnding::Finished);
    EXPECT_EQ(readFile(out / "Low - Blue/Low - Blue.png"), "EXISTING");
    EXPECT_TRUE(ui.logged("Export album artwork to png file"));
}

TEST_F(ExportConversion, KeepingTheRateKeepsALowRateAndTheConverterIsToldWhetherToSkip) {
    const MediaItem& low = make("Low", "low.wav", "WAV audio file", 128);
    EXPECT_EQ(run(true, 0, {&low}), (Lines{"low.mp3"}));
    EXPECT_EQ(converter.jobs, (Lines{"mp3 128 low.mp3"}));
    EXPECT_TRUE(ui.logged("Converting to MP3(128) song: low.wav"));
    EXPECT_EQ(run(false, 0, {&low}), (Lines{"low.m4a"}));
    EXPECT_EQ(converter.jobs, (Lines{"aac 128 low.m4a"}));

    for (bool skip : {true, false}) {
        options.setSkipIfExists(skip);
        run(true, 192, {&low});
        EXPECT_EQ(converter.skipFlags, std::vector<bool>{skip});
    }
}

TEST_F(ExportConversion, ASourceIsNeverConvertedOntoItselfNorReadWhenNotARegularFile) {
    const MediaItem& lossless = make("Lossless", "l.m4a", "Apple Lossless audio file", 0);
    MediaItem& device = make("Device", "zero.wav", "WAV audio file", 0);
    device.setMappedPath(std::filesystem::path("/dev/zero"));
    options.setSkipIfExists(false);
    options.setFilesSaveToFolder(FolderLayout::Root);
    out = dir / "music";  // the AAC file would take the lossless file's own name
    auto m = manager(&converter);
    m->setExportPlaylistFile(false);
    m->setConverToAAC(true);
    ASSERT_EQ(runPlaylists(*m, {playlist("P", {&lossless, &device})}), RunEnding::Finished);
    EXPECT_TRUE(converter.jobs.empty());
    EXPECT_EQ(readFile(dir / "music/l.m4a"), "audio");
    EXPECT_EQ(
        ui.issues,
        (Lines{
            "Error: Cannot export song \"Lossless\": the destination is the source file itself: " +
                (dir / "music/l.m4a").string(),
            "Cannot read /dev/zero: it is not a regular file", "Export Finished with 2 issues"}));
}

// A converter that fails by throwing where the engine calls it.
class ThrowingConverter : public FakeConverter {
  public:
    Status beginRun(const std::function<void(const std::string&)>& log,
                    const std::atomic<bool>* cancel) override {
        if (throwAtBegin) throw std::runtime_error("lock file unreadable");
        return FakeConverter::beginRun(log, cancel);
    }
    std::optional<std::string> probeKind(const std::filesystem::path&) override {
        throw std::runtime_error("probe failed");
    }
    bool throwAtBegin = false;
};

TEST_F(ExportConversion, AFailureThrownInsideASongIsAnIssueAndTheRunGoesOn) {
    const MediaItem& odd =
        make("Odd", "odd.m4a", std::nullopt, 0);  // its kind is probed, and that throws
    const MediaItem& fine = make("Fine", "f.wav", "WAV audio file", 0);
    ThrowingConverter throwing;
    options.setFilesSaveToFolder(FolderLayout::Root);
    auto m = manager(&throwing);
    m->setConverToMp3(true);
    ASSERT_EQ(runPlaylists(*m, {playlist("P", {&odd, &fine})}), RunEnding::Finished);
    EXPECT_EQ(ui.issues, (Lines{"Error: probe failed", "Export Finished with 1 issue"}));
    EXPECT_EQ(throwing.jobs, (Lines{"mp3 160 f.mp3"}));
    EXPECT_EQ(m->handOnCount(), 2);
    EXPECT_EQ(m->handOnViolations(), 0);
    EXPECT_EQ(throwing.ended, 1);
    EXPECT_EQ(ui.inhibitEnded, 1);
}

TEST_F(ExportConversion, AFailureThrownBetweenSongsEndsTheRunInsteadOfLeavingItWaiting) {
    const MediaItem& fine = make("Fine", "f.wav", "WAV audio file", 0);
    ThrowingConverter throwing;
    throwing.throwAtBegin = true;
    auto m = manager(&throwing);
    m->setConverToMp3(true);
    ASSERT_EQ(runPlaylists(*m, {playlist("P", {&fine})}), RunEnding::StoppedByFailure);
    expectStoppedWithError("lock file unreadable");
    EXPECT_TRUE(throwing.jobs.empty());
}

}  // namespace
}  // namespace kelvara::test
