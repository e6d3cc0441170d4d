#pragma once

#include <string>
#include <string_view>

#include "platform/UniqueHandles.h"

namespace kelvara {

// Encodes UTF-8 text into a named character encoding ("UTF-8", "UTF-16", "WINDOWS-1252", ...),
// each piece on its own, so a byte-order mark appears in front of every piece just as the
// encoding itself would write it. UTF-8 passes through untouched.
class TextEncoder {
  public:
    // Throws std::invalid_argument for an encoding the system does not know.
    explicit TextEncoder(std::string encoding);

    const std::string& encoding() const { return encoding_; }
    bool isUtf8() const { return utf8_; }

    // Characters the encoding lacks become "?"; invalid UTF-8 bytes too.
    std::string encode(std::string_view utf8) const;

  private:
    std::string encoding_;
    bool utf8_ = false;
    UniqueIconv converter_;
};

}  // namespace kelvara
