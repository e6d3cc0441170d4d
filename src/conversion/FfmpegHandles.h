#pragma once

// Owning handles for the FFmpeg objects the conversion uses, so every path out of a function
// releases them.

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace kelvara::ffmpeg {

struct InputContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputContext = std::unique_ptr<AVFormatContext, InputContextDeleter>;

// An output context together with the file it opened through avio.
struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContext = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

struct ResamplerDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using Resampler = std::unique_ptr<SwrContext, ResamplerDeleter>;

struct FifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using Fifo = std::unique_ptr<AVAudioFifo, FifoDeleter>;

// FFmpeg's text for an error code.
inline std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Opens a media file and reads its stream information. On failure returns null and sets `error`
// to FFmpeg's reason.
inline InputContext openInput(const std::string& path, std::string& error) {
    AVFormatContext* raw = nullptr;
    int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        error = errorText(result);
        return nullptr;
    }
    InputContext context(raw);
    result = avformat_find_stream_info(context.get(), nullptr);
    if (result < 0) {
        error = errorText(result);
        return nullptr;
    }
    return context;
}

// Opens the decoder of one stream. Returns null and sets `error` when it has none.
inline CodecContext openDecoder(const AVStream* stream, std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        error = std::string("no decoder for ") + avcodec_get_name(stream->codecpar->codec_id);
        return nullptr;
    }
    CodecContext context(avcodec_alloc_context3(codec));
    if (!context) {
        error = errorText(AVERROR(ENOMEM));
        return nullptr;
    }
    int result = avcodec_parameters_to_context(context.get(), stream->codecpar);
    if (result >= 0) {
        context->pkt_timebase = stream->time_base;
        result = avcodec_open2(context.get(), codec, nullptr);
    }
    if (result < 0) {
        error = errorText(result);
        return nullptr;
    }
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
