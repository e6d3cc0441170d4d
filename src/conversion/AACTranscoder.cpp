#include "conversion/AACTranscoder.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "conversion/FfmpegHandles.h"
#include "conversion/FfmpegLibraries.h"

namespace kelvara {

// Everything open during one start(); destroying it closes the source and the destination.
struct AACTranscoder::Session {
    ffmpeg::InputContext input;
    ffmpeg::CodecContext decoder;
    int stream = -1;
    ffmpeg::OutputContext output;
    ffmpeg::CodecContext encoder;
    AVStream* outStream = nullptr;
    ffmpeg::Resampler toClient;   // decoded frames -> client format
    ffmpeg::Resampler toEncoder;  // client format -> the encoder's planar float
    ffmpeg::Fifo clientFifo;
    ffmpeg::Fifo encoderFifo;
    ffmpeg::Packet packet{av_packet_alloc()};
    ffmpeg::Frame decoded{av_frame_alloc()};
    ffmpeg::Frame encoderFrame{av_frame_alloc()};
    AVSampleFormat clientSampleFormat = AV_SAMPLE_FMT_FLT;
    std::vector<std::uint8_t> transfer = std::vector<std::uint8_t>(transferBufferSize);
    std::vector<std::uint8_t> scratch;
    std::int64_t nextPts = 0;
    bool sourceEnded = false;
    int readStatus = 0;
    bool headerWritten = false;

    // What `toClient` converts from; a stream may change it midway (a damaged or concatenated
    // MP3 switching between mono and stereo, or its sample rate).
    AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
    int inRate = 0;
    ffmpeg::ChannelLayout inLayout;
    ffmpeg::ChannelLayout clientLayout;
    int clientRate = 0;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A resampler from the given input to the client format (same rate and channels as the
    // encoder); false when FFmpeg cannot make one.
    bool configureToClient(AVSampleFormat format, int rate, const AVChannelLayout& layout) {
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
            inLayout.setDefault(layout.nb_channels);
        else if (!inLayout.copyFrom(layout))
            return false;
        inFormat = format;
        inRate = rate;
        SwrContext* raw = nullptr;
        int status = swr_alloc_set_opts2(&raw, &clientLayout.get(), clientSampleFormat, clientRate,
                                         &inLayout.get(), format, rate, 0, nullptr);
        toClient.reset(raw);
        if (status >= 0) status = swr_init(raw);
        if (status < 0) toClient.reset();
        return status >= 0;
    }

    // Appends one decoded frame (or the resampler's rest, with null) to the client FIFO.
    bool toClientFifo(const AVFrame* frame) {
        if (frame && (frame->format != inFormat || frame->sample_rate != inRate ||
                      frame->ch_layout.nb_channels != inLayout->nb_channels ||
                      (frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC &&
                       av_channel_layout_compare(&frame->ch_layout, &inLayout.get()) != 0))) {
            if (toClient && !toClientFifo(nullptr)) return false;
            // A frame in a form that cannot be converted is skipped, as a damaged one is.
            if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0 ||
                !configureToClient(static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                   frame->ch_layout))
                return true;
        }
        if (!toClient) return true;
        const int inSamples = frame ? frame->nb_samples : 0;
        const int capacity = swr_get_out_samples(toClient.get(), inSamples);
        if (capacity <= 0) return true;
        const int bytesPerFrame =
            av_get_bytes_per_sample(clientSampleFormat) * clientLayout->nb_channels;
        scratch.resize(std::size_t(capacity) * bytesPerFrame);
        std::uint8_t* planes[1] = {scratch.data()};
        const int converted = swr_convert(
            toClient.get(), planes, capacity,
            frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, inSamples);
        if (converted < 0) return false;
        void* data[1] = {scratch.data()};
        return converted == 0 ||
               av_audio_fifo_write(clientFifo.get(), data, converted) == converted;
    }

    bool drainDecoder() {
        for (;;) {
            const int received = avcodec_receive_frame(decoder.get(), decoded.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
            if (received < 0) return true;  // a damaged frame is skipped, as players do
            const bool ok = toClientFifo(decoded.get());
            av_frame_unref(decoded.get());
            if (!ok) return false;
        }
    }

    // Reads up to `wanted` client frames into the transfer buffer; the count read, 0 at the
    // end, negative on a read error.
    int read(int wanted) {
        while (av_audio_fifo_size(clientFifo.get()) < wanted && !sourceEnded) {
            const int status = av_read_frame(input.get(), packet.get());
            if (status == AVERROR_EOF) {
                sourceEnded = true;
                avcodec_send_packet(decoder.get(), nullptr);
                if (!drainDecoder() || !toClientFifo(nullptr)) return AVERROR(ENOMEM);
                break;
            }
            if (status < 0) return readStatus = status;
            if (packet->stream_index == stream &&
                avcodec_send_packet(decoder.get(), packet.get()) >= 0 && !drainDecoder()) {
                av_packet_unref(packet.get());
                return AVERROR(ENOMEM);
            }
            av_packet_unref(packet.get());
        }
        void* data[1] = {transfer.data()};
        return av_audio_fifo_read(clientFifo.get(), data, wanted);
    }

    int encodeFrame(AVFrame* frame) {
        int status = avcodec_send_frame(encoder.get(), frame);
        if (status < 0) return status;
        for (;;) {
            status = avcodec_receive_packet(encoder.get(), packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return 0;
            if (status < 0) return status;
            av_packet_rescale_ts(packet.get(), encoder->time_base, outStream->time_base);
            packet->stream_index = outStream->index;
            status = av_interleaved_write_frame(output.get(), packet.get());
            if (status < 0) return status;
        }
    }

    // Encodes whole encoder frames from the FIFO; with `all`, the short last one too.
    int encodeFromFifo(bool all) {
        const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
        while (av_audio_fifo_size(encoderFifo.get()) >= frameSize ||
               (all && av_audio_fifo_size(encoderFifo.get()) > 0)) {
            const int count = std::min(frameSize, av_audio_fifo_size(encoderFifo.get()));
            AVFrame* frame = encoderFrame.get();
            av_frame_unref(frame);
            frame->nb_samples = count;
            frame->format = encoder->sample_fmt;
            frame->sample_rate = encoder->sample_rate;
            if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0 ||
                av_frame_get_buffer(frame, 0) < 0)
                return AVERROR(ENOMEM);
            if (av_audio_fifo_read(encoderFifo.get(), reinterpret_cast<void**>(frame->data),
                                   count) != count)
                return AVERROR(EIO);
            frame->pts = nextPts;
            nextPts += count;
            if (const int status = encodeFrame(frame); status < 0) return status;
        }
        return 0;
    }

    // Hands `frames` client frames of the transfer buffer (or, with 0, the converter's rest) to
    // the encoder.
    int write(int frames) {
        const int capacity = swr_get_out_samples(toEncoder.get(), frames);
        if (capacity > 0) {
            if (av_audio_fifo_realloc(encoderFifo.get(),
                                      av_audio_fifo_size(encoderFifo.get()) + capacity) < 0)
                return AVERROR(ENOMEM);
            ffmpeg::Frame planes(av_frame_alloc());
            if (!planes) return AVERROR(ENOMEM);
            planes->nb_samples = capacity;
            planes->format = encoder->sample_fmt;
            if (av_channel_layout_copy(&planes->ch_layout, &encoder->ch_layout) < 0 ||
                av_frame_get_buffer(planes.get(), 0) < 0)
                return AVERROR(ENOMEM);
            const std::uint8_t* in[1] = {transfer.data()};
            const int converted = swr_convert(toEncoder.get(), planes->extended_data, capacity,
                                              frames ? in : nullptr, frames);
            if (converted < 0) return converted;
            if (converted > 0 &&
                av_audio_fifo_write(encoderFifo.get(),
                                    reinterpret_cast<void**>(planes->extended_data),
                                    converted) != converted)
                return AVERROR(ENOMEM);
        }
        return encodeFromFifo(false);
    }
};

namespace {

// The source's own channel layout when the encoder takes it, so that every channel keeps its
// place (a quad source stays quad, 3.0 stays 3.0); FFmpeg's default for the channel count only
// for a source that names no layout or one the encoder cannot write.
ffmpeg::ChannelLayout chooseLayout(const AVCodec* encoder, const AVChannelLayout& source,
                                   int channels) {
    ffmpeg::ChannelLayout layout;
    if (source.order == AV_CHANNEL_ORDER_NATIVE && source.nb_channels == channels) {
        bool supported = !encoder->ch_layouts;
        for (const AVChannelLayout* known = encoder->ch_layouts; known && known->nb_channels;
             ++known)
            supported = supported || av_channel_layout_compare(known, &source) == 0;
        if (supported && layout.copyFrom(source)) return layout;
    }
    layout.setDefault(channels);
    return layout;
}

}  // namespace

AACTranscoder::AACTranscoder(std::filesystem::path inputFile, std::filesystem::path outputFile)
    : inputFilePath_(std::move(inputFile)), outputFilePath_(std::move(outputFile)) {}

AACTranscoder::~AACTranscoder() = default;

bool AACTranscoder::fail(int code, const char* message) {
    error_ = TranscoderError{errorDomain, code, message};
    return false;
}

bool AACTranscoder::stop() {
    stopped_ = true;
    return false;
}

void AACTranscoder::reportStatus(const char* call, int line, int status) {
    if (!console_) return;
    char four[5] = {};
    const auto bits = static_cast<std::uint32_t>(status);
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(bits >> (24 - 8 * i));
        four[i] = (c >= 32 && c < 127) ? c : '.';
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s:%d: %s result %d %08X %4.4s\n", "AACTranscoder.cpp", line,
                  call, status, bits, four);
    console_(text);
}

Status AACTranscoder::start() {
    error_.reset();
    stopped_ = false;
    if (const Status& ffmpeg = FfmpegLibraries::load(); !ffmpeg.ok()) return ffmpeg;
    if (run()) return okStatus();
    // Every stage that gives up has either failed or stopped.
    return errorStatus(error_ ? error_->localizedDescription : "Conversion cancelled");
}

bool AACTranscoder::run() {
    Session s;
    if (!s.packet || !s.decoded || !s.encoderFrame) return fail(0, "Couldn't open the source file");
    const AVCodec* aac = nullptr;
    return openSource(s) && findEncoder(s, aac) && openDestination(s) && setUpResampling(s, aac) &&
           transfer(s) && finish(s);
}

// The source and its decoder; a pipe or a device would block the read for ever.
bool AACTranscoder::openSource(Session& s) {
    std::error_code ec;
    if (std::filesystem::exists(inputFilePath_, ec) &&
        !std::filesystem::is_regular_file(inputFilePath_, ec)) {
        reportStatus("avformat_open_input", __LINE__, AVERROR(EINVAL));
        return fail(0, "Couldn't open the source file");
    }
    AVFormatContext* rawInput = nullptr;
    int status = avformat_open_input(&rawInput, inputFilePath_.c_str(), nullptr, nullptr);
    if (status < 0) {
        reportStatus("avformat_open_input", __LINE__, status);
        return fail(0, "Couldn't open the source file");
    }
    s.input.reset(rawInput);

    status = avformat_find_stream_info(s.input.get(), nullptr);
    if (status >= 0)
        status = s.stream =
            av_find_best_stream(s.input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (status >= 0) {
        // Only the stage's own message reaches the caller; the status goes to the console.
        if (auto decoder = ffmpeg::openDecoder(s.input->streams[s.stream]); decoder.ok())
            s.decoder = std::move(decoder).value();
    }
    if (status < 0 || !s.decoder) {
        reportStatus("av_find_best_stream", __LINE__,
                     status < 0 ? status : AVERROR_DECODER_NOT_FOUND);
        return fail(1, "Couldn't read the source file");
    }
    return true;
}

// FFmpeg's AAC encoder, when it takes the source's rate and channel count.
bool AACTranscoder::findEncoder(const Session& s, const AVCodec*& aac) {
    const int sampleRate = s.decoder->sample_rate;
    const int channels = s.decoder->ch_layout.nb_channels;
    aac = avcodec_find_encoder_by_name("aac");
    bool rateSupported = false;
    if (aac && aac->supported_samplerates)
        for (const int* rate = aac->supported_samplerates; *rate; ++rate)
            rateSupported |= *rate == sampleRate;
    if (!aac || !rateSupported || channels < 1 || channels > 8) {
        reportStatus("avcodec_find_encoder_by_name", __LINE__, AVERROR(EINVAL));
        return fail(1, "Couldn't setup destination format");
    }
    return true;
}

// The destination file, replacing any earlier one.
bool AACTranscoder::openDestination(Session& s) {
    AVFormatContext* rawOutput = nullptr;
    int status =
        avformat_alloc_output_context2(&rawOutput, nullptr, "ipod", outputFilePath_.c_str());
    if (status >= 0) {
        s.output.reset(rawOutput);
        status = avio_open(&s.output->pb, outputFilePath_.c_str(), AVIO_FLAG_WRITE);
    }
    if (status < 0) {
        reportStatus("avio_open", __LINE__, status);
        return fail(0, "Couldn't open the source file");
    }
    return true;
}

// Decoded audio is resampled into the client format (linear PCM keeps its own sample format,
// anything else becomes float), buffered, and resampled again into the encoder's planar float.
// A-law and mu-law carry "pcm_" in FFmpeg's names but are companded, not linear.
bool AACTranscoder::setUpResampling(Session& s, const AVCodec* aac) {
    const int sampleRate = s.decoder->sample_rate;
    const int channels = s.decoder->ch_layout.nb_channels;
    const std::string codecName = avcodec_get_name(s.input->streams[s.stream]->codecpar->codec_id);
    const bool linearPcm = codecName.rfind("pcm_", 0) == 0 && codecName != "pcm_alaw" &&
                           codecName != "pcm_mulaw" && codecName != "pcm_vidc";
    s.clientSampleFormat =
        linearPcm ? av_get_packed_sample_fmt(s.decoder->sample_fmt) : AV_SAMPLE_FMT_FLT;
    clientFormat_ = ClientFormat{
        sampleRate, channels, av_get_bytes_per_sample(s.clientSampleFormat) * 8,
        s.clientSampleFormat == AV_SAMPLE_FMT_FLT || s.clientSampleFormat == AV_SAMPLE_FMT_DBL};
    ffmpeg::ChannelLayout layout = chooseLayout(aac, s.decoder->ch_layout, channels);
    s.clientLayout.copyFrom(layout.get());
    s.clientRate = sampleRate;
    int status = s.configureToClient(s.decoder->sample_fmt, sampleRate, s.decoder->ch_layout)
                     ? 0
                     : AVERROR(EINVAL);
    SwrContext* raw = nullptr;
    if (status >= 0)
        status = swr_alloc_set_opts2(&raw, &layout.get(), AV_SAMPLE_FMT_FLTP, sampleRate,
                                     &layout.get(), s.clientSampleFormat, sampleRate, 0, nullptr);
    s.toEncoder.reset(raw);
    if (status >= 0) status = swr_init(raw);
    s.clientFifo.reset(av_audio_fifo_alloc(s.clientSampleFormat, channels, transferBufferSize));
    s.encoderFifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, 4096));
    if (status < 0 || !s.clientFifo || !s.encoderFifo) {
        reportStatus("swr_init", __LINE__, status < 0 ? status : AVERROR(ENOMEM));
        return fail(1, "Couldn't setup intermediate conversion format");
    }
    return openEncoder(s, aac, layout.get());
}

// The encoder at the chosen bit rate, its stream and the container header.
bool AACTranscoder::openEncoder(Session& s, const AVCodec* aac, const AVChannelLayout& layout) {
    const int sampleRate = s.decoder->sample_rate;
    s.encoder.reset(avcodec_alloc_context3(aac));
    if (!s.encoder) {
        reportStatus("avcodec_alloc_context3", __LINE__, AVERROR(ENOMEM));
        return fail(2, "Couldn't get destination files audio converter property");
    }
    s.encoder->sample_rate = sampleRate;
    av_channel_layout_copy(&s.encoder->ch_layout, &layout);
    s.encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    s.encoder->time_base = AVRational{1, sampleRate};
    if (s.output->oformat->flags & AVFMT_GLOBALHEADER)
        s.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    s.encoder->bit_rate = bitRate_;
    int status = avcodec_open2(s.encoder.get(), aac, nullptr);
    if (status < 0) {
        reportStatus("avcodec_open2", __LINE__, status);
        return fail(2, "Couldn't set destination files audio converter bit rate");
    }
    s.outStream = avformat_new_stream(s.output.get(), nullptr);
    status = s.outStream ? avcodec_parameters_from_context(s.outStream->codecpar, s.encoder.get())
                         : AVERROR(ENOMEM);
    if (status >= 0) {
        s.outStream->time_base = s.encoder->time_base;
        status = avformat_write_header(s.output.get(), nullptr);
    }
    if (status < 0) {
        reportStatus("avformat_write_header", __LINE__, status);
        return fail(0, "Error writing the destination file");
    }
    s.headerWritten = true;
    return true;
}

// Reads and encodes one transfer buffer at a time, looking for a stop request between the two.
bool AACTranscoder::transfer(Session& s) {
    const int framesPerPass = transferBufferSize / clientFormat_.bytesPerFrame();
    for (;;) {
        if (stopping()) return stop();
        const int read = s.read(framesPerPass);
        if (read < 0) {
            reportStatus("av_read_frame", __LINE__, read);
            return fail(1, "Error reading the source file");
        }
        if (read == 0) return true;
        if (stopping()) return stop();
        const int status = s.write(read);
        if (status < 0) {
            reportStatus("avcodec_send_frame", __LINE__, status);
            return fail(0, "Error writing the destination file");
        }
    }
}

// The encoder's rest and the container's index.
bool AACTranscoder::finish(Session& s) {
    int status = s.write(0);
    if (status >= 0) status = s.encodeFromFifo(true);
    if (status >= 0) status = s.encodeFrame(nullptr);
    if (status >= 0) status = av_write_trailer(s.output.get());
    if (status < 0) {
        reportStatus("av_write_trailer", __LINE__, status);
        return fail(0, "Error writing the destination file");
    }
    if (console_) console_("test");
    return true;
}

}  // namespace kelvara
