// Times our MP3 and AAC conversions against the ffmpeg command line on the same files, and
// reports the peak memory of one conversion.
//
//   conversion_bench compare SOURCE...   side-by-side wall times
//   conversion_bench memory-mp3 SOURCE   peak resident memory of one MP3 conversion
//   conversion_bench memory-aac SOURCE   the same for AAC
//   conversion_bench mp3 SOURCE DEST     one MP3 conversion, kept at DEST (to compare outputs)

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/MediaConverter.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool run(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

kelvara::ConversionJob jobFor(const std::filesystem::path& source,
                              const std::filesystem::path& destination, int bitRate) {
    kelvara::ConversionJob job;
    job.source = source;
    job.destination = destination;
    job.bitRate = bitRate;
    job.algorithm =
        kelvara::Mp3Algorithm::Standard;  // LAME quality 5, as ffmpeg's -compression_level 5
    job.skipIfExists = false;
    job.logErrorMessage = [](const std::string& line) {
        std::fprintf(stderr, "issue: %s\n", line.c_str());
    };
    return job;
}

// The best of three runs of `work`, which returns false on failure.
template <typename Work>
double best(Work work) {
    double fastest = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        if (!work()) return -1;
        fastest = std::min(fastest, seconds(start));
    }
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s compare SOURCE... | memory-mp3 SOURCE | memory-aac SOURCE"
                     " | mp3 SOURCE DEST\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const auto work =
        std::filesystem::temp_directory_path() / ("kelvara-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(work / "home");
    setenv("HOME", (work / "home").c_str(), 1);
    kelvara::MediaConverter converter;
    if (const kelvara::Status begun = converter.beginRun({}, nullptr); !begun.ok()) {
        std::fprintf(stderr, "%s\n", begun.message().c_str());
        return 1;
    }

    int status = 0;
    if (mode == "compare") {
        std::printf("%-28s %9s %9s %6s   %9s %9s %6s\n", "source", "mp3 ours", "ffmpeg", "ratio",
                    "aac ours", "ffmpeg", "ratio");
        for (int i = 2; i < argc; ++i) {
            const std::filesystem::path source = argv[i];
            const auto ffmpegMp3 = best([&] {
                return run({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", source.string(),
                            "-map", "0:a", "-c:a", "libmp3lame", "-b:a", "192k",
                            "-compression_level", "5", (work / "ffmpeg.mp3").string()});
            });
            const auto oursMp3 = best([&] {
                return converter.convertItemAtUrl(jobFor(source, work / "ours.mp3", 192)) ==
                       kelvara::ConversionOutcome::Written;
            });
            const auto ffmpegAac = best([&] {
                return run({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", source.string(),
                            "-map", "0:a", "-c:a", "aac", "-b:a", "256k",
                            (work / "ffmpeg.m4a").string()});
            });
            const auto oursAac = best([&] {
                return converter.convertToAACItemAtUrl(jobFor(source, work / "ours.m4a", 256)) ==
                       kelvara::ConversionOutcome::Written;
            });
            if (ffmpegMp3 < 0 || oursMp3 < 0 || ffmpegAac < 0 || oursAac < 0) status = 1;
            std::printf("%-28s %8.2fs %8.2fs %5.2fx   %8.2fs %8.2fs %5.2fx\n",
                        source.filename().string().c_str(), oursMp3, ffmpegMp3, oursMp3 / ffmpegMp3,
                        oursAac, ffmpegAac, oursAac / ffmpegAac);
        }
    } else if (mode == "mp3" && argc == 4) {
        const std::filesystem::path destination = std::filesystem::absolute(argv[3]);
        auto job = jobFor(argv[2], destination, 192);
        job.console = [](const std::string& line) { std::printf("console: %s\n", line.c_str()); };
        if (converter.convertItemAtUrl(job) != kelvara::ConversionOutcome::Written) status = 1;
    } else if (mode == "memory-mp3" || mode == "memory-aac") {
        const std::filesystem::path source = argv[2];
        const auto outcome =
            mode == "memory-mp3"
                ? converter.convertItemAtUrl(jobFor(source, work / "ours.mp3", 192))
                : converter.convertToAACItemAtUrl(jobFor(source, work / "ours.m4a", 256));
        if (outcome != kelvara::ConversionOutcome::Written) status = 1;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%-12s %-16s peak RSS %.1f MB\n", mode.c_str(),
                    source.filename().string().c_str(), usage.ru_maxrss / 1024.0);
    }
    converter.endRun();
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    return status;
}
