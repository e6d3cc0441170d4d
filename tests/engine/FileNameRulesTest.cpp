#include <gtest/gtest.h>

#include <clocale>

#include "engine/FileNameRules.h"

namespace kelvara {
namespace {

using namespace FileNameRules;

TEST(SanitizeFileName, RemovesTheElevenCharactersAndLeadingDots) {
    EXPECT_EQ(sanitizeFileNameString("AC/DC", 0), "ACDC");
    EXPECT_EQ(sanitizeFileNameString("Vol. 2", 0), "Vol 2");
    EXPECT_EQ(sanitizeFileNameString(R"(a/b\c:d.e?f%g*h|i"j<k>l)", 0), "abcdefghijkl");
    EXPECT_EQ(sanitizeFileNameString("..Hidden..", 0), "Hidden");
    EXPECT_EQ(sanitizeFileNameString(".", 0), "");
    EXPECT_EQ(sanitizeFileNameString("Ωmega ß 日本", 0), "Ωmega ß 日本");
}

TEST(SanitizeFileName, ReducesToTheCharacterSetTheSameWayInAnyLocale) {
    // The test runs in the C locale, where plain iconv transliteration gives "?" for "é".
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(sanitizeFileNameString("Beyoncé Œuvre", 2), "Beyonce OEuvre");
    EXPECT_EQ(sanitizeFileNameString("日本", 2), "");
    EXPECT_EQ(sanitizeFileNameString("Beyoncé Œuvre 日本", 1), "Beyoncé Œuvre ");
    // Decomposed input (as Mac libraries write it) counts as the composed letter.
    EXPECT_EQ(sanitizeFileNameString("Caf\x65\xCC\x81", 2), "Cafe");
    EXPECT_EQ(sanitizeFileNameString("Caf\x65\xCC\x81", 1), "Café");
    // Invalid UTF-8 never survives into a name.
    EXPECT_EQ(sanitizeFileNameString("a\xFF" "b", 0), "ab");
}

TEST(SanitizeFileName, NeverLetsControlCharactersOrInvalidUtf8Through) {
    EXPECT_EQ(sanitizeFileNameString("a\nb\tc\x07"
                                     "d\x7F\xC2\x85\xC2\x9F"
                                     "e\x1B[0m",
                                     0),
              "abcde[0m");
    // Five-byte and overlong forms, surrogates, stray continuation and truncated sequences.
    for (std::int32_t encoding : {0, 1, 2})
        EXPECT_EQ(sanitizeFileNameString("a\xF8\x88\x80\x80\x80"
                                         "b\xC0\xAF\xED\xA0\x80\x80\xE2\x82"
                                         "c",
                                         encoding),
                  "abc")
            << encoding;
    // Control characters never make a name by themselves.
    EXPECT_EQ(safeFileName(sanitizeFileNameString("\x01\x02", 0)), "unknown");
    EXPECT_EQ(withoutControlCharacters("\x01x\xC2\x85\xFF", " "), " x \xFF");
    EXPECT_EQ(withoutControlCharacters("Caf\xC3\xA9 \xE2\x80\x94 ok", " "),
              "Caf\xC3\xA9 \xE2\x80\x94 ok");
    EXPECT_EQ(cleanName("<\x01\xF8\x88\x80\x80\x80>\xC3\xA9"), "<>\xC3\xA9");
}

TEST(FileNameRules, TrimsSpaceSeparatorsButNotLineBreaks) {
    EXPECT_EQ(trimSpaces(" \t\xC2\xA0Title\xE3\x80\x80 "), "Title");
    EXPECT_EQ(trimSpaces("\nTitle\n"), "\nTitle\n");
    EXPECT_EQ(trimSpaces("   "), "");
    EXPECT_EQ(stripLeadingDots("...x"), "x");
    EXPECT_EQ(stripLeadingDots("."), ".");
}

TEST(FileNameRules, LongNamesAreCutAtACharacterBoundaryKeepingTheExtension) {
    std::string stem;
    for (int i = 0; i < 200; ++i) stem += "é";  // 400 bytes
    const std::string name = fitName(stem, ".mp3");
    EXPECT_LE(name.size(), kMaxNameBytes);
    EXPECT_EQ(name.substr(name.size() - 4), ".mp3");
    EXPECT_EQ(name.size(), 4 + 250u);  // 125 whole "é", never half of one
    EXPECT_EQ(fitName("short", ".m4a"), "short.m4a");
    EXPECT_EQ(fitName(std::string(300, 'x')).size(), kMaxNameBytes);
}

TEST(FileNameRules, NamesThatWouldNameAFolderItselfAreReplaced) {
    EXPECT_EQ(safeFileName("."), "unknown");
    EXPECT_EQ(safeFileName(".."), "unknown");
    EXPECT_EQ(safeFileName(""), "unknown");
    EXPECT_EQ(safeFileName(".mp3"), ".mp3");
}

TEST(FileNameRules, TrackNumberWidths) {
    EXPECT_EQ(formatTrackNumber(7, 0), "7");
    EXPECT_EQ(formatTrackNumber(7, 1), "07");
    EXPECT_EQ(formatTrackNumber(7, 2), "007");
    EXPECT_EQ(formatTrackNumber(7, 3), "0007");
    EXPECT_EQ(formatTrackNumber(7, 9), "7");
    EXPECT_EQ(formatTrackNumber(12345, 3), "12345");
}

}  // namespace
}  // namespace kelvara
