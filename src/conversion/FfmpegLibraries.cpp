#include "conversion/FfmpegLibraries.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libswresample/swresample.h>
}

namespace kelvara {
namespace {

// The major versions the headers were compiled against: another major is another ABI.
constexpr std::array<const char*, 4> kLibraries = {
    "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
    "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
};

struct Loaded {
    std::array<void*, kLibraries.size()> handles{};
    Status status;
};

const Loaded& loaded() {
    static const Loaded libraries = [] {
        Loaded result;
        for (std::size_t i = 0; i < kLibraries.size(); ++i) {
            // Kept for the life of the process: songs are converted until it ends.
            result.handles[i] = dlopen(kLibraries[i], RTLD_NOW | RTLD_LOCAL);
            if (!result.handles[i]) {
                const char* why = dlerror();
                result.status = errorStatus(std::string("Cannot load FFmpeg's ") + kLibraries[i] +
                                            ": " + (why ? why : "unknown error"));
                return result;
            }
        }
        return result;
    }();
    return libraries;
}

}  // namespace

const Status& FfmpegLibraries::load() {
    static const bool quiet = [] {
        // FFmpeg's own messages would land in the middle of the log and the progress line.
        if (loaded().status.ok()) av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    (void)quiet;
    return loaded().status;
}

std::optional<std::string> FfmpegLibraries::version() {
    if (!load().ok()) return std::nullopt;
    return av_version_info();
}

std::optional<std::string> FfmpegLibraries::licence() {
    if (!load().ok()) return std::nullopt;
    return avcodec_license();
}

void* FfmpegLibraries::symbol(const char* name) {
    const Loaded& libraries = loaded();
    if (libraries.status.ok()) {
        for (void* handle : libraries.handles)
            if (void* found = dlsym(handle, name)) return found;
    }
    std::fprintf(
        stderr, "kelvara: FFmpeg's %s is not available: %s\n", name,
        libraries.status.ok() ? "not in the loaded libraries" : libraries.status.message().c_str());
    std::abort();
}

}  // namespace kelvara
