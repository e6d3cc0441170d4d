#include "platform/UnicodeText.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace kelvara {
namespace {

std::string normalize(std::string_view text, int options) {
    utf8proc_uint8_t* out = nullptr;
    const auto length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                     static_cast<utf8proc_ssize_t>(text.size()), &out,
                                     static_cast<utf8proc_option_t>(options | UTF8PROC_STABLE));
    if (length < 0) return std::string(text);
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(out, &std::free);
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length));
}

bool pathExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

std::string toNFC(std::string_view text) { return normalize(text, UTF8PROC_COMPOSE); }

std::string toNFD(std::string_view text) { return normalize(text, UTF8PROC_DECOMPOSE); }

std::string caseFolded(std::string_view text) {
    return normalize(text, UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD);
}

std::string withoutMarks(std::string_view text) {
    for (const unsigned char c : text)
        if (c >= 0x80) return normalize(text, UTF8PROC_COMPOSE | UTF8PROC_STRIPMARK);
    return std::string(text);  // nothing to strip, and by far the common case in sorting
}

std::optional<std::filesystem::path> existingPathInAnyNormalForm(
    const std::filesystem::path& path) {
    if (path.empty()) return std::nullopt;
    if (pathExists(path)) return path;
    const std::string& text = path.native();
    for (const std::string& form : {toNFC(text), toNFD(text)}) {
        if (form != text && pathExists(form)) return std::filesystem::path(form);
    }
    return std::nullopt;
}

}  // namespace kelvara
