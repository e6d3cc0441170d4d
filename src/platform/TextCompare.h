#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvara {

// Case-insensitive equality of UTF-8 texts (full Unicode case folding).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Absent equals only absent; present texts compare ignoring case.
bool optionalEqualsIgnoringCase(const std::optional<std::string>& a,
                                const std::optional<std::string>& b);

// Case-insensitive substring test.
bool containsIgnoringCase(std::string_view text, std::string_view part);

// The order a file browser uses: case-insensitive, accents only breaking ties ("Éclair" among the
// E's), runs of digits compared by value ("Track 2" before "Track 10"). Negative, zero or positive
// like strcmp.
int localizedStandardCompare(std::string_view a, std::string_view b);

// Unicode case folding: two texts are equal ignoring case exactly when their folds are equal.
std::string foldCase(std::string_view text);

// Lower case of a UTF-8 text (Unicode, locale-independent).
std::string lowercase(std::string_view text);

}  // namespace kelvara
