#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelvara {

// Unicode normalisation: Mac libraries write names decomposed (NFD), Linux users type them
// composed (NFC). Invalid UTF-8 comes back unchanged.
std::string toNFC(std::string_view text);
std::string toNFD(std::string_view text);

// Unicode case folding (composed): equal folds mean equal ignoring case.
std::string caseFolded(std::string_view text);

// Composed, with the combining marks dropped: "É" becomes "E".
std::string withoutMarks(std::string_view text);

// The path itself when something exists there, else its NFC form, else its NFD form; absent when
// none of them exists.
std::optional<std::filesystem::path> existingPathInAnyNormalForm(const std::filesystem::path& path);

}  // namespace kelvara
