#include "library/LocationMapper.h"

#include <algorithm>
#include <cctype>

#include "platform/UnicodeText.h"

namespace kelvara {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (a != b && std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "C:/..." or "C:" — a Windows drive path, compared without regard to case like Windows does.
bool isDrivePath(std::string_view path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path.size() == 2 || path[2] == '/');
}

std::string withoutTrailingSlashes(std::string text) {
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::optional<std::string> LocationMapper::pathFromFileURL(std::string_view url) {
    if (!startsWithNoCase(url, "file:")) return std::nullopt;
    std::string_view rest = url.substr(5);
    std::string path;
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        if (startsWithNoCase(rest, "localhost/")) {
            rest.remove_prefix(9);
        } else if (!rest.starts_with('/')) {
            // Another host: a network share, kept in the UNC form "//server/share/...".
            if (rest.empty()) return std::nullopt;
            path.push_back('/');
        }
    }
    path.reserve(path.size() + rest.size());
    if (!path.empty()) path.push_back('/');
    // The text between escapes is copied a run at a time.
    for (std::size_t i = 0; i < rest.size();) {
        const std::size_t escape = rest.find('%', i);
        if (escape == std::string_view::npos) {
            path.append(rest, i);
            break;
        }
        path.append(rest, i, escape - i);
        i = escape;
        if (i + 2 < rest.size()) {
            const int high = hexValue(rest[i + 1]);
            const int low = hexValue(rest[i + 2]);
            if (high >= 0 && low >= 0) {
                path.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        path.push_back('%');
        ++i;
    }
    // "/C:/Users/..." is a Windows drive path.
    if (path.size() >= 3 && path[0] == '/' && isDrivePath(std::string_view(path).substr(1))) {
        path.erase(0, 1);
    }
    return path;
}

LocationMapper::LocationMapper(const OptionalText& libraryMusicFolder,
                               const LibraryOpenOptions& options) {
    if (libraryMusicFolder && options.musicFolder)
        addRule(*libraryMusicFolder, *options.musicFolder);
    for (const LocationMapping& mapping : options.mappings) addRule(mapping.from, mapping.to);
}

void LocationMapper::addRule(std::string_view from, const std::filesystem::path& to) {
    std::string path;
    if (auto decoded = pathFromFileURL(from))
        path = std::move(*decoded);
    else
        path = std::string(from);
    path = withoutTrailingSlashes(std::move(path));
    if (path.empty()) return;
    Rule rule;
    rule.caseInsensitive = isDrivePath(path);
    rule.forms.push_back(path);
    if (!isAscii(path)) {
        // The library writes Mac names decomposed; the user types them composed.
        for (std::string form : {toNFC(path), toNFD(path)}) {
            if (std::find(rule.forms.begin(), rule.forms.end(), form) == rule.forms.end()) {
                rule.forms.push_back(std::move(form));
            }
        }
    }
    rule.to = withoutTrailingSlashes(to.string());
    rules_.push_back(std::move(rule));
}

std::string LocationMapper::mapPath(std::string path) const {
    for (const Rule& rule : rules_) {
        for (const std::string& from : rule.forms) {
            const bool matches = rule.caseInsensitive ? startsWithNoCase(path, from)
                                                      : std::string_view(path).starts_with(from);
            // Only whole path components: "/Music" is no prefix of "/Music2/x".
            if (!matches ||
                (path.size() > from.size() && path[from.size()] != '/' && from != "/")) {
                continue;
            }
            std::string mapped = rule.to == "/" ? std::string() : rule.to;
            if (from == "/") mapped.push_back('/');
            mapped.append(path, from.size());
            return mapped;
        }
    }
    return path;
}

std::filesystem::path LocationMapper::map(std::string_view url) const {
    auto path = pathFromFileURL(url);
    if (!path || path->empty()) return {};
    return mapPath(std::move(*path));
}

}  // namespace kelvara
