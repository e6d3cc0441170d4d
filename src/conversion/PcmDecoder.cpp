#include "conversion/PcmDecoder.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "conversion/FfmpegHandles.h"
#include "conversion/FfmpegLibraries.h"
#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

void putLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void putLe16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

// RIFF header, fmt chunk, a filler chunk up to byte 4088, then the data chunk's header, so the
// samples start at byte 4096.
std::vector<std::uint8_t> waveHeader(std::uint64_t dataBytes) {
    std::vector<std::uint8_t> header(PcmDecoder::dataOffset, 0);
    auto* h = header.data();
    const std::uint32_t data = dataBytes > 0xFFFFFFFFull - PcmDecoder::dataOffset
                                   ? 0xFFFFFFFFu - PcmDecoder::dataOffset
                                   : static_cast<std::uint32_t>(dataBytes);
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, PcmDecoder::dataOffset - 8 + data);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    putLe32(h + 16, 16);
    putLe16(h + 20, 1);  // integer PCM
    putLe16(h + 22, PcmDecoder::channels);
    putLe32(h + 24, PcmDecoder::sampleRate);
    putLe32(h + 28, PcmDecoder::sampleRate * PcmDecoder::channels * 2);
    putLe16(h + 32, PcmDecoder::channels * 2);
    putLe16(h + 34, 16);
    std::memcpy(h + 36, "JUNK", 4);
    putLe32(h + 40, PcmDecoder::dataOffset - 8 - 44);
    std::memcpy(h + PcmDecoder::dataOffset - 8, "data", 4);
    putLe32(h + PcmDecoder::dataOffset - 4, data);
    return header;
}

// How many written bytes the decoder collects before it flushes them and tells a following reader:
// a few of the encoder's 32768-byte reads.
constexpr std::uint64_t publishStep = 1 << 17;

class Decoding {
  public:
    Decoding(PcmDecoder::Result& result, PcmProgress* progress, const std::atomic<bool>* cancel)
        : result_(result), progress_(progress), cancel_(cancel) {}
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    bool run(const std::filesystem::path& source, const std::filesystem::path& wavFile) {
        // A pipe or a device would block the read (and the run) for ever.
        std::error_code ec;
        if (std::filesystem::exists(source, ec) && !std::filesystem::is_regular_file(source, ec))
            return fail("Cannot read " + source.string() + ": not a regular file");
        if (const Status& ffmpeg = FfmpegLibraries::load(); !ffmpeg.ok())
            return fail(ffmpeg.message());
        auto opened = ffmpeg::openInput(source.string());
        if (!opened.ok()) return fail("Cannot read " + source.string() + ": " + opened.message());
        input_ = std::move(opened).value();
        stream_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream_ < 0) return fail("No audio track in " + source.string());
        // One decoding thread: the encoder keeps the other core busy, and FFmpeg's frame threads
        // (ALAC's) only compete with it (measured slower with 2 or automatic threads).
        auto decoder = ffmpeg::openDecoder(input_->streams[stream_]);
        if (!decoder.ok())
            return fail("Cannot decode " + source.string() + ": " + decoder.message());
        decoder_ = std::move(decoder).value();

        std::filesystem::remove(wavFile, ec);
        out_.reset(std::fopen(wavFile.c_str(), "wb"));
        if (!out_) return fail("Cannot write " + wavFile.string() + ": " + std::strerror(errno));
        // glibc ignores the size of a buffer it is to allocate itself and writes 4 KiB at a time;
        // with ours, each publication is one write.
        std::setvbuf(out_.get(), writeBuffer_.data(), _IOFBF, writeBuffer_.size());
        const auto header = waveHeader(0);
        if (std::fwrite(header.data(), 1, header.size(), out_.get()) != header.size())
            return failWrite(wavFile);

        ffmpeg::Packet packet(av_packet_alloc());
        frame_.reset(av_frame_alloc());
        if (!packet || !frame_) return fail(ffmpeg::errorText(AVERROR(ENOMEM)));
        for (;;) {
            if (cancel_ && *cancel_) {
                result_.cancelled = true;
                return false;
            }
            const int read = av_read_frame(input_.get(), packet.get());
            if (read == AVERROR_EOF) break;
            if (read < 0) {
                result_.warning =
                    "Reading stopped early in " + source.string() + ": " + ffmpeg::errorText(read);
                break;
            }
            if (packet->stream_index == stream_) {
                // A damaged packet is dropped, as players do; the rest of the song still plays.
                if (avcodec_send_packet(decoder_.get(), packet.get()) >= 0 && !drain())
                    return failWrite(wavFile);
            }
            av_packet_unref(packet.get());
        }
        avcodec_send_packet(decoder_.get(), nullptr);
        if (!drain() || !convert(nullptr)) return failWrite(wavFile);

        const auto finalHeader = waveHeader(result_.frames * PcmDecoder::channels * 2);
        if (std::fseek(out_.get(), 0, SEEK_SET) != 0 ||
            std::fwrite(finalHeader.data(), 1, 44, out_.get()) != 44 ||
            std::fseek(out_.get(), PcmDecoder::dataOffset - 4, SEEK_SET) != 0 ||
            std::fwrite(finalHeader.data() + PcmDecoder::dataOffset - 4, 1, 4, out_.get()) != 4)
            return failWrite(wavFile);
        // The encoder reads the file next; everything must be on its way to the disk first.
        if (std::fclose(out_.release()) != 0) return failWrite(wavFile);
        result_.ok = true;
        return true;
    }

  private:
    bool fail(std::string message) {
        result_.error = std::move(message);
        return false;
    }
    bool failWrite(const std::filesystem::path& wavFile) {
        return fail("Cannot write " + wavFile.string() + ": " + std::strerror(errno));
    }

    bool drain() {
        for (;;) {
            const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
            if (received < 0) return true;  // a damaged frame is skipped
            const bool ok = convert(frame_.get());
            av_frame_unref(frame_.get());
            if (!ok) return false;
        }
    }

    bool setUpResampler(const AVFrame* frame) {
        ffmpeg::ChannelLayout inLayout;
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0)
            inLayout.setDefault(frame->ch_layout.nb_channels ? frame->ch_layout.nb_channels
                                                             : decoder_->ch_layout.nb_channels);
        else
            inLayout.copyFrom(frame->ch_layout);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* raw = nullptr;
        int result = swr_alloc_set_opts2(
            &raw, &stereo, AV_SAMPLE_FMT_S16, PcmDecoder::sampleRate, &inLayout.get(),
            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        resampler_.reset(raw);
        if (result < 0 || swr_init(raw) < 0) return false;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        inChannels_.copyFrom(frame->ch_layout);
        return true;
    }

    // Converts one decoded frame (or, with null, what the resampler still holds) and appends it.
    bool convert(const AVFrame* frame) {
        if (frame && (!resampler_ || frame->format != inFormat_ || frame->sample_rate != inRate_ ||
                      av_channel_layout_compare(&frame->ch_layout, &inChannels_.get()) != 0)) {
            if (resampler_ && !convert(nullptr)) return false;
            if (!setUpResampler(frame)) return true;  // a format we cannot convert: skip it
        }
        if (!resampler_) return true;
        const int inSamples = frame ? frame->nb_samples : 0;
        const int capacity = swr_get_out_samples(resampler_.get(), inSamples);
        if (capacity <= 0) return true;
        buffer_.resize(static_cast<std::size_t>(capacity) * PcmDecoder::channels * 2);
        std::uint8_t* outPlanes[1] = {buffer_.data()};
        const int converted = swr_convert(
            resampler_.get(), outPlanes, capacity,
            frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, inSamples);
        if (converted <= 0) return true;
        const std::size_t bytes = static_cast<std::size_t>(converted) * PcmDecoder::channels * 2;
        if (std::fwrite(buffer_.data(), 1, bytes, out_.get()) != bytes) return false;
        result_.frames += static_cast<std::uint64_t>(converted);
        const std::uint64_t written = result_.frames * PcmDecoder::channels * 2;
        if (progress_ && written - published_ >= publishStep) {
            if (std::fflush(out_.get()) != 0) return false;
            published_ = written;
            progress_->publish(written);
        }
        return true;
    }

    PcmDecoder::Result& result_;
    PcmProgress* progress_;
    const std::atomic<bool>* cancel_;
    std::uint64_t published_ = 0;
    ffmpeg::InputContext input_;
    ffmpeg::CodecContext decoder_;
    ffmpeg::Frame frame_;
    ffmpeg::Resampler resampler_;
    // Declared before `out_`, which uses it until it is closed.
    std::vector<char> writeBuffer_ = std::vector<char>(publishStep * 2);
    UniqueFile out_;
    int stream_ = -1;
    int inFormat_ = -1;
    int inRate_ = 0;
    ffmpeg::ChannelLayout inChannels_;
    std::vector<std::uint8_t> buffer_;
};

// Announces the end to a following reader however decode() returns.
class FinishOnExit {
  public:
    FinishOnExit(PcmProgress* progress, const PcmDecoder::Result& result)
        : progress_(progress), result_(result) {}
    ~FinishOnExit() {
        if (progress_) progress_->finish(result_.ok);
    }
    FinishOnExit(const FinishOnExit&) = delete;
    FinishOnExit& operator=(const FinishOnExit&) = delete;

  private:
    PcmProgress* progress_;
    const PcmDecoder::Result& result_;
};

}  // namespace

void PcmProgress::publish(std::uint64_t bytes) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        state_.bytes = bytes;
    }
    changed_.notify_all();
}

void PcmProgress::finish(bool ok) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        state_.finished = true;
        state_.ok = ok;
    }
    changed_.notify_all();
}

PcmProgress::State PcmProgress::waitFor(std::uint64_t bytes) const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return state_.finished || state_.bytes >= bytes; });
    return state_;
}

PcmDecoder::Result PcmDecoder::decode(const std::filesystem::path& source,
                                      const std::filesystem::path& wavFile, PcmProgress* progress,
                                      const std::atomic<bool>* cancel) {
    Result result;
    // Declared after `result`, so the end is announced before the result goes away.
    const FinishOnExit finishing(progress, result);
    Decoding(result, progress, cancel).run(source, wavFile);
    return result;
}

}  // namespace kelvara
