#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace kelvara {

// Constant-bit-rate MP3 encoding of the intermediate WAVE file with LAME.
class Mp3Encoder {
  public:
    static constexpr int pcmFrames = 8192;      // frames of 2 x 16 bits read per pass
    static constexpr int mp3BufferSize = 8192;  // bytes handed to LAME per call

    // The persistent "Algorithm" option to LAME's quality: 0 -> 2, 1 -> 5, others -> 7.
    static int qualityForAlgorithm(std::int64_t algorithm);

    // Encodes the samples of `pcmFile` after its first 4096 bytes into `outFd` (empty, seekable),
    // then writes LAME's Info frame over the frame it reserved at the start of the audio.
    // Console lines go to `console`: the intermediate file's size, LAME's version, then ":::"
    // with `destinationText`. Returns false with `error` set when anything fails; LAME's
    // negative results end the encoding there and are never written.
    static bool encode(const std::filesystem::path& pcmFile, int outFd, int bitRate, int quality,
                       const std::string& destinationText,
                       const std::function<void(const std::string&)>& console, std::string& error);
};

}  // namespace kelvara
