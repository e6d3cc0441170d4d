// The CSV writer's quoting: whatever the fields hold, a plain CSV reader (written here, apart from
// the writer) must get the same fields back from what was written.
#include <fuzzer/FuzzedDataProvider.h>
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "listing/CHCSVWriter.h"
#include "listing/MemoryOutputStream.h"

using namespace kelvara;

namespace {

using Record = std::vector<std::string>;

// Encodings that hold every character, so every field can come back.
constexpr const char* kEncodings[] = {"UTF-8", "UTF-16", "UTF-16BE", "UTF-32LE"};

std::string utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Every byte that starts no well-formed character stands for one U+FFFD.
std::string repaired(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t length = fuzz::utf8CharacterLength(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

std::string toUtf8(const std::string& bytes, const char* encoding) {
    if (std::string_view(encoding) == "UTF-8") return bytes;
    iconv_t converter = iconv_open("UTF-8", encoding);
    if (converter == reinterpret_cast<iconv_t>(-1)) fuzz::fail("iconv cannot read the encoding");
    std::string in = bytes;
    std::string out(bytes.size() * 2 + 16, '\0');
    char* inPointer = in.data();
    std::size_t inLeft = in.size();
    char* outPointer = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0)
        fuzz::fail("output is not in its encoding");
    out.resize(out.size() - outLeft);
    return out;
}

// RFC 4180 with any delimiter; a line that holds nothing is one empty field. Fails on anything a
// strict reader would not take: text after a closing quote, a quote inside a bare field, a bare
// field holding a line break, a last line without its LF.
std::vector<Record> readCsv(std::string_view text, std::string_view delimiter) {
    static const std::string_view breaks[] = {"\r",       "\v",           "\f",
                                              "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};
    std::vector<Record> records;
    std::size_t i = 0;
    while (i < text.size()) {
        Record record;
        for (;;) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= text.size()) fuzz::fail("a quoted field that never closes");
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += text[i++];
                }
            } else {
                while (i < text.size() && text[i] != '\n' &&
                       text.substr(i, delimiter.size()) != delimiter) {
                    if (text[i] == '"') fuzz::fail("a quote in a field without quotes");
                    field += text[i++];
                }
                for (const std::string_view lineBreak : breaks)
                    if (field.find(lineBreak) != std::string::npos)
                        fuzz::fail("a line break in a field without quotes");
            }
            record.push_back(std::move(field));
            if (i >= text.size()) fuzz::fail("the last line has no line end");
            if (text[i] == '\n') {
                ++i;
                break;
            }
            if (text.substr(i, delimiter.size()) != delimiter)
                fuzz::fail("text after a closing quote");
            i += delimiter.size();
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::string describeReal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const char* encoding = input.PickValueInArray(kEncodings);
    const auto delimiter = input.ConsumeIntegral<char16_t>();

    auto stream = std::make_unique<MemoryOutputStream>();
    MemoryOutputStream& sink = *stream;
    if (delimiter >= 0xD800 && delimiter <= 0xDFFF) {
        try {
            CHCSVWriter refused(std::move(stream), encoding, delimiter);
        } catch (const std::invalid_argument&) {
            return 0;
        }
        fuzz::fail("half a surrogate pair taken as the delimiter");
    }
    // A delimiter that also forces quotes, or is the quote, makes a dialect no reader can split.
    if (delimiter == '"' || (delimiter >= 0x0A && delimiter <= 0x0D) || delimiter == 0x85 ||
        delimiter == 0x2028 || delimiter == 0x2029)
        return 0;

    std::vector<Record> expected;
    std::string written;
    {
        CHCSVWriter writer(std::move(stream), encoding, delimiter);
        const int lines = input.ConsumeIntegralInRange(0, 6);
        for (int line = 0; line < lines && input.remaining_bytes() > 0; ++line) {
            const int fields = input.ConsumeIntegralInRange(1, 6);
            const bool wholeLine = input.ConsumeBool();
            std::vector<std::string> texts;
            std::vector<CHCSVWriter::Value> values;
            Record record;
            texts.reserve(fields);
            for (int f = 0; f < fields; ++f) {
                switch (input.ConsumeIntegralInRange(0, 3)) {
                    case 0:
                        texts.push_back(input.ConsumeRandomLengthString(64));
                        values.emplace_back(std::string_view(texts.back()));
                        record.push_back(repaired(texts.back()));
                        break;
                    case 1:
                        values.emplace_back(std::monostate{});
                        record.emplace_back();
                        break;
                    case 2: {
                        const auto number = input.ConsumeIntegral<std::int64_t>();
                        values.emplace_back(number);
                        record.push_back(std::to_string(number));
                        break;
                    }
                    default: {
                        const double real = input.ConsumeFloatingPoint<double>();
                        values.emplace_back(real);
                        record.push_back(describeReal(real));
                    }
                }
            }
            if (wholeLine) {
                writer.writeLineOfFields(values);
            } else {
                for (const auto& value : values) writer.writeField(value);
                if (writer.fieldCount() != values.size()) fuzz::fail("the field count is off");
                writer.finishLine();
            }
            expected.push_back(std::move(record));
        }
        // The writer owns the stream and lets it go with itself.
        writer.closeStream();
        written = sink.bytes();
    }

    const std::string text = toUtf8(written, encoding);
    const std::vector<Record> read = readCsv(text, utf8Of(delimiter));
    if (read != expected) fuzz::fail("fields read back differ from those written");
    return 0;
}
