#include <gtest/gtest.h>

#include <string>

#include "platform/Utf8Decoder.h"

using kelvara::decodeUtf8;

namespace {

constexpr struct {
    const char* name;
    const char* bytes;
    char32_t code;
    std::size_t length;
    bool valid;
} kCases[] = {
    {"ascii", "A", U'A', 1, true},
    {"two bytes", "\xC3\xA9", 0xE9, 2, true},
    {"three bytes", "\xE2\x82\xAC", 0x20AC, 3, true},
    {"four bytes", "\xF0\x9F\x8E\xB5", 0x1F3B5, 4, true},
    {"highest", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
    {"U+FFFF is a character", "\xEF\xBF\xBF", 0xFFFF, 3, true},
    {"stray continuation", "\x80", 0xFFFD, 1, false},
    {"overlong C0", "\xC0\xAF", 0xFFFD, 1, false},
    {"overlong C1", "\xC1\xBF", 0xFFFD, 1, false},
    {"overlong three", "\xE0\x80\xAF", 0xFFFD, 1, false},
    {"overlong four", "\xF0\x80\x80\xAF", 0xFFFD, 1, false},
    {"surrogate", "\xED\xA0\x80", 0xFFFD, 1, false},
    {"past U+10FFFF", "\xF4\x90\x80\x80", 0xFFFD, 1, false},
    {"F5 lead", "\xF5\x80\x80\x80", 0xFFFD, 1, false},
    {"five-byte form", "\xF8\x88\x80\x80\x80", 0xFFFD, 1, false},
    {"six-byte form", "\xFC\x84\x80\x80\x80\x80", 0xFFFD, 1, false},
    {"truncated", "\xE2\x82", 0xFFFD, 1, false},
    {"bad continuation", "\xE2\x28\xA1", 0xFFFD, 1, false},
    {"FF", "\xFF", 0xFFFD, 1, false},
};

}  // namespace

// Each well-formed character decodes to its code point and length; every malformed form is
// reported invalid and takes one byte.
TEST(Utf8Decoder, DecodesStrictly) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decodeUtf8(std::string(c.bytes), 0);
        EXPECT_EQ(decoded.code, c.code);
        EXPECT_EQ(decoded.length, c.length);
        EXPECT_EQ(decoded.valid, c.valid);
    }
    // A NUL byte is a character, and decoding starts where asked.
    EXPECT_TRUE(decodeUtf8(std::string_view("\0", 1), 0).valid);
    EXPECT_EQ(decodeUtf8("a\xC3\xA9", 1).code, 0xE9u);
}
