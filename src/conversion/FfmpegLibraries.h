#pragma once

#include <optional>
#include <string>

#include "platform/Status.h"

namespace kelvara {

// FFmpeg's libraries, loaded the first time a song needs them rather than when a program starts:
// linked in, they and the hundred libraries they bring cost every start of Kelvara (a listing, a
// shell completion, an update that copies nothing) some 30 ms. The conversion code calls FFmpeg's
// functions as declared in its headers; FfmpegFunctions.cpp defines them to forward here.
class FfmpegLibraries {
  public:
    // Loads the libraries once (thread-safe) and says whether they could be; every entry point of
    // the conversion asks before its first FFmpeg call.
    static const Status& load();

    // FFmpeg's own version and licence texts, when the libraries can be loaded.
    static std::optional<std::string> version();
    static std::optional<std::string> licence();

    // The function `name` of the loaded libraries. Reaching it without a successful load() is a
    // fault of ours: the process ends with the reason instead of calling through a null pointer.
    template <typename Function>
    static Function function(const char* name) {
        return reinterpret_cast<Function>(symbol(name));
    }

  private:
    static void* symbol(const char* name);
};

}  // namespace kelvara
