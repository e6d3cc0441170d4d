#include "conversion/TagDemo.h"

#include <id3/field.h>
#include <id3/tag.h>
#include <id3/writer.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

#include "conversion/ArtworkReader.h"
#include "platform/Utf8Decoder.h"

namespace kelvara {
namespace {

// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::vector<char16_t> utf16(std::string_view text) {
    std::vector<char16_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Character character = decodeUtf8(text, i);
        i += character.length;
        char32_t code = character.code;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

// id3lib 3.8.3 writes a little-endian byte-order mark and then each code unit big-endian, so
// the units are handed over byte-swapped to come out as correct UTF-16LE.
std::vector<unicode_t> id3libUnits(std::string_view text) {
    std::vector<unicode_t> units;
    for (char16_t unit : utf16(text))
        units.push_back(static_cast<unicode_t>(((unit & 0xFF) << 8) | (unit >> 8)));
    units.push_back(0);
    return units;
}

// id3lib renders an empty UTF-16 text as no bytes at all, which readers reject. A frame parsed
// from a byte-order mark and a terminator keeps that form when rendered again, so empty values
// come from such a frame.
using Frames = std::vector<std::unique_ptr<ID3_Frame>>;

Status addEmptyTextFrame(Frames& frames, ID3_FrameID id, const char* name) {
    const std::array<uchar, 25> bytes = {'I',
                                         'D',
                                         '3',
                                         3,
                                         0,
                                         0,
                                         0,
                                         0,
                                         0,
                                         15,  // tag header
                                         uchar(name[0]),
                                         uchar(name[1]),
                                         uchar(name[2]),
                                         uchar(name[3]),
                                         0,
                                         0,
                                         0,
                                         5,
                                         0,
                                         0,  // frame header: 5 bytes of data
                                         ID3TE_UTF16,
                                         0xFF,
                                         0xFE,
                                         0,
                                         0};
    ID3_Tag parsed;
    parsed.Parse(bytes.data(), bytes.size());
    std::unique_ptr<ID3_Frame> empty(parsed.RemoveFrame(parsed.Find(id)));
    if (!empty) return errorStatus(std::string("Cannot make an empty ") + name + " frame");
    frames.push_back(std::move(empty));
    return okStatus();
}

Status addTextFrame(Frames& frames, ID3_FrameID id, const char* name, const std::string& value) {
    if (value.empty()) return addEmptyTextFrame(frames, id, name);
    auto frame = std::make_unique<ID3_Frame>(id);
    const auto units = id3libUnits(value);
    frame->GetField(ID3FN_TEXTENC)->Set(ID3TE_UTF16);
    // The field's own encoding must be UTF-16 too, or id3lib writes the frame without its text.
    frame->GetField(ID3FN_TEXT)->SetEncoding(ID3TE_UTF16);
    frame->GetField(ID3FN_TEXT)->Set(units.data());
    frames.push_back(std::move(frame));
    return okStatus();
}

// Collects what id3lib renders.
class StringWriter : public ID3_Writer {
  public:
    explicit StringWriter(std::string& out) : out_(out) {}
    using ID3_Writer::writeChars;
    void close() override {}
    void flush() override {}
    pos_type getCur() override { return static_cast<pos_type>(out_.size()); }
    size_type writeChars(const char_type buf[], size_type len) override {
        out_.append(reinterpret_cast<const char*>(buf), len);
        return len;
    }

  private:
    std::string& out_;
};

// The size of the ID3v2 tag at `at` (header, body and footer), 0 when there is none.
off_t id3v2SizeAt(int fd, off_t at, off_t fileSize) {
    unsigned char header[10];
    if (fileSize - at < off_t(sizeof header) ||
        ::pread(fd, header, sizeof header, at) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header, "ID3", 3) != 0 ||
        ((header[6] | header[7] | header[8] | header[9]) & 0x80))
        return 0;
    const off_t size = (off_t(header[6]) << 21) | (off_t(header[7]) << 14) |
                       (off_t(header[8]) << 7) | off_t(header[9]);
    const off_t total = 10 + size + ((header[5] & 0x10) ? 10 : 0);
    return total <= fileSize - at ? total : 0;
}

// Reads or writes exactly `size` bytes at `offset`; false (errno set) on failure or a short read.
bool preadAll(int fd, char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t done = ::pread(fd, data, size, offset);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;
            return false;
        }
        data += done;
        size -= std::size_t(done);
        offset += done;
    }
    return true;
}

bool pwriteAll(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t done = ::pwrite(fd, data, size, offset);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = ENOSPC;
            return false;
        }
        data += done;
        size -= std::size_t(done);
        offset += done;
    }
    return true;
}

}  // namespace

Result<std::string> TagDemo::render(const TagDictionary& tags) {
    // id3lib allocates freely and may throw what the allocator throws.
    try {
        return renderFrames(tags);
    } catch (const std::exception& e) {
        return errorStatus(e.what());
    }
}

Result<std::string> TagDemo::renderFrames(const TagDictionary& tags) {
    // The frames are rendered one by one and the tag header is ours: id3lib 3.8.3's
    // ID3_Tag::Render works on a copy of the tag, and its frame copy corrupts the heap.
    Frames frames;
    Status made;
    made.update(addTextFrame(frames, ID3FID_TITLE, "TIT2", tags.title));
    made.update(addTextFrame(frames, ID3FID_ALBUM, "TALB", tags.album));
    made.update(addTextFrame(frames, ID3FID_LEADARTIST, "TPE1", tags.artist));
    made.update(addTextFrame(frames, ID3FID_CONTENTTYPE, "TCON", tags.genre));
    made.update(addTextFrame(frames, ID3FID_TRACKNUM, "TRCK", tags.truckNum));
    made.update(addTextFrame(frames, ID3FID_YEAR, "TYER", tags.year));
    if (tags.bpm > 0)
        made.update(addTextFrame(frames, ID3FID_BPM, "TBPM", std::to_string(tags.bpm)));
    if (!made.ok()) return made;
    if (tags.artwork) {
        // Read here rather than by id3lib's FromFile, which gives no word when it fails.
        const auto jpeg = ArtworkReader::readImageFile(*tags.artwork);
        if (!jpeg) return errorStatus("Cannot read artwork " + tags.artwork->string());
        auto picture = std::make_unique<ID3_Frame>(ID3FID_PICTURE);
        picture->GetField(ID3FN_MIMETYPE)->Set("image/jpeg");
        picture->GetField(ID3FN_PICTURETYPE)->Set(11);
        picture->GetField(ID3FN_DESCRIPTION)->Set("Artwork");
        picture->GetField(ID3FN_DATA)
            ->Set(reinterpret_cast<const uchar*>(jpeg->data()), jpeg->size());
        frames.push_back(std::move(picture));
    }
    std::string body;
    StringWriter writer(body);
    for (const auto& frame : frames) frame->Render(writer);
    // An ID3v2.3 header without flags (no unsynchronisation, no extended header) and, with no
    // padding, the frames' size as a 28-bit synchsafe number.
    if (body.empty() || body.size() >= (1u << 28)) return errorStatus("Cannot render the ID3 tag");
    std::string tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(char((body.size() >> shift) & 0x7F));
    return tag + body;
}

Status TagDemo::replaceTags(int fd, std::string_view tag) {
    const auto failed = [](const char* what) {
        return errorStatus(std::string(what) + " the MP3 file: " + std::strerror(errno));
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) return failed("Cannot read");
    const off_t size = info.st_size;
    off_t audio = 0;
    for (off_t next; (next = id3v2SizeAt(fd, audio, size)) > 0;) audio += next;

    // The audio moves by the difference in size, in chunks, starting at the end that is not
    // overwritten before it is read.
    const off_t shift = off_t(tag.size()) - audio;
    std::vector<char> buffer(1 << 16);
    if (shift > 0) {
        for (off_t end = size; end > audio;) {
            const std::size_t n = std::size_t(std::min<off_t>(off_t(buffer.size()), end - audio));
            end -= off_t(n);
            if (!preadAll(fd, buffer.data(), n, end)) return failed("Cannot read");
            if (!pwriteAll(fd, buffer.data(), n, end + shift)) return failed("Cannot write");
        }
    } else if (shift < 0) {
        for (off_t from = audio; from < size;) {
            const std::size_t n = std::size_t(std::min<off_t>(off_t(buffer.size()), size - from));
            if (!preadAll(fd, buffer.data(), n, from)) return failed("Cannot read");
            if (!pwriteAll(fd, buffer.data(), n, from + shift)) return failed("Cannot write");
            from += off_t(n);
        }
        if (::ftruncate(fd, size + shift) != 0) return failed("Cannot write");
    }
    if (!pwriteAll(fd, tag.data(), tag.size(), 0)) return failed("Cannot write");
    return okStatus();
}

}  // namespace kelvara
