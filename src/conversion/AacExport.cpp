#include "conversion/AacExport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "conversion/ImageCodec.h"
#include "library/MediaItem.h"
#include "platform/UniqueHandles.h"

namespace kelvara {

AacMetadata AacMetadata::fromItem(const MediaItem* item) {
    AacMetadata metadata;
    if (!item) return metadata;
    metadata.title = item->title();
    if (item->album()) metadata.album = item->album()->title();
    if (item->artist()) metadata.artist = item->artist()->name();
    metadata.genre = item->genre();
    // Only the low 16 bits fit the atom (65536 is stored as 0).
    if (item->trackNumber() > 0)
        metadata.trackNumber = static_cast<std::uint16_t>(item->trackNumber() & 0xFFFF);
    if (item->year() >= 1) metadata.year = std::to_string(item->year());
    return metadata;
}

// The remux works on the boxes of the file: everything but the "udta" box of "moov" is copied
// byte for byte, so the audio, its sample tables and the chunk offsets stay exactly as the
// transcoder's muxer wrote them, and no per-sample table is ever held in memory. (FFmpeg's
// demuxer and mov muxer would each keep one entry per AAC frame: about 14 MB at once for a
// 60-minute song.)
namespace {

struct Box {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;  // of its header
    std::uint64_t header = 0;  // 8, or 16 with a 64-bit size
    std::uint64_t size = 0;    // header included
    std::uint64_t body() const { return offset + header; }
    std::uint64_t end() const { return offset + size; }
};

constexpr std::uint32_t fourcc(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void putBe32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(value >> shift));
}

// The boxes between `begin` and `end`; false when one is malformed or runs past `end`.
bool readBoxes(std::FILE* file, std::uint64_t begin, std::uint64_t end, std::vector<Box>& boxes) {
    boxes.clear();
    for (std::uint64_t at = begin; at < end;) {
        std::uint8_t head[16];
        if (end - at < 8 || fseeko(file, off_t(at), SEEK_SET) != 0 ||
            std::fread(head, 1, 8, file) != 8)
            return false;
        Box box{be32(head + 4), at, 8, be32(head)};
        if (box.size == 1) {
            if (end - at < 16 || std::fread(head + 8, 1, 8, file) != 8) return false;
            box.header = 16;
            box.size = std::uint64_t(be32(head + 8)) << 32 | be32(head + 12);
        } else if (box.size == 0) {
            box.size = end - at;
        }
        if (box.size < box.header || box.size > end - at) return false;
        boxes.push_back(box);
        at += box.size;
    }
    return true;
}

const Box* find(const std::vector<Box>& boxes, std::uint32_t type) {
    for (const auto& box : boxes)
        if (box.type == type) return &box;
    return nullptr;
}

bool readBytes(std::FILE* file, std::uint64_t offset, std::uint64_t size, std::string& bytes) {
    bytes.resize(size);
    return fseeko(file, off_t(offset), SEEK_SET) == 0 &&
           std::fread(bytes.data(), 1, size, file) == size;
}

// One MPEG-4 descriptor header in `data` at `at`: its tag, and `at` moved to its payload.
bool descriptor(const std::string& data, std::size_t& at, int& tag, std::size_t& length) {
    if (at >= data.size()) return false;
    tag = std::uint8_t(data[at++]);
    length = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= data.size()) return false;
        const auto byte = std::uint8_t(data[at++]);
        length = length << 7 | (byte & 0x7F);
        if (!(byte & 0x80)) return at + length <= data.size();
    }
    return false;
}

// Whether an "esds" body (full box header included) describes AAC; `rates` is set to where its
// decoder configuration's maximum and average bit rates are (8 bytes).
bool esdsIsAac(const std::string& esds, std::size_t& rates) {
    std::size_t at = 4;
    int tag = 0;
    std::size_t length = 0;
    if (!descriptor(esds, at, tag, length) || tag != 0x03 || length < 3) return false;
    const auto flags = std::uint8_t(esds[at + 2]);
    at += 3;
    if (flags & 0x80) at += 2;
    if ((flags & 0x40) && at < esds.size()) at += 1 + std::uint8_t(esds[at]);
    if (flags & 0x20) at += 2;
    if (!descriptor(esds, at, tag, length) || tag != 0x04 || length < 13) return false;
    const auto objectType = std::uint8_t(esds[at]);
    rates = at + 5;  // after the object type, stream type and buffer size
    return objectType == 0x40 || (objectType >= 0x66 && objectType <= 0x68);
}

// Four bytes of the output that differ from the input at the same place.
struct Patch {
    std::uint64_t offset = 0;  // in the input
    std::string bytes;
};

// Whether a track ("trak" box) holds AAC audio: an "mp4a" sample description with an AAC "esds".
// FFmpeg's muxer, when it wrote the transcoder's file, gave the encoder's target as the maximum
// bit rate; remuxing through it again gave the measured average, which `patches` restores.
bool trackIsAac(std::FILE* file, const Box& trak, std::vector<Patch>& patches) {
    std::vector<Box> boxes;
    const Box* box = &trak;
    for (const std::uint32_t type :
         {fourcc("mdia"), fourcc("minf"), fourcc("stbl"), fourcc("stsd")}) {
        if (!readBoxes(file, box->body(), box->end(), boxes) || !(box = find(boxes, type)))
            return false;
    }
    // stsd: version and flags, entry count, then the first sample entry.
    const Box stsd = *box;
    std::vector<Box> entries;
    if (!readBoxes(file, stsd.body() + 8, stsd.end(), entries) || entries.empty() ||
        entries[0].type != fourcc("mp4a"))
        return false;
    // The audio sample entry's fields take 28 bytes in version 0, 44 in 1, 64 in 2.
    const Box& entry = entries[0];
    std::string version;
    if (entry.size < entry.header + 28 || !readBytes(file, entry.body() + 8, 2, version))
        return false;
    const int sound = std::uint8_t(version[0]) << 8 | std::uint8_t(version[1]);
    const std::uint64_t fields = sound == 0 ? 28 : sound == 1 ? 44 : sound == 2 ? 64 : 0;
    if (!fields || entry.size < entry.header + fields ||
        !readBoxes(file, entry.body() + fields, entry.end(), boxes))
        return false;
    const Box* esds = find(boxes, fourcc("esds"));
    if (const Box* wave = esds ? nullptr : find(boxes, fourcc("wave")))
        if (readBoxes(file, wave->body(), wave->end(), boxes)) esds = find(boxes, fourcc("esds"));
    std::string body;
    std::size_t rates = 0;
    if (!esds || esds->size - esds->header > (1u << 16) ||
        !readBytes(file, esds->body(), esds->size - esds->header, body) || !esdsIsAac(body, rates))
        return false;
    const std::string average = body.substr(rates + 4, 4);
    if (be32(reinterpret_cast<const std::uint8_t*>(average.data())) != 0)
        patches.push_back(Patch{esds->body() + rates, average});
    return true;
}

void appendBox(std::string& out, const char (&type)[5], const std::string& body) {
    putBe32(out, static_cast<std::uint32_t>(8 + body.size()));
    out.append(type, 4);
    out += body;
}

// An iTunes item holding one "data" box of the given well-known type.
void appendItem(std::string& ilst, const char (&type)[5], std::uint32_t dataType,
                const std::string& value) {
    std::string data;
    putBe32(data, dataType);
    putBe32(data, 0);  // locale
    data += value;
    std::string item;
    appendBox(item, "data", data);
    appendBox(ilst, type, item);
}

// The new "udta": the metadata items in their order (title, album, artist, genre, track number,
// year, artwork), then the items of the old "ilst" that are not ours (the encoder's "©too"), and
// the old udta's other boxes after "meta".
bool buildUdta(std::FILE* file, const Box* oldUdta, const AacMetadata& metadata,
               std::string& udta) {
    std::string keptItems;
    std::string otherBoxes;
    if (oldUdta) {
        std::vector<Box> children;
        std::vector<Box> metaChildren;
        std::vector<Box> items;
        if (!readBoxes(file, oldUdta->body(), oldUdta->end(), children)) return false;
        for (const auto& child : children) {
            std::string bytes;
            if (child.type != fourcc("meta")) {
                if (!readBytes(file, child.offset, child.size, bytes)) return false;
                otherBoxes += bytes;
                continue;
            }
            if (!readBoxes(file, child.body() + 4, child.end(), metaChildren)) return false;
            const Box* ilst = find(metaChildren, fourcc("ilst"));
            if (!ilst || !readBoxes(file, ilst->body(), ilst->end(), items)) continue;
            for (const auto& item : items) {
                static const std::uint32_t ours[] = {
                    fourcc("\251nam"), fourcc("\251ART"), fourcc("\251alb"), fourcc("\251day"),
                    fourcc("\251gen"), fourcc("covr"),    fourcc("trkn")};
                if (std::find(std::begin(ours), std::end(ours), item.type) != std::end(ours))
                    continue;
                if (!readBytes(file, item.offset, item.size, bytes)) return false;
                keptItems += bytes;
            }
        }
    }
    std::string ilst;
    if (metadata.title) appendItem(ilst, "\251nam", 1, *metadata.title);
    if (metadata.album) appendItem(ilst, "\251alb", 1, *metadata.album);
    if (metadata.artist) appendItem(ilst, "\251ART", 1, *metadata.artist);
    if (metadata.genre) appendItem(ilst, "\251gen", 1, *metadata.genre);
    if (metadata.trackNumber) {
        // Track number and no total, in 8 bytes.
        const std::string trkn{'\0',
                               '\0',
                               char(*metadata.trackNumber >> 8),
                               char(*metadata.trackNumber & 0xFF),
                               '\0',
                               '\0',
                               '\0',
                               '\0'};
        appendItem(ilst, "trkn", 0, trkn);
    }
    if (metadata.year) appendItem(ilst, "\251day", 1, *metadata.year);
    if (metadata.artworkJpeg && !metadata.artworkJpeg->empty())
        appendItem(ilst, "covr", 13, *metadata.artworkJpeg);
    ilst += keptItems;
    // The "mdir" handler of iTunes metadata.
    std::string hdlr(8, '\0');
    hdlr += "mdirappl";
    hdlr.append(9, '\0');
    std::string meta(4, '\0');  // version and flags
    appendBox(meta, "hdlr", hdlr);
    appendBox(meta, "ilst", ilst);
    std::string body;
    appendBox(body, "meta", meta);
    body += otherBoxes;
    udta.clear();
    appendBox(udta, "udta", body);
    return udta.size() <= 0xFFFFFFFFu;
}

// The boxes of the source that the copy needs; `moov` points into `top`.
struct SourceBoxes {
    std::uint64_t size = 0;
    std::vector<Box> top;
    std::vector<Box> moovChildren;
    std::vector<Patch> patches;
    const Box* moov = nullptr;
};

// Reads the box structure of an M4A file with AAC audio whose index follows the audio; fails for
// anything else.
Status readSource(std::FILE* in, const std::filesystem::path& input, SourceBoxes& source) {
    std::error_code ec;
    source.size = std::filesystem::file_size(input, ec);
    if (ec || !readBoxes(in, 0, source.size, source.top) || !find(source.top, fourcc("ftyp"))) {
        return errorStatus("Cannot open " + input.string() +
                           ": Invalid data found when processing input");
    }
    // The moov must follow the audio, so that copying it unchanged keeps the chunk offsets right.
    source.moov = find(source.top, fourcc("moov"));
    bool aac = false;
    if (source.moov && readBoxes(in, source.moov->body(), source.moov->end(), source.moovChildren))
        for (const auto& child : source.moovChildren)
            aac = (child.type == fourcc("trak") && trackIsAac(in, child, source.patches)) || aac;
    if (!aac) {
        return errorStatus("No AAC audio in " + input.string());
    }
    for (const auto& box : source.top)
        if (box.type == fourcc("mdat") && box.offset > source.moov->offset) {
            return errorStatus("Cannot read " + input.string() + ": its index precedes its audio");
        }
    return okStatus();
}

// Copies byte ranges of the source to the output, with the patches put in place of the bytes they
// cover.
class BoxCopier {
  public:
    BoxCopier(std::FILE* in, std::FILE* out, const std::vector<Patch>& patches)
        : in_(in), out_(out), patches_(patches) {}

    bool put(const std::string& bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), out_) == bytes.size();
    }

    bool copy(std::uint64_t offset, std::uint64_t size) {
        for (const auto& patch : patches_) {
            if (patch.offset < offset || patch.offset + patch.bytes.size() > offset + size)
                continue;
            if (!copyBytes(offset, patch.offset - offset) || !put(patch.bytes)) return false;
            size -= patch.offset + patch.bytes.size() - offset;
            offset = patch.offset + patch.bytes.size();
        }
        return copyBytes(offset, size);
    }

    // Whether a failure was the source's rather than the output's.
    bool readFailed() const { return readFailed_; }

  private:
    bool copyBytes(std::uint64_t offset, std::uint64_t size) {
        if (fseeko(in_, off_t(offset), SEEK_SET) != 0) return !(readFailed_ = true);
        while (size > 0) {
            const std::size_t chunk = std::size_t(std::min<std::uint64_t>(size, buffer_.size()));
            if (std::fread(buffer_.data(), 1, chunk, in_) != chunk) return !(readFailed_ = true);
            if (std::fwrite(buffer_.data(), 1, chunk, out_) != chunk) return false;
            size -= chunk;
        }
        return true;
    }

    std::FILE* in_;
    std::FILE* out_;
    const std::vector<Patch>& patches_;
    std::vector<char> buffer_ = std::vector<char>(std::size_t(1) << 18);
    bool readFailed_ = false;
};

}  // namespace

Status AacExport::exportWithMetadata(const std::filesystem::path& input,
                                     const std::filesystem::path& output,
                                     const AacMetadata& metadata) {
    UniqueFile in(std::fopen(input.c_str(), "rb"));
    if (!in) {
        return errorStatus("Cannot open " + input.string() + ": " + std::strerror(errno));
    }
    SourceBoxes source;
    if (Status read = readSource(in.get(), input, source); !read.ok()) return read;
    if (metadata.artworkJpeg && !metadata.artworkJpeg->empty() &&
        !ImageCodec::decode(*metadata.artworkJpeg)) {
        return errorStatus("Unreadable artwork");
    }

    const Box* oldUdta = find(source.moovChildren, fourcc("udta"));
    std::string udta;
    if (!buildUdta(in.get(), oldUdta, metadata, udta)) {
        return errorStatus("Cannot read " + input.string() +
                           ": Invalid data found when processing input");
    }
    std::uint64_t moovSize = 8 + udta.size();
    for (const auto& child : source.moovChildren)
        if (&child != oldUdta) moovSize += child.size;
    if (moovSize > 0xFFFFFFFFu) {
        return errorStatus("Cannot write " + output.string() + ": the index is too large");
    }
    std::string moovHeader;
    putBe32(moovHeader, static_cast<std::uint32_t>(moovSize));
    moovHeader += "moov";

    UniqueFile out(std::fopen(output.c_str(), "wb"));
    if (!out) {
        return errorStatus("Cannot write " + output.string() + ": " + std::strerror(errno));
    }
    // Everything before moov (ftyp, the audio), moov with the new udta in place of the old one
    // (or last), and whatever follows moov.
    BoxCopier copier(in.get(), out.get(), source.patches);
    const Box& moov = *source.moov;
    bool ok = copier.copy(0, moov.offset) && copier.put(moovHeader);
    for (const auto& child : source.moovChildren)
        ok = ok && (&child == oldUdta ? copier.put(udta) : copier.copy(child.offset, child.size));
    if (!oldUdta) ok = ok && copier.put(udta);
    ok = ok && copier.copy(moov.end(), source.size - moov.end());
    const int writeErrno = errno;
    if (std::fclose(out.release()) != 0 && ok) ok = false;
    if (!ok) {
        return errorStatus(copier.readFailed()
                               ? "Cannot read " + input.string() + ": " + std::strerror(EIO)
                               : "Cannot write " + output.string() + ": " +
                                     std::strerror(writeErrno));
    }
    return okStatus();
}

}  // namespace kelvara
