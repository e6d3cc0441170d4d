#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <thread>

#include "conversion/ConversionFixture.h"
#include "conversion/Mp3Encoder.h"
#include "conversion/PcmDecoder.h"
#include "conversion/TagDemo.h"

namespace kelvara::test {
namespace {

// mutagen's reading of an MP3: stream info, LAME's Info frame and every ID3 frame in file order.
const char* const kMutagenMp3 = R"(
import sys
from mutagen.mp3 import MP3, BitrateMode
f = MP3(sys.argv[1])
i = f.info
print(f"bitrate={i.bitrate}")
print(f"cbr={i.bitrate_mode == BitrateMode.CBR}")
print(f"encoder={i.encoder_info}")
print(f"gain_known={i.track_gain is not None}")
from mutagen.id3 import ID3
t = ID3(sys.argv[1], translate=False)
print(f"version={t.version[0]}.{t.version[1]}")
print(f"frames={','.join(k[:4] for k in t.keys())}")
for k in t.keys():
    fr = t[k]
    if k.startswith("APIC"):
        print(f"APIC_mime={fr.mime}"); print(f"APIC_type={int(fr.type)}"); print(f"APIC_desc={fr.desc}")
        print(f"APIC_jpeg={fr.data[:3] == bytes([0xFF, 0xD8, 0xFF])}")
    else:
        print(f"{k}={'|'.join(str(x) for x in fr.text)}"); print(f"{k}_enc={int(fr.encoding)}")
data = open(sys.argv[1], "rb").read()
print(f"id3v2_headers={data.count(b'ID3' + bytes([3, 0]))}")
print(f"id3v1={data[-128:-125] == b'TAG'}")
print(f"flags={data[5]}")
print(f"after_tag={data[t.size]:02x}")
)";

class Mp3ConversionTest : public ConversionTest {};

TEST_F(Mp3ConversionTest, EverySourceFormatBecomesA44kStereoCbrMp3OfTheSameLength) {
    for (const char* name : {"stereo.wav", "mono48.wav", "s24.wav", "float.wav", "song.flac",
                             "alac.m4a", "aac.m4a", "song.aiff", "covered.mp3"}) {
        SCOPED_TRACE(name);
        const auto& item = song(Sources::get()[name]);
        const auto destination = std::string(name) + ".mp3";
        ASSERT_EQ(converter_.convertItemAtUrl(job(item, destination)), ConversionOutcome::Written);
        const auto audio = ffprobeAudio(out_ / destination);
        EXPECT_EQ(audio.at("codec_name"), "mp3");
        EXPECT_EQ(audio.at("sample_rate"), "44100");
        EXPECT_EQ(audio.at("channels"), "2");
        EXPECT_NEAR(std::stod(audio.at("format_duration")), durationOf(Sources::get()[name]), 0.06);
        const auto tags = probe(kMutagenMp3, out_ / destination);
        // mutagen derives the rate from the Info frame's byte count and length: within 0.1 kbit/s.
        EXPECT_NEAR(std::stod(tags.at("bitrate")), 192000, 100);
        EXPECT_EQ(tags.at("cbr"), "True");
    }
    EXPECT_TRUE(log_.issues.empty());
}

TEST_F(Mp3ConversionTest, EncodesAtTheJobsBitRateWithLamesInfoFrameFilledIn) {
    for (int rate : {256, 160, 128}) {
        SCOPED_TRACE(rate);
        const auto& item = song(Sources::get()["noise.wav"]);
        const auto name = std::to_string(rate) + ".mp3";
        ASSERT_EQ(converter_.convertItemAtUrl(job(item, name, rate)), ConversionOutcome::Written);
        const auto tags = probe(kMutagenMp3, out_ / name);
        EXPECT_NEAR(std::stod(tags.at("bitrate")), rate * 1000, 100);
        EXPECT_EQ(ffprobeAudio(out_ / name).at("bit_rate"), std::to_string(rate * 1000));
        EXPECT_EQ(tags.at("cbr"), "True");
        // The encoder name and replay gain come from the Info frame written after the flush.
        EXPECT_EQ(tags.at("encoder").rfind("LAME", 0), 0u) << tags.at("encoder");
        EXPECT_EQ(tags.at("gain_known"), "True");
    }
}

// The console shows the encoder's steps in their order: the decode's empty line, the separator,
// the intermediate file's size, LAME's version, the destination, the empty line of a song without
// artwork, the MP3's size.
TEST_F(Mp3ConversionTest, ConsoleLinesFollowTheEncodersSteps) {
    const auto destination = out_ / "steps.mp3";
    ASSERT_EQ(converter_.convertItemAtUrl(job(song(Sources::get()["stereo.wav"]), "steps.mp3")),
              ConversionOutcome::Written);
    const auto pcmSize = std::filesystem::file_size(documents() / "songData");
    const auto mp3Size = std::filesystem::file_size(destination);
    ASSERT_EQ(log_.console.size(), 7u);
    EXPECT_EQ(log_.console[0], "");
    EXPECT_EQ(log_.console[1], "---------------------");
    EXPECT_EQ(log_.console[2], "size of caf=" + std::to_string(pcmSize / 1024) + " K");
    EXPECT_EQ(log_.console[3].rfind("Using LAME v", 0), 0u);
    EXPECT_EQ(log_.console[3].back(), '\n');
    EXPECT_EQ(log_.console[4], ":::" + destination.string());
    EXPECT_EQ(log_.console[5], "");
    EXPECT_EQ(log_.console[6], "size of mp3=" + std::to_string(mp3Size / 1024) + " K");
}

// What an encoder that follows the decoder on another thread produced.
struct FollowedEncoding {
    PcmDecoder::Result decoded;
    Status encoded = errorStatus("not run");
    std::vector<std::string> console;
};

FollowedEncoding encodeWhileDecoding(const std::filesystem::path& source,
                                     const std::filesystem::path& wav,
                                     const std::filesystem::path& mp3) {
    FollowedEncoding run;
    const int fd = ::open(mp3.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + mp3.string());
    PcmProgress progress;
    {
        std::jthread encoder([&] {
            run.encoded = Mp3Encoder::encode(
                wav, fd, 192, 5, "followed",
                [&](const std::string& line) { run.console.push_back(line); }, &progress);
        });
        run.decoded = PcmDecoder::decode(source, wav, &progress);
    }
    ::close(fd);
    return run;
}

// The encoder reading the intermediate file behind the decoder gets the same reads as from the
// complete file: the same MP3, byte for byte, and the same console lines with the final size.
TEST_F(Mp3ConversionTest, EncodingWhileDecodingGivesTheSameMp3AsAfterwards) {
    std::filesystem::create_directories(documents());
    for (const char* name : {"noise.wav", "alac.m4a", "mono48.wav"}) {
        SCOPED_TRACE(name);
        const auto wav = documents() / "followed.wav";
        const auto run = encodeWhileDecoding(Sources::get()[name], wav, out_ / "followed.mp3");
        ASSERT_TRUE(run.decoded.ok) << run.decoded.error;
        ASSERT_TRUE(run.encoded.ok()) << run.encoded.message();

        std::vector<std::string> console;
        const int fd = ::open((out_ / "afterwards.mp3").c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const Status encoded = Mp3Encoder::encode(
            wav, fd, 192, 5, "followed", [&](const std::string& line) { console.push_back(line); });
        ::close(fd);
        ASSERT_TRUE(encoded.ok()) << encoded.message();
        EXPECT_EQ(run.console, console);
        EXPECT_EQ(run.console.front(),
                  "size of caf=" + std::to_string(std::filesystem::file_size(wav) / 1024) + " K");
        const auto followed = readFile(out_ / "followed.mp3");
        EXPECT_GT(followed.size(), 10000u);
        EXPECT_TRUE(followed == readFile(out_ / "afterwards.mp3"));
    }
}

// When the decoding fails, the encoder following it stops without a console line.
TEST_F(Mp3ConversionTest, EncoderFollowingAFailedDecodingStopsSilently) {
    std::filesystem::create_directories(documents());
    const auto run = encodeWhileDecoding(Sources::get()["corrupt.mp3"], documents() / "failed.wav",
                                         out_ / "failed.mp3");
    EXPECT_FALSE(run.decoded.ok);
    EXPECT_FALSE(run.encoded.ok());
    EXPECT_TRUE(run.console.empty());
    EXPECT_EQ(std::filesystem::file_size(out_ / "failed.mp3"), 0u);
}

TEST_F(Mp3ConversionTest, AlgorithmOptionSelectsLameQuality) {
    EXPECT_EQ(Mp3Encoder::qualityForAlgorithm(storedOption<Mp3Algorithm>(0)), 2);
    EXPECT_EQ(Mp3Encoder::qualityForAlgorithm(storedOption<Mp3Algorithm>(1)), 5);
    EXPECT_EQ(Mp3Encoder::qualityForAlgorithm(storedOption<Mp3Algorithm>(2)), 7);
    EXPECT_EQ(Mp3Encoder::qualityForAlgorithm(storedOption<Mp3Algorithm>(9)), 7);
    // Every quality setting produces a playable file.
    for (std::int64_t algorithm : {0, 2}) {
        auto j = job(song(Sources::get()["stereo.wav"]), "q" + std::to_string(algorithm) + ".mp3");
        j.algorithm = storedOption<Mp3Algorithm>(algorithm);
        ASSERT_EQ(converter_.convertItemAtUrl(j), ConversionOutcome::Written);
        EXPECT_EQ(ffprobeAudio(j.destination).at("codec_name"), "mp3");
    }
}

TEST_F(Mp3ConversionTest, WritesOneUtf16Id3v2TagWithTheFramesInOrder) {
    auto& artist = library_.addArtist();
    artist.setName("Μίκης Θεοδωράκης");
    auto& album = library_.addAlbum();
    album.setTitle("アルバム");
    auto& item = song(Sources::get()["covered.mp3"], "日本語のタイトル Ελληνικά 🎵");
    item.setArtist(&artist);
    item.setAlbum(&album);
    item.setGenre("Éntekhno");
    item.setYear(1964);
    item.setTrackNumber(7);
    item.setBeatsPerMinute(128);
    ASSERT_EQ(converter_.convertItemAtUrl(job(item, "tagged.mp3")), ConversionOutcome::Written);

    const auto tags = probe(kMutagenMp3, out_ / "tagged.mp3");
    EXPECT_EQ(tags.at("frames"), "TIT2,TALB,TPE1,TCON,TRCK,TYER,TBPM,APIC");
    EXPECT_EQ(tags.at("TIT2"), "日本語のタイトル Ελληνικά 🎵");
    EXPECT_EQ(tags.at("TALB"), "アルバム");
    EXPECT_EQ(tags.at("TPE1"), "Μίκης Θεοδωράκης");
    EXPECT_EQ(tags.at("TCON"), "Éntekhno");
    EXPECT_EQ(tags.at("TRCK"), "7");
    EXPECT_EQ(tags.at("TYER"), "1964");
    EXPECT_EQ(tags.at("TBPM"), "128");
    for (const char* frame : {"TIT2", "TALB", "TPE1", "TCON", "TRCK", "TYER", "TBPM"})
        EXPECT_EQ(tags.at(std::string(frame) + "_enc"), "1") << frame;
    EXPECT_EQ(tags.at("APIC_mime"), "image/jpeg");
    EXPECT_EQ(tags.at("APIC_type"), "11");
    EXPECT_EQ(tags.at("APIC_desc"), "Artwork");
    EXPECT_EQ(tags.at("APIC_jpeg"), "True");
    // The source's own tag and LAME's are gone: one ID3v2.3 tag, no padding, no unsync, no ID3v1.
    EXPECT_EQ(tags.at("version"), "2.3");
    EXPECT_EQ(tags.at("id3v2_headers"), "1");
    EXPECT_EQ(tags.at("id3v1"), "False");
    EXPECT_EQ(tags.at("flags"), "0");
    EXPECT_EQ(tags.at("after_tag"), "ff");

    const auto ffprobe =
        runCommand({"ffprobe", "-v", "error", "-show_entries", "format_tags=title,artist", "-of",
                    "default=nw=1", (out_ / "tagged.mp3").string()});
    EXPECT_EQ(ffprobe.err, "");
    EXPECT_NE(ffprobe.out.find("TAG:title=日本語のタイトル Ελληνικά 🎵"), std::string::npos)
        << ffprobe.out;
    EXPECT_NE(ffprobe.out.find("TAG:artist=Μίκης Θεοδωράκης"), std::string::npos);

    // The picture went through the temporary JPEG in Documents.
    EXPECT_EQ(readFile(documents() / "tmpArtWork").substr(0, 2), "\xFF\xD8");
}

TEST_F(Mp3ConversionTest, MissingValuesGiveEmptyFramesThatReadersAccept) {
    auto& item = song(Sources::get()["stereo.wav"], "");
    ASSERT_EQ(converter_.convertItemAtUrl(job(item, "bare.mp3")), ConversionOutcome::Written);
    const auto tags = probe(kMutagenMp3, out_ / "bare.mp3");
    // No bpm and no artwork: neither TBPM nor APIC.
    EXPECT_EQ(tags.at("frames"), "TIT2,TALB,TPE1,TCON,TRCK,TYER");
    for (const char* frame : {"TIT2", "TALB", "TPE1", "TCON", "TRCK", "TYER"})
        EXPECT_EQ(tags.at(frame), "") << frame;
    EXPECT_FALSE(std::filesystem::exists(documents() / "tmpArtWork"));
    const auto ffprobe = runCommand({"ffprobe", "-v", "warning", (out_ / "bare.mp3").string()});
    EXPECT_EQ(ffprobe.err.find("BOM"), std::string::npos) << ffprobe.err;
}

// The tag is a value or the reason there is none; an artwork file that cannot be read is such a
// reason, which the converter answers by tagging without artwork.
TEST(TagDemoTest, RendersATagOrSaysWhyNot) {
    TagDictionary tags;
    tags.title = "Caf\xC3\xA9";
    const Result<std::string> tag = TagDemo::render(tags);
    ASSERT_TRUE(tag.ok()) << tag.message();
    EXPECT_EQ(tag->substr(0, 6), std::string("ID3\x03\0\0", 6));

    tags.artwork = std::filesystem::path("/nonexistent/cover.jpg");
    const Result<std::string> unreadable = TagDemo::render(tags);
    EXPECT_FALSE(unreadable.ok());
    EXPECT_EQ(unreadable.message(), "Cannot read artwork /nonexistent/cover.jpg");
}

TEST_F(Mp3ConversionTest, ArtworkComesFromACoverImageBesideTheFileInAnyFormat) {
    for (const char* name : {"jpegcover/song.wav", "pngcover/song.wav"}) {
        SCOPED_TRACE(name);
        const std::string destination = std::string(name).substr(0, 8) + ".mp3";
        ASSERT_EQ(converter_.convertItemAtUrl(job(song(Sources::get()[name]), destination)),
                  ConversionOutcome::Written);
        const auto tags = probe(kMutagenMp3, out_ / destination);
        EXPECT_EQ(tags.at("APIC_mime"), "image/jpeg");
        EXPECT_EQ(tags.at("APIC_jpeg"), "True");
    }
}

TEST_F(Mp3ConversionTest, ConvertedFileHasTheUsersDefaultPermissions) {
    ASSERT_EQ(converter_.convertItemAtUrl(job(song(Sources::get()["stereo.wav"]), "mode.mp3")),
              ConversionOutcome::Written);
    struct stat info {};
    ASSERT_EQ(::stat((out_ / "mode.mp3").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~0022u);
}

TEST_F(Mp3ConversionTest, IntermediateFileIs44kStereo16BitFromByte4096) {
    writeFile(documents() / "songData", std::string(100000, 'x'));  // an earlier song's leftover
    ASSERT_EQ(converter_.convertItemAtUrl(job(song(Sources::get()["mono48.wav"]), "mono.mp3")),
              ConversionOutcome::Written);
    const std::string wav = readFile(documents() / "songData");
    ASSERT_GT(wav.size(), 4096u);
    const auto le32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(wav[at])) |
               std::uint32_t(std::uint8_t(wav[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(wav[at + 2])) << 16 |
               std::uint32_t(std::uint8_t(wav[at + 3])) << 24;
    };
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(20) & 0xFFFF, 1u);  // integer PCM
    EXPECT_EQ(le32(20) >> 16, 2u);     // channels
    EXPECT_EQ(le32(24), 44100u);       // sample rate
    EXPECT_EQ(le32(32) >> 16, 16u);    // bits per sample
    EXPECT_EQ(wav.substr(4088, 4), "data");
    EXPECT_EQ(le32(4092), wav.size() - 4096);
    const double seconds = double(wav.size() - 4096) / (44100 * 4);
    EXPECT_NEAR(seconds, 3.0, 0.01);
    const auto audio = ffprobeAudio(documents() / "songData");
    EXPECT_EQ(audio.at("codec_name"), "pcm_s16le");
    EXPECT_EQ(audio.at("sample_rate"), "44100");
    EXPECT_EQ(audio.at("channels"), "2");
}

TEST_F(Mp3ConversionTest, ExistingDestinationIsSkippedOrReplaced) {
    const auto& item = song(Sources::get()["stereo.wav"]);
    writeFile(out_ / "old.mp3", "keep me");
    auto skipping = job(item, "old.mp3");
    EXPECT_EQ(converter_.convertItemAtUrl(skipping), ConversionOutcome::Skipped);
    EXPECT_EQ(readFile(out_ / "old.mp3"), "keep me");
    EXPECT_TRUE(log_.logged("File exists at:" + (out_ / "old.mp3").string()));
    EXPECT_EQ(log_.console.front(), "MP3 File exists!!");

    auto replacing = job(item, "old.mp3");
    replacing.skipIfExists = false;
    EXPECT_EQ(converter_.convertItemAtUrl(replacing), ConversionOutcome::Written);
    EXPECT_TRUE(log_.logged("File exists. Will delete file at:" + (out_ / "old.mp3").string()));
    EXPECT_EQ(ffprobeAudio(out_ / "old.mp3").at("codec_name"), "mp3");
    EXPECT_TRUE(log_.issues.empty());

    // A destination that cannot be removed (a folder with content) ends the song.
    writeFile(out_ / "folder.mp3" / "inside", "x");
    auto blocked = job(item, "folder.mp3");
    blocked.skipIfExists = false;
    EXPECT_EQ(converter_.convertItemAtUrl(blocked), ConversionOutcome::Failed);
    ASSERT_EQ(log_.issues.size(), 1u);
    EXPECT_EQ(log_.issues[0].rfind(
                  "Delete error: Cannot remove " + (out_ / "folder.mp3").string() + ": ", 0),
              0u)
        << log_.issues[0];
}

// Each failure returns once, with one issue naming the reason and nothing at the destination.
TEST_F(Mp3ConversionTest, FailuresLeaveNothingAtTheDestination) {
    writeFile(out_ / "plainfile", "not a folder");
    const TempDir pipes;
    ASSERT_EQ(::mkfifo((pipes / "pipe.wav").c_str(), 0600), 0);  // would block a reader for ever
    const struct {
        std::string source;
        std::string destination;
        std::string reason;
    } cases[] = {
        {Sources::get()["corrupt.mp3"], "corrupt.mp3", "corrupt.mp3"},
        {Sources::get()["video.mkv"], "video.mp3", "No audio track"},
        {Sources::get()["truncated.m4a"], "truncated.mp3", "truncated.m4a"},
        {(out_ / "missing.wav").string(), "missing.mp3", "No such file"},
        {Sources::get()["stereo.wav"], "plainfile/song.mp3", "Not a directory"},
        {(pipes / "pipe.wav").string(), "pipe.mp3", "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination);
        log_ = Recorder{};
        EXPECT_EQ(converter_.convertItemAtUrl(job(song(c.source), c.destination)),
                  ConversionOutcome::Failed);
        ASSERT_EQ(log_.issues.size(), 1u);
        EXPECT_TRUE(log_.issueContains(c.reason)) << log_.issues[0];
        EXPECT_FALSE(std::filesystem::exists(out_ / c.destination));
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(out_.path()))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"plainfile"});
}

}  // namespace
}  // namespace kelvara::test
