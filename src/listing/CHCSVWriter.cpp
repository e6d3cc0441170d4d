#include "listing/CHCSVWriter.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "listing/FileOutputStream.h"
#include "listing/Utf8Text.h"

namespace kelvara {
namespace {

std::string utf8FromCodeUnit(char16_t unit) {
    std::string out;
    const auto c = static_cast<unsigned>(unit);
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

bool startsWith(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::unique_ptr<CHCSVWriter> CHCSVWriter::initForWritingToCSVFile(
    const std::filesystem::path& path) {
    return std::make_unique<CHCSVWriter>(std::make_unique<FileOutputStream>(path), "UTF-8", u',');
}

CHCSVWriter::CHCSVWriter(std::unique_ptr<OutputStream> stream, const std::string& encoding,
                         char16_t delimiter)
    : stream_(std::move(stream)), encoder_(encoding) {
    if (delimiter >= 0xD800 && delimiter <= 0xDFFF)
        throw std::invalid_argument("a delimiter cannot be half of a surrogate pair");
    if (!stream_->isOpen()) stream_->open();

    // An encoding that puts a mark in front of everything encodes "aa" in less than twice the
    // bytes of "a"; the difference is the mark.
    const std::string one = encoder_.encode("a");
    const std::string two = encoder_.encode("aa");
    if (two.size() != 2 * one.size() && 2 * one.size() > two.size())
        byteOrderMark_ = one.substr(0, 2 * one.size() - two.size());
    stream_->write(byteOrderMark_);

    delimiterUtf8_ = utf8FromCodeUnit(delimiter);
    delimiterBytes_ = encoder_.encode(delimiterUtf8_);
    if (startsWith(delimiterBytes_, byteOrderMark_))
        delimiterBytes_.erase(0, byteOrderMark_.size());
}

CHCSVWriter::~CHCSVWriter() { closeStream(); }

std::string CHCSVWriter::describeDate(Date date) {
    const auto day = std::chrono::floor<std::chrono::days>(date);
    const std::chrono::year_month_day ymd{day};
    const std::chrono::hh_mm_ss time{date - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld +0000",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

std::string CHCSVWriter::describe(const Value& value) {
    if (const auto* text = std::get_if<std::string_view>(&value)) return std::string(*text);
    if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
    if (const auto* real = std::get_if<double>(&value)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", *real);
        return text;
    }
    if (const auto* date = std::get_if<Date>(&value)) return describeDate(*date);
    return {};
}

bool CHCSVWriter::needsQuotes(std::string_view text) const {
    if (delimiterUtf8_.size() == 1 ? text.find(delimiterUtf8_[0]) != std::string_view::npos
                                   : text.find(delimiterUtf8_) != std::string_view::npos)
        return true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || (c >= 0x0A && c <= 0x0D)) return true;
        // U+0085 is C2 85; U+2028 and U+2029 are E2 80 A8 and E2 80 A9.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85)
            return true;
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80) {
            const auto third = static_cast<unsigned char>(text[i + 2]);
            if (third == 0xA8 || third == 0xA9) return true;
        }
    }
    return false;
}

void CHCSVWriter::writeEncoded(std::string_view utf8) {
    if (utf8.empty() || !stream_) return;
    if (encoder_.isUtf8()) {
        stream_->write(utf8);
        return;
    }
    std::string bytes = encoder_.encode(utf8);
    if (startsWith(bytes, byteOrderMark_)) bytes.erase(0, byteOrderMark_.size());
    stream_->write(bytes);
}

void CHCSVWriter::writeField(const Value& value) {
    if (!stream_) return;
    if (fieldCount_ > 0) stream_->write(delimiterBytes_);

    std::string_view text;
    std::string described;
    if (const auto* view = std::get_if<std::string_view>(&value)) {
        // Bytes that are not UTF-8 (a file name can hold any) become U+FFFD, so that the file
        // stays readable text in its encoding.
        text = wellFormedUtf8(*view, repaired_);
    } else {
        described = describe(value);
        text = described;
    }
    if (needsQuotes(text)) {
        scratch_.clear();
        scratch_ += '"';
        for (const char c : text) {
            if (c == '"') scratch_ += '"';
            scratch_ += c;
        }
        scratch_ += '"';
        writeEncoded(scratch_);
    } else {
        writeEncoded(text);
    }
    ++fieldCount_;
}

void CHCSVWriter::finishLine() {
    if (stream_) writeEncoded("\n");
    fieldCount_ = 0;
}

void CHCSVWriter::writeLineOfFields(const std::vector<Value>& values) {
    if (fieldCount_ > 0) finishLine();
    for (const Value& value : values) writeField(value);
    finishLine();
}

void CHCSVWriter::writeComment(std::string_view comment) {
    if (fieldCount_ > 0) finishLine();
    const std::string_view text = wellFormedUtf8(comment, repaired_);
    // Every newline character of the trigger set splits the comment.
    static constexpr std::string_view breaks[] = {"\n",       "\v",           "\f",          "\r",
                                                  "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};
    std::size_t start = 0;
    std::size_t i = 0;
    const auto emit = [&](std::size_t end) {
        std::string line = "#";
        line.append(text.substr(start, end - start));
        line += '\n';
        writeEncoded(line);
    };
    while (i < text.size()) {
        std::size_t matched = 0;
        for (const std::string_view lineBreak : breaks)
            if (text.substr(i, lineBreak.size()) == lineBreak) {
                matched = lineBreak.size();
                break;
            }
        if (matched == 0) {
            ++i;
            continue;
        }
        emit(i);
        i += matched;
        start = i;
    }
    emit(text.size());
}

void CHCSVWriter::closeStream() {
    if (!stream_) return;
    stream_->close();
}

std::string CHCSVWriter::streamError() const { return stream_ ? stream_->error() : std::string(); }

}  // namespace kelvara
