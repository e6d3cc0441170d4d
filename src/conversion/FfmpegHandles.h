#pragma once

// Owning handles for the FFmpeg objects the conversion uses, so every path out of a function
// releases them.

#include <string>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include "platform/Status.h"
#include "platform/UniqueHandles.h"

namespace kelvara::ffmpeg {

using InputContext = UniqueHandle<AVFormatContext, &avformat_close_input>;

// An output context together with the file it opened through avio.
struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContext = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

using CodecContext = UniqueHandle<AVCodecContext, &avcodec_free_context>;
using Frame = UniqueHandle<AVFrame, &av_frame_free>;
using Packet = UniqueHandle<AVPacket, &av_packet_free>;
using Resampler = UniqueHandle<SwrContext, &swr_free>;
using Fifo = UniqueHandle<AVAudioFifo, &av_audio_fifo_free>;

// An AVChannelLayout, a value that may own a custom channel map: uninitialised on destruction and
// before each new value, so no path leaks or double-frees it.
class ChannelLayout {
  public:
    ChannelLayout() = default;
    ~ChannelLayout() { release(); }
    ChannelLayout(ChannelLayout&& other) noexcept
        : layout_(std::exchange(other.layout_, AVChannelLayout{})) {}
    ChannelLayout& operator=(ChannelLayout&& other) noexcept {
        if (this != &other) {
            release();
            layout_ = std::exchange(other.layout_, AVChannelLayout{});
        }
        return *this;
    }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    const AVChannelLayout& get() const { return layout_; }
    // For FFmpeg calls declared with a non-const pointer that only read it (swr_alloc_set_opts2).
    AVChannelLayout& get() { return layout_; }
    const AVChannelLayout* operator->() const { return &layout_; }
    // Replaces the value by a copy of `other`; false (and empty) when FFmpeg cannot copy it.
    bool copyFrom(const AVChannelLayout& other) {
        release();
        return av_channel_layout_copy(&layout_, &other) >= 0;
    }
    // Replaces the value by FFmpeg's default order for `channels`.
    void setDefault(int channels) {
        release();
        av_channel_layout_default(&layout_, channels);
    }

  private:
    // Only a custom map owns memory: an empty layout needs no FFmpeg call, so a song that ends
    // before FFmpeg could be loaded does not need it either.
    void release() {
        if (layout_.order == AV_CHANNEL_ORDER_CUSTOM) av_channel_layout_uninit(&layout_);
        layout_ = AVChannelLayout{};
    }

    AVChannelLayout layout_{};
};

// FFmpeg's text for an error code.
inline std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Opens a media file and reads its stream information. A failure carries FFmpeg's reason.
inline Result<InputContext> openInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (result < 0) return errorStatus(errorText(result));
    InputContext context(raw);
    result = avformat_find_stream_info(context.get(), nullptr);
    if (result < 0) return errorStatus(errorText(result));
    return context;
}

// Opens the decoder of one stream. Fails when it has none, or with FFmpeg's reason.
inline Result<CodecContext> openDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return errorStatus(std::string("no decoder for ") +
                           avcodec_get_name(stream->codecpar->codec_id));
    CodecContext context(avcodec_alloc_context3(codec));
    if (!context) return errorStatus(errorText(AVERROR(ENOMEM)));
    int result = avcodec_parameters_to_context(context.get(), stream->codecpar);
    if (result >= 0) {
        context->pkt_timebase = stream->time_base;
        result = avcodec_open2(context.get(), codec, nullptr);
    }
    if (result < 0) return errorStatus(errorText(result));
    // Some containers (raw WAV without a channel mask) leave the order unspecified; the
    // resampler needs a real layout.
    if (context->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = context->ch_layout.nb_channels;
        av_channel_layout_uninit(&context->ch_layout);
        av_channel_layout_default(&context->ch_layout, channels);
    }
    return context;
}

}  // namespace kelvara::ffmpeg
