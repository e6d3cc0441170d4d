#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "library/LibraryTypes.h"
#include "listing/OutputStream.h"
#include "listing/TextEncoder.h"

namespace kelvara {

// A streaming writer of delimited text: fields one at a time, quoted only where they must be.
class CHCSVWriter {
  public:
    // Nothing (an empty field), text, a whole number, a number or an instant.
    using Value = std::variant<std::monostate, std::string_view, std::int64_t, double, Date>;

    // Comma-separated UTF-8 into a file that is created, or truncated when it exists.
    static std::unique_ptr<CHCSVWriter> initForWritingToCSVFile(const std::filesystem::path& path);

    // `delimiter` is one UTF-16 code unit. Opens the stream if needed and writes the encoding's
    // byte-order mark, if it has one, once. Throws std::invalid_argument for an unknown encoding
    // or a delimiter that is a surrogate.
    CHCSVWriter(std::unique_ptr<OutputStream> stream, const std::string& encoding,
                char16_t delimiter);
    ~CHCSVWriter();
    CHCSVWriter(const CHCSVWriter&) = delete;
    CHCSVWriter& operator=(const CHCSVWriter&) = delete;

    // Text that is not well-formed UTF-8 is written with U+FFFD in place of each stray byte.
    void writeField(const Value& value);
    void finishLine();
    void writeLineOfFields(const std::vector<Value>& values);
    void writeComment(std::string_view text);
    void closeStream();

    const std::string& byteOrderMark() const { return byteOrderMark_; }
    std::size_t fieldCount() const { return fieldCount_; }
    // The stream's first failure, if any; empty when every byte reached it.
    std::string streamError() const;

    // The description a value gets in a field: decimal numbers, "YYYY-MM-DD HH:MM:SS +0000".
    static std::string describe(const Value& value);
    static std::string describeDate(Date date);

  private:
    bool needsQuotes(std::string_view text) const;
    void writeEncoded(std::string_view utf8);

    std::unique_ptr<OutputStream> stream_;
    TextEncoder encoder_;
    std::string byteOrderMark_;
    std::string delimiterUtf8_;
    std::string delimiterBytes_;
    std::size_t fieldCount_ = 0;
    std::string scratch_;
    std::string repaired_;
};

}  // namespace kelvara
