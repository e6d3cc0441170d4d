#include "conversion/FfmpegLibraries.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

// The FFmpeg functions Kelvara calls, each forwarding to the library loaded on first use. The
// headers declare them; the declarations and these definitions must agree, so the compiler checks
// every signature. A function the conversion starts to use is added here.

#define KELVARA_FORWARD(name, ...)                                                         \
    static const auto real = kelvara::FfmpegLibraries::function<decltype(&::name)>(#name); \
    return real(__VA_ARGS__)

extern "C" {

AVAudioFifo* av_audio_fifo_alloc(enum AVSampleFormat sample_fmt, int channels, int nb_samples) {
    KELVARA_FORWARD(av_audio_fifo_alloc, sample_fmt, channels, nb_samples);
}
void av_audio_fifo_free(AVAudioFifo* af) { KELVARA_FORWARD(av_audio_fifo_free, af); }
int av_audio_fifo_read(AVAudioFifo* af, void** data, int nb_samples) {
    KELVARA_FORWARD(av_audio_fifo_read, af, data, nb_samples);
}
int av_audio_fifo_realloc(AVAudioFifo* af, int nb_samples) {
    KELVARA_FORWARD(av_audio_fifo_realloc, af, nb_samples);
}
int av_audio_fifo_size(AVAudioFifo* af) { KELVARA_FORWARD(av_audio_fifo_size, af); }
int av_audio_fifo_write(AVAudioFifo* af, void** data, int nb_samples) {
    KELVARA_FORWARD(av_audio_fifo_write, af, data, nb_samples);
}
int av_channel_layout_compare(const AVChannelLayout* chl, const AVChannelLayout* chl1) {
    KELVARA_FORWARD(av_channel_layout_compare, chl, chl1);
}
int av_channel_layout_copy(AVChannelLayout* dst, const AVChannelLayout* src) {
    KELVARA_FORWARD(av_channel_layout_copy, dst, src);
}
void av_channel_layout_default(AVChannelLayout* ch_layout, int nb_channels) {
    KELVARA_FORWARD(av_channel_layout_default, ch_layout, nb_channels);
}
void av_channel_layout_uninit(AVChannelLayout* channel_layout) {
    KELVARA_FORWARD(av_channel_layout_uninit, channel_layout);
}
int av_find_best_stream(AVFormatContext* ic, enum AVMediaType type, int wanted_stream_nb,
                        int related_stream, const AVCodec** decoder_ret, int flags) {
    KELVARA_FORWARD(av_find_best_stream, ic, type, wanted_stream_nb, related_stream, decoder_ret,
                    flags);
}
AVFrame* av_frame_alloc() { KELVARA_FORWARD(av_frame_alloc); }
void av_frame_free(AVFrame** frame) { KELVARA_FORWARD(av_frame_free, frame); }
int av_frame_get_buffer(AVFrame* frame, int align) {
    KELVARA_FORWARD(av_frame_get_buffer, frame, align);
}
void av_frame_unref(AVFrame* frame) { KELVARA_FORWARD(av_frame_unref, frame); }
int av_get_bytes_per_sample(enum AVSampleFormat sample_fmt) {
    KELVARA_FORWARD(av_get_bytes_per_sample, sample_fmt);
}
enum AVSampleFormat av_get_packed_sample_fmt(enum AVSampleFormat sample_fmt) {
    KELVARA_FORWARD(av_get_packed_sample_fmt, sample_fmt);
}
int av_interleaved_write_frame(AVFormatContext* s, AVPacket* pkt) {
    KELVARA_FORWARD(av_interleaved_write_frame, s, pkt);
}
void av_log_set_level(int level) { KELVARA_FORWARD(av_log_set_level, level); }
AVPacket* av_packet_alloc() { KELVARA_FORWARD(av_packet_alloc); }
void av_packet_free(AVPacket** pkt) { KELVARA_FORWARD(av_packet_free, pkt); }
void av_packet_rescale_ts(AVPacket* pkt, AVRational tb_src, AVRational tb_dst) {
    KELVARA_FORWARD(av_packet_rescale_ts, pkt, tb_src, tb_dst);
}
void av_packet_unref(AVPacket* pkt) { KELVARA_FORWARD(av_packet_unref, pkt); }
int av_read_frame(AVFormatContext* s, AVPacket* pkt) { KELVARA_FORWARD(av_read_frame, s, pkt); }
int av_strerror(int errnum, char* errbuf, size_t errbuf_size) {
    KELVARA_FORWARD(av_strerror, errnum, errbuf, errbuf_size);
}
const char* av_version_info() { KELVARA_FORWARD(av_version_info); }
int av_write_trailer(AVFormatContext* s) { KELVARA_FORWARD(av_write_trailer, s); }
AVCodecContext* avcodec_alloc_context3(const AVCodec* codec) {
    KELVARA_FORWARD(avcodec_alloc_context3, codec);
}
const AVCodec* avcodec_find_decoder(enum AVCodecID id) {
    KELVARA_FORWARD(avcodec_find_decoder, id);
}
const AVCodec* avcodec_find_encoder_by_name(const char* name) {
    KELVARA_FORWARD(avcodec_find_encoder_by_name, name);
}
void avcodec_free_context(AVCodecContext** avctx) { KELVARA_FORWARD(avcodec_free_context, avctx); }
const char* avcodec_get_name(enum AVCodecID id) { KELVARA_FORWARD(avcodec_get_name, id); }
const char* avcodec_license() { KELVARA_FORWARD(avcodec_license); }
int avcodec_open2(AVCodecContext* avctx, const AVCodec* codec, AVDictionary** options) {
    KELVARA_FORWARD(avcodec_open2, avctx, codec, options);
}
int avcodec_parameters_from_context(AVCodecParameters* par, const AVCodecContext* codec) {
    KELVARA_FORWARD(avcodec_parameters_from_context, par, codec);
}
int avcodec_parameters_to_context(AVCodecContext* codec, const AVCodecParameters* par) {
    KELVARA_FORWARD(avcodec_parameters_to_context, codec, par);
}
int avcodec_receive_frame(AVCodecContext* avctx, AVFrame* frame) {
    KELVARA_FORWARD(avcodec_receive_frame, avctx, frame);
}
int avcodec_receive_packet(AVCodecContext* avctx, AVPacket* avpkt) {
    KELVARA_FORWARD(avcodec_receive_packet, avctx, avpkt);
}
int avcodec_send_frame(AVCodecContext* avctx, const AVFrame* frame) {
    KELVARA_FORWARD(avcodec_send_frame, avctx, frame);
}
int avcodec_send_packet(AVCodecContext* avctx, const AVPacket* avpkt) {
    KELVARA_FORWARD(avcodec_send_packet, avctx, avpkt);
}
int avformat_alloc_output_context2(AVFormatContext** ctx, const AVOutputFormat* oformat,
                                   const char* format_name, const char* filename) {
    KELVARA_FORWARD(avformat_alloc_output_context2, ctx, oformat, format_name, filename);
}
void avformat_close_input(AVFormatContext** s) { KELVARA_FORWARD(avformat_close_input, s); }
int avformat_find_stream_info(AVFormatContext* ic, AVDictionary** options) {
    KELVARA_FORWARD(avformat_find_stream_info, ic, options);
}
void avformat_free_context(AVFormatContext* s) { KELVARA_FORWARD(avformat_free_context, s); }
AVStream* avformat_new_stream(AVFormatContext* s, const AVCodec* c) {
    KELVARA_FORWARD(avformat_new_stream, s, c);
}
int avformat_open_input(AVFormatContext** ps, const char* url, const AVInputFormat* fmt,
                        AVDictionary** options) {
    KELVARA_FORWARD(avformat_open_input, ps, url, fmt, options);
}
int avformat_write_header(AVFormatContext* s, AVDictionary** options) {
    KELVARA_FORWARD(avformat_write_header, s, options);
}
int avio_closep(AVIOContext** s) { KELVARA_FORWARD(avio_closep, s); }
int avio_open(AVIOContext** s, const char* url, int flags) {
    KELVARA_FORWARD(avio_open, s, url, flags);
}
int swr_alloc_set_opts2(struct SwrContext** ps, AVChannelLayout* out_ch_layout,
                        enum AVSampleFormat out_sample_fmt, int out_sample_rate,
                        AVChannelLayout* in_ch_layout, enum AVSampleFormat in_sample_fmt,
                        int in_sample_rate, int log_offset, void* log_ctx) {
    KELVARA_FORWARD(swr_alloc_set_opts2, ps, out_ch_layout, out_sample_fmt, out_sample_rate,
                    in_ch_layout, in_sample_fmt, in_sample_rate, log_offset, log_ctx);
}
int swr_convert(struct SwrContext* s, uint8_t** out, int out_count, const uint8_t** in,
                int in_count) {
    KELVARA_FORWARD(swr_convert, s, out, out_count, in, in_count);
}
void swr_free(struct SwrContext** s) { KELVARA_FORWARD(swr_free, s); }
int swr_get_out_samples(struct SwrContext* s, int in_samples) {
    KELVARA_FORWARD(swr_get_out_samples, s, in_samples);
}
int swr_init(struct SwrContext* s) { KELVARA_FORWARD(swr_init, s); }

}  // extern "C"
