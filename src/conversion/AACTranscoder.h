#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/Status.h"

struct AVChannelLayout;
struct AVCodec;

namespace kelvara {

// What went wrong, for callers that tell failures apart: the code of the stage that failed (0
// opening or writing, 1 reading or setting up, 2 the encoder's settings) in errorDomain.
struct TranscoderError {
    std::string domain;
    int code = 0;
    std::string localizedDescription;
};

// What the transcoder reads from the source before it reaches the encoder.
struct ClientFormat {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerChannel = 0;
    bool isFloat = false;
    int bytesPerFrame() const { return channels * bitsPerChannel / 8; }
};

// Encodes one audio file to AAC in an M4A file, synchronously, with FFmpeg's native encoder.
// Sample rate, channel count and channel layout are kept.
class AACTranscoder {
  public:
    static constexpr const char* errorDomain = "KelvaraAACTranscoderErrorDomain";
    static constexpr int transferBufferSize = 32768;

    // Reads `inputFile` and writes `outputFile`; the bit rate starts at 64000 bits/s.
    AACTranscoder(std::filesystem::path inputFile, std::filesystem::path outputFile);
    ~AACTranscoder();
    AACTranscoder(const AACTranscoder&) = delete;
    AACTranscoder& operator=(const AACTranscoder&) = delete;

    // Runs the whole transcoding. Not ok when it failed (error() holds the code; the message is
    // its description) or when it was stopped (stopped(), no error(), "Conversion cancelled").
    // After either, past the creation of the output, the output holds what was written.
    Status start();
    // May be called from another thread; seen before each read and each write.
    void cancel() { cancelled_ = true; }
    // A stop request owned by someone else (the run's), seen where cancel() is.
    void setStopRequest(const std::atomic<bool>* stop) { stop_ = stop; }

    const std::filesystem::path& inputFilePath() const { return inputFilePath_; }
    void setInputFilePath(std::filesystem::path v) { inputFilePath_ = std::move(v); }
    const std::filesystem::path& outputFilePath() const { return outputFilePath_; }
    void setOutputFilePath(std::filesystem::path v) { outputFilePath_ = std::move(v); }
    // The last start()'s failure; none after a success or a stop.
    const std::optional<TranscoderError>& error() const { return error_; }
    // Whether the last start() ended on cancel() or the stop request rather than on a failure.
    bool stopped() const { return stopped_; }
    bool isCancelled() const { return cancelled_; }
    void setCancelled(bool v) { cancelled_ = v; }
    std::uint32_t bitRate() const { return bitRate_; }
    void setBitRate(std::uint32_t v) { bitRate_ = v; }

    // 16-bit (or other) linear PCM sources are read in their own sample format, compressed ones
    // as 32-bit float; set once start() has opened the source.
    const ClientFormat& clientFormat() const { return clientFormat_; }

    // Diagnostic lines (failing calls, "test" at the end).
    void setConsole(std::function<void(const std::string&)> console) {
        console_ = std::move(console);
    }

  private:
    struct Session;
    bool stopping() const { return cancelled_ || (stop_ && *stop_); }
    bool fail(int code, const char* message);
    // Ends a stage on a stop request; false, like fail(), but without an error.
    bool stop();
    void reportStatus(const char* call, int line, int status);
    // start() without its outcome: false after fail() or stop().
    bool run();
    // The stages of run(), in order; each reports its own failure and returns false.
    bool openSource(Session& s);
    bool findEncoder(const Session& s, const AVCodec*& aac);
    bool openDestination(Session& s);
    bool setUpResampling(Session& s, const AVCodec* aac);
    bool openEncoder(Session& s, const AVCodec* aac, const AVChannelLayout& layout);
    bool transfer(Session& s);
    bool finish(Session& s);

    std::filesystem::path inputFilePath_;
    std::filesystem::path outputFilePath_;
    std::optional<TranscoderError> error_;
    bool stopped_ = false;
    std::atomic<bool> cancelled_{false};
    const std::atomic<bool>* stop_ = nullptr;
    std::uint32_t bitRate_ = 64000;
    ClientFormat clientFormat_;
    std::function<void(const std::string&)> console_;
};

}  // namespace kelvara
