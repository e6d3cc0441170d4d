#include "conversion/AacExport.h"

#include <cstring>

#include "conversion/FfmpegHandles.h"
#include "conversion/ImageCodec.h"
#include "library/MediaItem.h"

namespace kelvara {

AacMetadata AacMetadata::fromItem(const MediaItem* item) {
    AacMetadata metadata;
    if (!item) return metadata;
    metadata.title = item->title();
    if (item->album()) metadata.album = item->album()->title();
    if (item->artist()) metadata.artist = item->artist()->name();
    metadata.genre = item->genre();
    // Only the low 16 bits fit the atom.
    if (item->trackNumber() > 0)
        metadata.trackNumber = static_cast<std::uint16_t>(item->trackNumber() & 0xFFFF);
    if (item->year() >= 1) metadata.year = std::to_string(item->year());
    return metadata;
}

bool AacExport::exportWithMetadata(const std::filesystem::path& input,
                                   const std::filesystem::path& output, const AacMetadata& metadata,
                                   std::string& error) {
    std::string reason;
    ffmpeg::InputContext in = ffmpeg::openInput(input.string(), reason);
    if (!in) {
        error = "Cannot open " + input.string() + ": " + reason;
        return false;
    }
    const int audio = av_find_best_stream(in.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio < 0 || in->streams[audio]->codecpar->codec_id != AV_CODEC_ID_AAC) {
        error = "No AAC audio in " + input.string();
        return false;
    }

    AVFormatContext* raw = nullptr;
    int status = avformat_alloc_output_context2(&raw, nullptr, "ipod", output.c_str());
    if (status < 0) {
        error = ffmpeg::errorText(status);
        return false;
    }
    ffmpeg::OutputContext out(raw);
    AVStream* audioOut = avformat_new_stream(out.get(), nullptr);
    if (!audioOut ||
        avcodec_parameters_copy(audioOut->codecpar, in->streams[audio]->codecpar) < 0) {
        error = ffmpeg::errorText(AVERROR(ENOMEM));
        return false;
    }
    audioOut->codecpar->codec_tag = 0;
    audioOut->time_base = in->streams[audio]->time_base;

    // The muxer maps these keys onto the iTunes atoms; a track number alone gives the 8-byte trkn
    // with a zero total.
    const auto set = [&](const char* key, const std::optional<std::string>& value) {
        if (value) av_dict_set(&out->metadata, key, value->c_str(), 0);
    };
    set("title", metadata.title);
    set("album", metadata.album);
    set("artist", metadata.artist);
    set("genre", metadata.genre);
    if (metadata.trackNumber > 0)
        av_dict_set(&out->metadata, "track", std::to_string(metadata.trackNumber).c_str(), 0);
    set("date", metadata.year);

    AVStream* cover = nullptr;
    if (metadata.artworkJpeg && !metadata.artworkJpeg->empty()) {
        cover = avformat_new_stream(out.get(), nullptr);
        if (!cover) {
            error = ffmpeg::errorText(AVERROR(ENOMEM));
            return false;
        }
        // The muxer needs the picture's dimensions.
        const auto picture = ImageCodec::decode(*metadata.artworkJpeg);
        if (!picture) {
            error = "Unreadable artwork";
            return false;
        }
        cover->codecpar->width = picture->width;
        cover->codecpar->height = picture->height;
        cover->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        cover->codecpar->codec_id = AV_CODEC_ID_MJPEG;
        cover->disposition = AV_DISPOSITION_ATTACHED_PIC;
        cover->time_base = AVRational{1, 90000};
    }

    status = avio_open(&out->pb, output.c_str(), AVIO_FLAG_WRITE);
    if (status >= 0) status = avformat_write_header(out.get(), nullptr);
    if (status < 0) {
        error = "Cannot write " + output.string() + ": " + ffmpeg::errorText(status);
        return false;
    }

    ffmpeg::Packet packet(av_packet_alloc());
    if (!packet) {
        error = ffmpeg::errorText(AVERROR(ENOMEM));
        return false;
    }
    if (cover) {
        if (av_new_packet(packet.get(), static_cast<int>(metadata.artworkJpeg->size())) < 0) {
            error = ffmpeg::errorText(AVERROR(ENOMEM));
            return false;
        }
        std::memcpy(packet->data, metadata.artworkJpeg->data(), metadata.artworkJpeg->size());
        packet->stream_index = cover->index;
        packet->flags |= AV_PKT_FLAG_KEY;
        status = av_interleaved_write_frame(out.get(), packet.get());
        if (status < 0) {
            error = "Cannot write the artwork: " + ffmpeg::errorText(status);
            return false;
        }
    }
    for (;;) {
        status = av_read_frame(in.get(), packet.get());
        if (status == AVERROR_EOF) break;
        if (status < 0) {
            error = "Cannot read " + input.string() + ": " + ffmpeg::errorText(status);
            return false;
        }
        if (packet->stream_index != audio) {
            av_packet_unref(packet.get());
            continue;
        }
        av_packet_rescale_ts(packet.get(), in->streams[audio]->time_base, audioOut->time_base);
        packet->stream_index = audioOut->index;
        packet->pos = -1;
        status = av_interleaved_write_frame(out.get(), packet.get());
        if (status < 0) {
            error = "Cannot write " + output.string() + ": " + ffmpeg::errorText(status);
            return false;
        }
    }
    status = av_write_trailer(out.get());
    if (status < 0) {
        error = "Cannot write " + output.string() + ": " + ffmpeg::errorText(status);
        return false;
    }
    return true;
}

}  // namespace kelvara
