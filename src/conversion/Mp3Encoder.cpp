#include "conversion/Mp3Encoder.h"

#include <lame/lame.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "conversion/PcmDecoder.h"

namespace kelvara {
namespace {

struct LameCloser {
    void operator()(lame_global_flags* lame) const { lame_close(lame); }
};
using Lame = std::unique_ptr<lame_global_flags, LameCloser>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Where the first audio frame starts: after an ID3v2 tag that LAME may have put first.
off_t firstFrameOffset(int fd) {
    unsigned char header[10];
    if (::pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header, "ID3", 3) != 0)
        return 0;
    const off_t size = (off_t(header[6] & 0x7F) << 21) | (off_t(header[7] & 0x7F) << 14) |
                       (off_t(header[8] & 0x7F) << 7) | off_t(header[9] & 0x7F);
    const bool footer = header[5] & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

std::string lameFailure(const char* call, int code) {
    return std::string(call) + " failed with LAME error " + std::to_string(code);
}

}  // namespace

int Mp3Encoder::qualityForAlgorithm(std::int64_t algorithm) {
    if (algorithm == 0) return 2;
    if (algorithm == 1) return 5;
    return 7;
}

bool Mp3Encoder::encode(const std::filesystem::path& pcmFile, int outFd, int bitRate, int quality,
                        const std::string& destinationText,
                        const std::function<void(const std::string&)>& console, std::string& error,
                        const PcmProgress* decoding, const std::atomic<bool>* cancel) {
    const auto say = [&](const std::string& line) {
        if (console) console(line);
    };
    const auto readFailure = [&] {
        return "Cannot read " + pcmFile.string() + ": " + std::strerror(errno);
    };
    const auto stopped = [&] {
        if (!cancel || !*cancel) return false;
        error = "Encoding stopped";
        return true;
    };
    const auto decodingFailed = [&] {
        error = "Decoding into " + pcmFile.string() + " failed";
        return false;
    };
    constexpr std::uint64_t readBytes = std::uint64_t(pcmFrames) * 4;

    // A file being written exists once its first samples are published or the decoder is done.
    PcmProgress::State decoded;
    if (decoding) {
        decoded = decoding->waitFor(readBytes);
        if (decoded.finished && !decoded.ok) return decodingFailed();
    }
    File pcm(std::fopen(pcmFile.c_str(), "rb"));
    if (!pcm) {
        error = readFailure();
        return false;
    }
    // The buffer is set before the first operation on the stream, as setvbuf requires.
    std::setvbuf(pcm.get(), nullptr, _IOFBF, 1 << 16);

    Lame lame(lame_init());
    if (!lame) {
        error = "lame_init failed";
        return false;
    }
    lame_set_in_samplerate(lame.get(), PcmDecoder::sampleRate);
    lame_set_bWriteVbrTag(lame.get(), 1);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_quality(lame.get(), quality);
    lame_set_brate(lame.get(), bitRate);
    lame_set_findReplayGain(lame.get(), 1);
    lame_set_write_id3tag_automatic(lame.get(), 1);
    id3tag_v2_only(lame.get());
    if (const int result = lame_init_params(lame.get()); result < 0) {
        error = lameFailure("lame_init_params", result);
        return false;
    }

    const bool positioned = std::fseek(pcm.get(), PcmDecoder::dataOffset, SEEK_SET) == 0;
    const std::string positionError = positioned ? std::string() : readFailure();

    std::vector<short> samples(static_cast<std::size_t>(pcmFrames) * 2);
    std::vector<unsigned char> mp3(mp3BufferSize);
    // Encodes `frames` frames of `samples`, or with none, flushes LAME; writes what it produced.
    const auto encodeRead = [&](std::size_t frames, std::string& failure) {
        const int produced = frames > 0 ? lame_encode_buffer_interleaved(lame.get(), samples.data(),
                                                                         static_cast<int>(frames),
                                                                         mp3.data(), mp3BufferSize)
                                        : lame_encode_flush(lame.get(), mp3.data(), mp3BufferSize);
        if (produced < 0) {
            failure = lameFailure(
                frames > 0 ? "lame_encode_buffer_interleaved" : "lame_encode_flush", produced);
            return false;
        }
        if (!writeAll(outFd, mp3.data(), static_cast<std::size_t>(produced))) {
            failure = std::string("Cannot write the MP3 file: ") + std::strerror(errno);
            return false;
        }
        return true;
    };

    // While the decoder writes, only whole reads that are already in the file are encoded; what
    // goes wrong meanwhile is reported once the decoder has finished, after the console lines.
    std::string earlyFailure;
    if (decoding) {
        std::uint64_t consumed = 0;
        while (positioned && !decoded.finished) {
            if (stopped()) break;
            if (decoded.bytes < consumed + readBytes) {
                decoded = decoding->waitFor(consumed + readBytes);
                continue;
            }
            const std::size_t read = std::fread(samples.data(), 4, pcmFrames, pcm.get());
            if (read != static_cast<std::size_t>(pcmFrames)) {
                earlyFailure = std::ferror(pcm.get())
                                   ? readFailure()
                                   : "Cannot read " + pcmFile.string() + ": it ended early";
                break;
            }
            if (!encodeRead(read, earlyFailure)) break;
            consumed += readBytes;
        }
        // A stopped decoder finishes at its next packet.
        if (!decoded.finished) decoded = decoding->waitFor(UINT64_MAX);
        if (!decoded.ok) return decodingFailed();
        if (stopped()) return false;
    }

    std::error_code ec;
    const auto pcmSize = std::filesystem::file_size(pcmFile, ec);
    say("size of caf=" + std::to_string(ec ? 0 : pcmSize / 1024) + " K");
    say(std::string("Using LAME v") + get_lame_version() + "\n");
    if (!positioned) {
        error = positionError;
        return false;
    }
    say(":::" + destinationText);
    if (!earlyFailure.empty()) {
        error = earlyFailure;
        return false;
    }

    // The complete file from here to its end: a last short read, then the flush.
    for (;;) {
        if (stopped()) return false;
        const std::size_t read = std::fread(samples.data(), 4, pcmFrames, pcm.get());
        if (read == 0 && std::ferror(pcm.get())) {
            error = readFailure();
            return false;
        }
        if (!encodeRead(read, error)) return false;
        if (read == 0) break;
    }

    // LAME left its first frame empty for the Info tag; now that the whole stream is known,
    // fill it so that players get the exact length, gapless data and replay gain.
    const std::size_t tagSize = lame_get_lametag_frame(lame.get(), mp3.data(), mp3.size());
    if (tagSize > 0 && tagSize <= mp3.size()) {
        const off_t at = firstFrameOffset(outFd);
        if (::pwrite(outFd, mp3.data(), tagSize, at) != static_cast<ssize_t>(tagSize)) {
            error = std::string("Cannot write the MP3 file: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace kelvara
