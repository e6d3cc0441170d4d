#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace kelvara {

// How much of the intermediate file the decoder has handed to the system, for a reader that
// follows the file on another thread while it is being written. The decoder only appends after
// the header, so every byte below the published count is final.
class PcmProgress {
  public:
    struct State {
        // Bytes of samples (after the 4096-byte header) that a read of the file returns.
        std::uint64_t bytes = 0;
        // The decoder has returned: the file is closed and complete, or decoding failed.
        bool finished = false;
        // With `finished`: the decoder's Result::ok.
        bool ok = false;
    };

    // Decoder side: `bytes` of samples are now in the file.
    void publish(std::uint64_t bytes);
    // Decoder side, called once when decode() returns (also when it throws).
    void finish(bool ok);

    // Reader side: blocks until at least `bytes` bytes of samples are in the file or the decoder
    // has finished.
    State waitFor(std::uint64_t bytes) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State state_;
};

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
        // Decoding ended because `cancel` became true (not ok, no error).
        bool cancelled = false;
    };

    // Replaces `wavFile` with the decoded audio of the first audio track of `source`. With
    // `progress`, the samples are published as they reach the file (the file exists from the
    // first publication on) and the end is announced there with the result. With `cancel`,
    // decoding stops at the next packet once it is true.
    static Result decode(const std::filesystem::path& source, const std::filesystem::path& wavFile,
                         PcmProgress* progress = nullptr,
                         const std::atomic<bool>* cancel = nullptr);
};

}  // namespace kelvara
