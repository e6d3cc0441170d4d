#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/ExportOptionValues.h"
#include "platform/Status.h"

namespace kelvara {

class PcmProgress;

// Constant-bit-rate MP3 encoding of the intermediate WAVE file with LAME.
class Mp3Encoder {
  public:
    static constexpr int pcmFrames = 8192;      // frames of 2 x 16 bits read per pass
    static constexpr int mp3BufferSize = 8192;  // bytes handed to LAME per call

    // LAME's quality for the "Algorithm" option, as the options themselves define it.
    static int qualityForAlgorithm(Mp3Algorithm algorithm);

    // Encodes the samples of `pcmFile` after its first 4096 bytes into `outFd` (empty, seekable),
    // then writes LAME's Info frame over the frame it reserved at the start of the audio.
    // Console lines go to `console`: the intermediate file's size, LAME's version, then ":::"
    // with `destinationText`. Fails with the reason when anything fails; LAME's
    // negative results end the encoding there and are never written.
    //
    // With `decoding`, `pcmFile` is still being written by PcmDecoder on another thread: whole
    // reads are encoded as they become readable, the rest once the decoder has finished, so LAME
    // gets the same reads as from the complete file. The console lines come once the decoder has
    // finished (the size is the final one), in the same order and at the same steps relative to
    // a failure. When decoding fails, fails at once (the decoder's error is the reason).
    //
    // With `cancel`, encoding stops before the next read once it is true, and fails.
    static Status encode(const std::filesystem::path& pcmFile, int outFd, int bitRate, int quality,
                         const std::string& destinationText,
                         const std::function<void(const std::string&)>& console,
                         const PcmProgress* decoding = nullptr,
                         const std::atomic<bool>* cancel = nullptr);
};

}  // namespace kelvara
