#include <gtest/gtest.h>

#include <clocale>

#include "engine/FileNameRules.h"

namespace kelvara {
namespace {

using namespace FileNameRules;

TEST(SanitizeFileName, RemovesTheElevenCharactersAndLeadingDots) {
    EXPECT_EQ(sanitizeFileNameString("AC/DC", PlaylistEncoding::Utf8), "ACDC");
    EXPECT_EQ(sanitizeFileNameString("Vol. 2", PlaylistEncoding::Utf8), "Vol 2");
    EXPECT_EQ(sanitizeFileNameString(R"(a/b\c:d.e?f%g*h|i"j<k>l)", PlaylistEncoding::Utf8),
              "abcdefghijkl");
    EXPECT_EQ(sanitizeFileNameString("..Hidden..", PlaylistEncoding::Utf8), "Hidden");
    EXPECT_EQ(sanitizeFileNameString(".", PlaylistEncoding::Utf8), "");
    EXPECT_EQ(sanitizeFileNameString("Ωmega ß 日本", PlaylistEncoding::Utf8), "Ωmega ß 日本");
}

TEST(SanitizeFileName, ReducesToTheCharacterSetTheSameWayInAnyLocale) {
    // The test runs in the C locale, where plain iconv transliteration gives "?" for "é".
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(sanitizeFileNameString("Beyoncé Œuvre", PlaylistEncoding::Ascii), "Beyonce OEuvre");
    EXPECT_EQ(sanitizeFileNameString("日本", PlaylistEncoding::Ascii), "");
    EXPECT_EQ(sanitizeFileNameString("Beyoncé Œuvre 日本", PlaylistEncoding::Latin1),
              "Beyoncé Œuvre ");
    // Decomposed input (as Mac libraries write it) counts as the composed letter.
    EXPECT_EQ(sanitizeFileNameString("Caf\x65\xCC\x81", PlaylistEncoding::Ascii), "Cafe");
    EXPECT_EQ(sanitizeFileNameString("Caf\x65\xCC\x81", PlaylistEncoding::Latin1), "Café");
    // Invalid UTF-8 never survives into a name.
    EXPECT_EQ(sanitizeFileNameString("a\xFF"
                                     "b",
                                     PlaylistEncoding::Utf8),
              "ab");
}

TEST(SanitizeFileName, NeverLetsControlCharactersOrInvalidUtf8Through) {
    EXPECT_EQ(sanitizeFileNameString("a\nb\tc\x07"
                                     "d\x7F\xC2\x85\xC2\x9F"
                                     "e\x1B[0m",
                                     PlaylistEncoding::Utf8),
              "abcde[0m");
    // Five-byte and overlong forms, surrogates, stray continuation and truncated sequences.
    for (PlaylistEncoding encoding :
         {PlaylistEncoding::Utf8, PlaylistEncoding::Latin1, PlaylistEncoding::Ascii})
        EXPECT_EQ(sanitizeFileNameString("a\xF8\x88\x80\x80\x80"
                                         "b\xC0\xAF\xED\xA0\x80\x80\xE2\x82"
                                         "c",
                                         encoding),
                  "abc")
            << toStored(encoding);
    // Control characters never make a name by themselves.
    EXPECT_EQ(safeFileName(sanitizeFileNameString("\x01\x02", PlaylistEncoding::Utf8)), "unknown");
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
