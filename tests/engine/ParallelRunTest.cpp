#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "ExportFixture.h"

namespace kelvara::test {
namespace {

// Records the bar's values too: they must count finished songs in order.
class ProgressRecordingUi : public RecordingExportUi {
  public:
    void setProgressValue(long value) override {
        std::lock_guard lock(mutex);
        values.push_back(value);
    }
    std::mutex mutex;
    std::vector<long> values;
};

// Converts by writing a small file; an earlier song takes longer, so that songs converted at
// the same time finish in the reverse of their order. Watches how many run at once and on which
// workers.
class SlowConverter : public SongConverter {
  public:
    bool convertsSongsAtOnce() const override { return true; }
    Status beginRun(const std::function<void(const std::string&)>&,
                    const std::atomic<bool>*) override {
        return okStatus();
    }
    void endRun() override {}
    ConversionOutcome convertItemAtUrl(const ConversionJob& job) override {
        if (std::filesystem::exists(job.destination)) {
            job.logMessage("File exists at:" + job.destination.string());
            return ConversionOutcome::Skipped;
        }
        {
            std::lock_guard lock(mutex);
            EXPECT_TRUE(workers.insert(job.worker).second) << "worker " << job.worker << " twice";
            maxAtOnce = std::max(maxAtOnce, workers.size());
        }
        job.console("encoding " + job.source.filename().string());
        const int remaining = 6 - std::min(5, static_cast<int>(calls++ % 6));
        std::this_thread::sleep_for(std::chrono::milliseconds(25 * remaining));
        const bool broken = job.source.filename() == "broken.wav";
        if (broken)
            job.logErrorMessage("Error: cannot decode " + job.source.string());
        else
            writeFile(job.destination, "mp3 of " + job.source.filename().string());
        job.logMessage("done " + job.source.filename().string());
        std::lock_guard lock(mutex);
        workers.erase(job.worker);
        return broken ? ConversionOutcome::Failed : ConversionOutcome::Written;
    }
    ConversionOutcome convertToAACItemAtUrl(const ConversionJob& job) override {
        return convertItemAtUrl(job);
    }
    std::optional<std::string> probeKind(const std::filesystem::path&) override {
        return std::nullopt;
    }
    bool writeAlbumArtwork(const MediaItem&, const std::filesystem::path&) override {
        return false;
    }

    std::mutex mutex;
    std::set<int> workers;
    std::size_t maxAtOnce = 0;
    std::atomic<int> calls{0};
};

class ParallelRun : public ExportFixture {
  protected:
    struct Outcome {
        std::vector<std::string> lines, issues, console;
        std::vector<long> progress;
        std::vector<std::string> files;
        std::string m3u;
        std::size_t maxAtOnce = 0;
        RunEnding ending = RunEnding::NotStarted;
    };

    // Two playlists of WAV songs (converted) and MP3 songs (copied), a song listed twice, two
    // songs with one title, a song without a file and one that fails.
    Outcome exportWith(int songsAtOnce) {
        std::filesystem::remove_all(out);
        const Artist& band = artist("Band");
        std::vector<const MediaItem*> first, second;
        for (int i = 1; i <= 7; ++i) {
            MediaItem& s = song("Song " + std::to_string(i), &band, nullptr,
                                "s" + std::to_string(i) + (i % 3 == 0 ? ".mp3" : ".wav"));
            if (i % 3 != 0) s.setCanonicalKind(std::string("WAV audio file"));
            first.push_back(&s);
        }
        first.push_back(first[1]);
        MediaItem& twin = song("Song 2", &band, nullptr, "twin.wav");
        twin.setCanonicalKind(std::string("WAV audio file"));
        first.push_back(&twin);
        first.push_back(&song("Gone", &band, nullptr, "gone.wav", ""));
        MediaItem& broken = song("Broken", &band, nullptr, "broken.wav");
        broken.setCanonicalKind(std::string("WAV audio file"));
        first.push_back(&broken);
        second = {first[4], first[0], first[5]};

        ProgressRecordingUi recording;
        SlowConverter converter;
        options.setParallelSongs(songsAtOnce);
        auto m = std::make_unique<KvExportManager>(recording, &converter);
        m->setUserOptions(options);
        m->setPreferences(preferences);
        m->setExportPlaylistFile(true);
        m->setConverToMp3(true);
        m->setFileNameFormatType(NamePattern::Title);
        m->exportPlaylists({playlist("One", first), playlist("Two", second)}, out);
        Outcome outcome;
        outcome.ending = m->waitUntilFinished();
        outcome.lines = recording.lines;
        outcome.issues = recording.issues;
        outcome.console = recording.console;
        outcome.progress = recording.values;
        outcome.files = tree();
        outcome.m3u = readFile(out / "One" / "One.m3u") + readFile(out / "Two" / "Two.m3u");
        outcome.maxAtOnce = converter.maxAtOnce;
        return outcome;
    }
};

TEST_F(ParallelRun, SongsConvertedAtOnceReportAndEndAsOneAtATime) {
    const Outcome serial = exportWith(1);
    const Outcome parallel = exportWith(4);
    EXPECT_EQ(serial.maxAtOnce, 1u);
    EXPECT_GT(parallel.maxAtOnce, 1u);
    EXPECT_LE(parallel.maxAtOnce, 4u);
    EXPECT_EQ(parallel.ending, RunEnding::Finished);
    EXPECT_EQ(parallel.lines, serial.lines);
    EXPECT_EQ(parallel.issues, serial.issues);
    EXPECT_EQ(parallel.console, serial.console);
    EXPECT_EQ(parallel.progress, serial.progress);
    EXPECT_EQ(parallel.files, serial.files);
    EXPECT_EQ(parallel.m3u, serial.m3u);
    // The twin of "Song 2" and its second listing met the first one's file.
    EXPECT_EQ(std::count_if(serial.lines.begin(), serial.lines.end(),
                            [](const std::string& l) { return l.starts_with("File exists at:"); }),
              2);
}

TEST_F(ParallelRun, AtMostTheChosenNumberOfSongsAreInFlight) {
    EXPECT_EQ(exportWith(2).maxAtOnce, 2u);
}

TEST(ParallelSongsOption, IsStoredUnderItsKeyWithNothingSensibleReadAsOnePerCore) {
    TempDir dir;
    const auto loaded = [&](const std::string& json) {
        writeFile(dir / "preferences.json", json);
        return KvrUserOptions::loadFrom(PreferencesStore(dir / "preferences.json")).parallelSongs();
    };
    EXPECT_EQ(loaded("{}"), 0);
    EXPECT_EQ(loaded(R"({"ParallelSongs": 3})"), 3);
    EXPECT_EQ(loaded(R"({"ParallelSongs": "2"})"), 2);
    EXPECT_EQ(loaded(R"({"ParallelSongs": -1})"), 0);
    EXPECT_EQ(loaded(R"({"ParallelSongs": 100000})"), 0);

    PreferencesStore store(dir / "saved.json");
    KvrUserOptions options;
    options.setParallelSongs(5);
    options.saveTo(store);
    EXPECT_EQ(store.objectForKey("ParallelSongs"), nlohmann::json(5));
}

}  // namespace
}  // namespace kelvara::test
