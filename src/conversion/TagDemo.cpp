#include "conversion/TagDemo.h"

#include <id3/field.h>
#include <id3/tag.h>

#include <array>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kelvara {
namespace {

// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::vector<char16_t> utf16(std::string_view text) {
    std::vector<char16_t> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t code = 0xFFFD;
        std::size_t length = 1;
        if (byte < 0x80) {
            code = byte;
        } else if (byte >= 0xC2 && byte < 0xF5) {
            length = byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            char32_t value = byte & (0x3F >> (length - 1));
            bool valid = i + length <= text.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                valid = (next & 0xC0) == 0x80;
                value = (value << 6) | (next & 0x3F);
            }
            const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
            if (valid && value >= minimum && value <= 0x10FFFF &&
                (value < 0xD800 || value > 0xDFFF))
                code = value;
            else
                length = 1;
        }
        i += length;
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
void addEmptyTextFrame(ID3_Tag& tag, ID3_FrameID id, const char* name) {
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
    if (!empty) throw std::runtime_error(std::string("Cannot make an empty ") + name + " frame");
    tag.AttachFrame(empty.release());
}

void addTextFrame(ID3_Tag& tag, ID3_FrameID id, const char* name, const std::string& value) {
    if (value.empty()) {
        addEmptyTextFrame(tag, id, name);
        return;
    }
    auto frame = std::make_unique<ID3_Frame>(id);
    const auto units = id3libUnits(value);
    frame->GetField(ID3FN_TEXTENC)->Set(ID3TE_UTF16);
    // The field's own encoding must be UTF-16 too, or id3lib writes the frame without its text.
    frame->GetField(ID3FN_TEXT)->SetEncoding(ID3TE_UTF16);
    frame->GetField(ID3FN_TEXT)->Set(units.data());
    tag.AttachFrame(frame.release());
}

}  // namespace

void TagDemo::setTagsForFile(const TagDictionary& tags, const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw std::runtime_error("Cannot tag " + file.string() + ": no such file");
    ID3_Tag tag;
    tag.Link(file.c_str(), ID3TT_ALL);
    tag.Strip(ID3TT_ALL);
    tag.Clear();

    // Each frame is handed over (AttachFrame) rather than copied (AddFrame): id3lib 3.8.3's frame
    // copy frees memory with the wrong size, which AddressSanitizer rightly reports.
    addTextFrame(tag, ID3FID_TITLE, "TIT2", tags.title);
    addTextFrame(tag, ID3FID_ALBUM, "TALB", tags.album);
    addTextFrame(tag, ID3FID_LEADARTIST, "TPE1", tags.artist);
    addTextFrame(tag, ID3FID_CONTENTTYPE, "TCON", tags.genre);
    addTextFrame(tag, ID3FID_TRACKNUM, "TRCK", tags.truckNum);
    addTextFrame(tag, ID3FID_YEAR, "TYER", tags.year);
    if (tags.bpm > 0) addTextFrame(tag, ID3FID_BPM, "TBPM", std::to_string(tags.bpm));
    if (tags.artwork) {
        if (!std::filesystem::is_regular_file(*tags.artwork, ec))
            throw std::runtime_error("Cannot read artwork " + tags.artwork->string());
        auto picture = std::make_unique<ID3_Frame>(ID3FID_PICTURE);
        picture->GetField(ID3FN_MIMETYPE)->Set("image/jpeg");
        picture->GetField(ID3FN_PICTURETYPE)->Set(11);
        picture->GetField(ID3FN_DESCRIPTION)->Set("Artwork");
        picture->GetField(ID3FN_DATA)->FromFile(tags.artwork->c_str());
        tag.AttachFrame(picture.release());
    }
    tag.SetPadding(false);
    tag.SetUnsync(false);
    const auto written = tag.Update(ID3TT_ID3V2);
    if (written == ID3TT_NONE)
        throw std::runtime_error("Cannot write the ID3 tag of " + file.string());
}

}  // namespace kelvara
