#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>

#include "conversion/ArtworkReader.h"
#include "conversion/ConversionFixture.h"
#include "conversion/ImageCodec.h"

namespace kelvara::test {
namespace {

// mutagen's view of a converted file: its length and whether it has a picture.
const char* const kReadBack = R"(
import sys, mutagen
f = mutagen.File(sys.argv[1])
print(f"length={f.info.length:.2f}")
keys = list((f.tags or {}).keys())
print(f"picture={any(k.startswith('APIC') or k == 'covr' for k in keys)}")
)";

std::vector<std::string> partFiles(const std::filesystem::path& folder) {
    std::vector<std::string> parts;
    for (const auto& name : filesUnder(folder))
        if (name.find(".kelvara-part-") != std::string::npos) parts.push_back(name);
    return parts;
}

class ConversionSafetyTest : public ConversionTest {
  protected:
    // A folder holding a copy of stereo.wav as song.wav and, when given, `cover` beside it.
    std::filesystem::path songWithCover(const std::string& folder, const std::string& coverName,
                                        const std::string& cover) {
        const auto dir = songs_ / folder;
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(Sources::get()["stereo.wav"], dir / "song.wav",
                                   std::filesystem::copy_options::overwrite_existing);
        if (!coverName.empty()) writeFile(dir / coverName, cover);
        return dir / "song.wav";
    }
    TempDir songs_;
};

// With replacing on, a conversion that fails keeps the file an earlier export left there.
TEST_F(ConversionSafetyTest, AFailedConversionKeepsTheExistingFile) {
    for (const bool mp3 : {true, false}) {
        SCOPED_TRACE(mp3 ? "mp3" : "aac");
        log_ = Recorder{};
        const std::string name = mp3 ? "earlier.mp3" : "earlier.m4a";
        writeFile(out_ / name, "the earlier export");
        auto replacing = job(song(Sources::get()["corrupt.mp3"]), name);
        replacing.skipIfExists = false;
        const auto outcome = mp3 ? converter_.convertItemAtUrl(replacing)
                                 : converter_.convertToAACItemAtUrl(replacing);
        EXPECT_EQ(outcome, ConversionOutcome::Failed);
        EXPECT_TRUE(log_.logged("File exists. Will delete file at:" + (out_ / name).string()));
        EXPECT_EQ(log_.issues.size(), 1u);
        EXPECT_EQ(readFile(out_ / name), "the earlier export");
        EXPECT_TRUE(partFiles(out_.path()).empty());
    }
}

// A small real file system that fills up during the MP3's tag step must never give a "written"
// song that is incomplete: either the whole tagged MP3 is there, or an issue and nothing.
TEST_F(ConversionSafetyTest, AFullDiskFailsTheSongAndLeavesNothingIncomplete) {
    const auto mountPoint = out_ / "small";
    std::filesystem::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::filesystem::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    // The song with a cover beside it, so the tag holds a picture of some size.
    const auto source = Sources::get()["jpegcover/song.wav"];
    const auto& item = song(source);
    ASSERT_EQ(converter_.convertItemAtUrl(job(item, "whole.mp3")), ConversionOutcome::Written);
    const auto wholeSize = std::filesystem::file_size(out_ / "whole.mp3");

    int failed = 0;
    int written = 0;
    for (std::uintmax_t room = wholeSize - 40000; room < wholeSize + 40000; room += 8192) {
        SCOPED_TRACE(room);
        log_ = Recorder{};
        std::filesystem::remove(mountPoint / "song.mp3");
        std::filesystem::remove(mountPoint / "filler");
        struct statvfs fs {};
        ASSERT_EQ(::statvfs(mountPoint.c_str(), &fs), 0);
        const std::uintmax_t available = std::uintmax_t(fs.f_bavail) * fs.f_frsize;
        ASSERT_GT(available, room);
        writeFile(mountPoint / "filler", std::string(available - room, 'f'));

        auto j = job(item, "song.mp3");
        j.destination = mountPoint / "song.mp3";
        const auto outcome = converter_.convertItemAtUrl(j);
        EXPECT_TRUE(partFiles(mountPoint).empty());
        if (outcome == ConversionOutcome::Written) {
            ++written;
            EXPECT_TRUE(log_.issues.empty());
            EXPECT_EQ(std::filesystem::file_size(mountPoint / "song.mp3"), wholeSize);
            const auto back = probe(kReadBack, mountPoint / "song.mp3");
            EXPECT_EQ(back.at("picture"), "True");
            EXPECT_NEAR(std::stod(back.at("length")), 3.0, 0.1);
        } else {
            ++failed;
            EXPECT_EQ(outcome, ConversionOutcome::Failed);
            EXPECT_EQ(log_.issues.size(), 1u);
            EXPECT_TRUE(log_.issueContains("No space left on device"))
                << (log_.issues.empty() ? "" : log_.issues[0]);
            EXPECT_FALSE(std::filesystem::exists(mountPoint / "song.mp3"));
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(written, 0);
}

// A tiny JPEG whose header claims `width` x `height` pixels.
std::string jpegClaiming(int width, int height) {
    Image image{8, 8, 3, std::vector<std::uint8_t>(8 * 8 * 3, 128)};
    auto jpeg = *ImageCodec::encodeJpeg(image, 0.9f);
    const auto sof = jpeg.find("\xFF\xC0");
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

// Artwork that cannot be used costs the song its picture, never the song.
TEST_F(ConversionSafetyTest, ArtworkThatCannotBeUsedGivesASongWithoutAPicture) {
    const std::string huge = jpegClaiming(30000, 30000);
    ASSERT_LT(huge.size(), 1000u);
    EXPECT_FALSE(ImageCodec::decode(huge));
    const auto hugeSong = songWithCover("huge", "cover.jpg", huge);
    for (const bool mp3 : {true, false}) {
        SCOPED_TRACE(mp3 ? "mp3" : "aac");
        log_ = Recorder{};
        const std::string name = mp3 ? "huge.mp3" : "huge.m4a";
        auto j = job(song(hugeSong), name);
        EXPECT_EQ(mp3 ? converter_.convertItemAtUrl(j) : converter_.convertToAACItemAtUrl(j),
                  ConversionOutcome::Written);
        EXPECT_TRUE(log_.issues.empty()) << log_.issues[0];
        EXPECT_EQ(probe(kReadBack, out_ / name).at("picture"), "False");
        const auto said = std::count_if(log_.console.begin(), log_.console.end(), [](auto& line) {
            return line.find("30000 x 30000") != std::string::npos;
        });
        EXPECT_EQ(said, 1);
    }
    EXPECT_FALSE(converter_.writeAlbumArtwork(song(hugeSong), out_ / "huge.png"));
    EXPECT_FALSE(std::filesystem::exists(out_ / "huge.png"));

    // The working artwork file cannot be replaced (a folder with content is in its place).
    log_ = Recorder{};
    std::filesystem::remove(documents() / "tmpArtWork");
    writeFile(documents() / "tmpArtWork" / "inside", "x");
    ASSERT_EQ(converter_.convertItemAtUrl(
                  job(song(Sources::get()["jpegcover/song.wav"]), "unwritable.mp3")),
              ConversionOutcome::Written);
    EXPECT_TRUE(log_.issues.empty());
    EXPECT_EQ(probe(kReadBack, out_ / "unwritable.mp3").at("picture"), "False");
}

// A damaged embedded PNG is not an album image; an unreadable one never reaches the folder.
TEST_F(ConversionSafetyTest, AnAlbumImageIsWrittenOnlyWhenItDecodes) {
    const std::string brokenPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(600, 'z');
    const auto copy = out_ / "broken.mp3";
    std::filesystem::copy_file(Sources::get()["covered.mp3"], copy);
    writeFile(out_ / "broken.png", brokenPng);
    const auto embed = runPython(R"(
import sys
from mutagen.id3 import ID3, APIC
t = ID3(sys.argv[1]); t.delall("APIC")
t.add(APIC(mime="image/png", type=3, desc="", data=open(sys.argv[2], "rb").read()))
t.save()
)",
                                 {copy.string(), (out_ / "broken.png").string()});
    ASSERT_EQ(embed.exitCode, 0) << embed.err;
    ASSERT_EQ(ArtworkReader::artworkForFile(copy), brokenPng);
    EXPECT_FALSE(converter_.writeAlbumArtwork(song(copy), out_ / "Album.png"));
    EXPECT_FALSE(std::filesystem::exists(out_ / "Album.png"));
}

// Runs `work` on another thread; if it is still blocked after a few seconds, `unblock` frees it
// so that the test ends either way. True when it finished in time.
template <typename Work>
bool finishesInTime(Work work, const std::function<void()>& unblock) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(8)) == std::future_status::ready) return true;
    unblock();
    done.wait();
    return false;
}

// Opening a FIFO for writing without blocking frees a reader blocked in its open.
void feedFifo(const std::filesystem::path& fifo) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
}

// A cover "image" that is a FIFO is passed over: nothing waits for a writer that never comes.
TEST_F(ConversionSafetyTest, APipeInPlaceOfACoverOrASongIsNeverRead) {
    const auto source = songWithCover("fifo", "", "");
    const auto fifo = source.parent_path() / "cover.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ConversionOutcome outcome = ConversionOutcome::Failed;
    const auto& item = song(source);
    EXPECT_TRUE(finishesInTime([&] { outcome = converter_.convertItemAtUrl(job(item, "f.mp3")); },
                               [&] { feedFifo(fifo); }));
    EXPECT_EQ(outcome, ConversionOutcome::Written);
    EXPECT_EQ(probe(kReadBack, out_ / "f.mp3").at("picture"), "False");

    // An album whose song's file is itself a FIFO has no artwork to write.
    const auto pipeSong = source.parent_path() / "pipe.mp3";
    ASSERT_EQ(::mkfifo(pipeSong.c_str(), 0600), 0);
    bool wrote = true;
    const auto& pipeItem = song(pipeSong);
    EXPECT_TRUE(
        finishesInTime([&] { wrote = converter_.writeAlbumArtwork(pipeItem, out_ / "pipe.png"); },
                       [&] { feedFifo(pipeSong); }));
    EXPECT_FALSE(wrote);
}

}  // namespace
}  // namespace kelvara::test
