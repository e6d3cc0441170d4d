#include "conversion/ConversionFixture.h"

#include <algorithm>
#include <fstream>

namespace kelvara::test {

namespace {

void ffmpeg(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-nostdin", "-y"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto result = runCommand(argv);
    if (result.exitCode != 0) throw std::runtime_error("ffmpeg failed: " + result.err);
}

}  // namespace

Sources& Sources::get() {
    static Sources sources;
    return sources;
}

Sources::Sources() {
    const auto at = [&](const std::string& name) { return (dir_ / name).string(); };
    const std::string sine = "sine=frequency=440:sample_rate=44100:duration=3";
    const std::string sine48 = "sine=frequency=440:sample_rate=48000:duration=3";
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "pcm_s16le", at("stereo.wav")});
    ffmpeg({"-f", "lavfi", "-i", sine48, "-ac", "1", "-c:a", "pcm_s16le", at("mono48.wav")});
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "pcm_s24le", at("s24.wav")});
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "pcm_f32le", at("float.wav")});
    ffmpeg({"-f", "lavfi", "-i", "sine=frequency=300:sample_rate=32000:duration=3", "-ac", "1",
            "-c:a", "pcm_s16le", at("mono32.wav")});
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "flac", at("song.flac")});
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "alac", at("alac.m4a")});
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "aac", "-b:a", "128k", at("aac.m4a")});
    ffmpeg({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "pcm_s16be", at("song.aiff")});
    ffmpeg({"-f", "lavfi", "-i", "anoisesrc=color=pink:sample_rate=44100:duration=3", "-ac", "2",
            "-c:a", "pcm_s16le", at("noise.wav")});
    // Songs with a cover image beside them live in folders of their own.
    std::filesystem::create_directories(dir_ / "jpegcover");
    std::filesystem::create_directories(dir_ / "pngcover");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=300x200:duration=1", "-frames:v", "1",
            at("jpegcover/Cover.jpg")});
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=40x40:duration=1", "-frames:v", "1",
            at("pngcover/front.png")});
    std::filesystem::copy_file(dir_ / "stereo.wav", dir_ / "jpegcover/song.wav");
    std::filesystem::copy_file(dir_ / "stereo.wav", dir_ / "pngcover/song.wav");
    ffmpeg({"-f",
            "lavfi",
            "-i",
            sine,
            "-i",
            at("jpegcover/Cover.jpg"),
            "-map",
            "0",
            "-map",
            "1",
            "-ac",
            "2",
            "-c:a",
            "libmp3lame",
            "-b:a",
            "320k",
            "-c:v",
            "copy",
            "-id3v2_version",
            "3",
            "-metadata",
            "title=Old title",
            at("covered.mp3")});
    ffmpeg(
        {"-f", "lavfi", "-i", "testsrc=size=64x64:duration=1", "-c:v", "mjpeg", at("video.mkv")});
    // An MP3 stream that switches from mono 22050 Hz to stereo 44100 Hz midway (two files
    // joined byte for byte, as damaged or concatenated MP3s are).
    ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050:duration=1.5", "-ac", "1",
            "-c:a", "libmp3lame", "-b:a", "64k", "-write_xing", "0", "-id3v2_version", "0",
            at("part1.mp3")});
    ffmpeg({"-f", "lavfi", "-i", "sine=frequency=660:sample_rate=44100:duration=1.5", "-ac", "2",
            "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0",
            at("part2.mp3")});
    writeFile(dir_ / "mixed.mp3", readFile(dir_ / "part1.mp3") + readFile(dir_ / "part2.mp3"));
    // Random bytes, and the first half of a song whose index is at its end.
    std::string junk(20000, '\0');
    std::generate(junk.begin(), junk.end(),
                  [n = 7u]() mutable { return char((n = n * 1103515245u + 12345u) >> 16); });
    writeFile(dir_ / "corrupt.mp3", junk);
    const std::string whole = readFile(dir_ / "alac.m4a");
    writeFile(dir_ / "truncated.m4a", whole.substr(0, whole.size() / 2));
    for (const char* name :
         {"stereo.wav", "mono48.wav", "s24.wav", "float.wav", "mono32.wav", "song.flac", "alac.m4a",
          "aac.m4a", "song.aiff", "noise.wav", "jpegcover/Cover.jpg", "jpegcover/song.wav",
          "pngcover/front.png", "pngcover/song.wav", "covered.mp3", "video.mkv", "corrupt.mp3",
          "truncated.m4a", "mixed.mp3"})
        files_[name] = dir_ / name;
}

bool Recorder::logged(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool Recorder::issueContains(const std::string& text) const {
    return std::any_of(issues.begin(), issues.end(), [&](const std::string& issue) {
        return issue.find(text) != std::string::npos;
    });
}

std::map<std::string, std::string> probe(const std::string& python,
                                         const std::filesystem::path& file) {
    const auto result = runPython(python, {file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start < result.out.size()) {
        const auto end = result.out.find('\n', start);
        const auto line =
            result.out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (const auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return values;
}

std::map<std::string, std::string> ffprobeAudio(const std::filesystem::path& file) {
    return probe(R"(
import json, subprocess, sys
out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
    "stream=codec_name,sample_rate,channels,bit_rate:format=duration,format_name", "-of", "json", sys.argv[1]],
    capture_output=True, text=True).stdout
data = json.loads(out)
for k, v in (data.get("streams") or [{}])[0].items(): print(f"{k}={v}")
for k, v in data.get("format", {}).items(): print(f"format_{k}={v}")
)",
                 file);
}

double durationOf(const std::filesystem::path& file) {
    const auto values = ffprobeAudio(file);
    const auto it = values.find("format_duration");
    return it == values.end() ? -1.0 : std::stod(it->second);
}

void ConversionTest::SetUp() {
    Sources::get();
    if (const char* home = std::getenv("HOME")) previousHome_ = home;
    setenv("HOME", home_.path().c_str(), 1);
}

void ConversionTest::TearDown() {
    converter_.endRun();
    setenv("HOME", previousHome_.c_str(), 1);
}

MediaItem& ConversionTest::song(const std::filesystem::path& source, const std::string& title) {
    MediaItem& item = library_.addMediaItem();
    item.setTitle(title);
    item.setMappedPath(source);
    return item;
}

ConversionJob ConversionTest::job(const MediaItem& item, const std::string& destinationName,
                                  int bitRate) {
    ConversionJob job;
    job.song = &item;
    job.source = item.mappedPath();
    job.destination = out_ / destinationName;
    job.bitRate = bitRate;
    job.algorithm = Mp3Algorithm::Standard;
    job.skipIfExists = true;
    job.logMessage = [this](const std::string& line) { log_.lines.push_back(line); };
    job.logErrorMessage = [this](const std::string& line) { log_.issues.push_back(line); };
    job.console = [this](const std::string& line) { log_.console.push_back(line); };
    return job;
}

}  // namespace kelvara::test
