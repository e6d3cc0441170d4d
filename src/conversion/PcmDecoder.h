#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kelvara {

// Decodes any audio file FFmpeg reads into the intermediate WAVE file of the MP3 path: 44100 Hz,
// 2 channels, signed 16-bit little-endian interleaved, samples from byte 4096 (the header is
// padded so the encoder can skip a fixed 4096 bytes). Streams with fixed buffers: memory does not
// depend on the song's length.
class PcmDecoder {
  public:
    static constexpr int sampleRate = 44100;
    static constexpr int channels = 2;
    static constexpr std::uint32_t dataOffset = 4096;

    struct Result {
        bool ok = false;
        // Why nothing usable was written (open failure, no audio track, unwritable file).
        std::string error;
        // Set when reading stopped early on a damaged file; what was decoded before is kept.
        std::string warning;
        std::uint64_t frames = 0;
    };

    // Replaces `wavFile` with the decoded audio of the first audio track of `source`.
    static Result decode(const std::filesystem::path& source, const std::filesystem::path& wavFile);
};

}  // namespace kelvara
