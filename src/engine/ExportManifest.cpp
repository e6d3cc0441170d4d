#include "engine/ExportManifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "library/ValidUtf8.h"
#include "platform/AtomicFile.h"
#include "platform/JsonNesting.h"
#include "platform/UniqueHandles.h"
#include "platform/Utf8Decoder.h"

namespace kelvara {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Far beyond the record of any real library; a larger file is not ours.
constexpr std::int64_t kLargestRecord = std::int64_t{256} << 20;
// Our record nests four levels deep; the parser recurses, so a hostile file must not go deep.
constexpr int kDeepestNesting = 16;

const char* kindName(ManifestEntry::Kind kind) {
    switch (kind) {
        case ManifestEntry::Kind::Playlist:
            return "playlist";
        case ManifestEntry::Kind::Artwork:
            return "artwork";
        case ManifestEntry::Kind::Song:
            break;
    }
    return "song";
}

std::optional<ManifestEntry::Kind> kindNamed(const std::string& name) {
    if (name == "song") return ManifestEntry::Kind::Song;
    if (name == "playlist") return ManifestEntry::Kind::Playlist;
    if (name == "artwork") return ManifestEntry::Kind::Artwork;
    return std::nullopt;
}

std::optional<std::int64_t> integerAt(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer()) return std::nullopt;
    return it->get<std::int64_t>();
}

std::optional<std::string> stringAt(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

// One entry of the "files" array; an empty result with `why` set when it is not a valid one.
std::optional<ManifestEntry> entryFrom(const json& item, std::string& why) {
    if (!item.is_object()) {
        why = "an entry is not an object";
        return std::nullopt;
    }
    ManifestEntry entry;
    const auto path = stringAt(item, "path");
    if (!path || !ExportManifest::isSafeRelativePath(*path)) {
        why = path ? "the entry \"" + *path + "\" is not a safe relative path"
                   : "an entry has no path";
        return std::nullopt;
    }
    entry.path = *path;
    const auto kind = kindNamed(stringAt(item, "kind").value_or("song"));
    const auto size = integerAt(item, "size");
    const auto mtime = integerAt(item, "mtime");
    if (!kind || !size || !mtime) {
        why = "the entry \"" + entry.path + "\" lacks its kind, size or time";
        return std::nullopt;
    }
    entry.kind = *kind;
    entry.output = {*size, *mtime};
    if (entry.kind != ManifestEntry::Kind::Song) return entry;

    const auto source = stringAt(item, "source");
    const auto sourceSize = integerAt(item, "sourceSize");
    const auto sourceMtime = integerAt(item, "sourceMtime");
    const auto shape = item.find("shape");
    if (!source || !sourceSize || !sourceMtime || shape == item.end() || !shape->is_object()) {
        why = "the entry \"" + entry.path + "\" lacks its source or options";
        return std::nullopt;
    }
    entry.source = *source;
    entry.sourceStamp = {*sourceSize, *sourceMtime};
    const auto conversion = stringAt(*shape, "conversion");
    const auto bitRate = integerAt(*shape, "bitRate");
    const auto quality = integerAt(*shape, "quality");
    const auto artwork = shape->find("artwork");
    if (!conversion || !bitRate || !quality || artwork == shape->end() || !artwork->is_boolean()) {
        why = "the options of the entry \"" + entry.path + "\" are incomplete";
        return std::nullopt;
    }
    entry.shape = {*conversion, *bitRate, *quality, artwork->get<bool>()};
    return entry;
}

}  // namespace

bool ExportManifest::isSafeRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path == fileName) return false;
    for (std::size_t at = 0; at < path.size();) {
        const Utf8Character c = decodeUtf8(path, at);
        if (!c.valid || c.code < 0x20 || c.code == 0x7F) return false;
        at += c.length;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

std::unique_ptr<ExportManifest> ExportManifest::parse(std::string_view text,
                                                      const std::string& where) {
    auto manifest = std::make_unique<ExportManifest>();
    const auto refuse = [&](Origin origin, const std::string& why) {
        manifest->entries_.clear();
        manifest->origin_ = origin;
        manifest->loadStatus_ = errorStatus("The export record " + where + " " + why + ".");
        return std::move(manifest);
    };
    if (jsonNestedDeeperThan(text, kDeepestNesting))
        return refuse(Origin::Invalid, "is not one Kelvara wrote");
    const json parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded())
        return refuse(Origin::Invalid, "is not valid JSON (truncated or damaged)");
    if (!parsed.is_object() || stringAt(parsed, "format") != formatName)
        return refuse(Origin::Invalid, "is not one Kelvara wrote");
    const auto version = integerAt(parsed, "version");
    if (!version || *version < 1) return refuse(Origin::Invalid, "has no valid version");
    if (*version > formatVersion)
        return refuse(Origin::Newer, "was written by a newer version of Kelvara (format " +
                                         std::to_string(*version) + ")");
    const auto files = parsed.find("files");
    if (files == parsed.end() || !files->is_array())
        return refuse(Origin::Invalid, "has no list of files");
    for (const json& item : *files) {
        std::string why;
        auto entry = entryFrom(item, why);
        if (!entry) return refuse(Origin::Invalid, "is not valid: " + why);
        const std::string path = entry->path;
        if (!manifest->entries_.emplace(path, std::move(*entry)).second)
            return refuse(Origin::Invalid, "lists \"" + path + "\" twice");
    }
    manifest->origin_ = Origin::Loaded;
    return manifest;
}

std::unique_ptr<ExportManifest> ExportManifest::load(const fs::path& destinationRoot) {
    const fs::path file = destinationRoot / std::string(fileName);
    const std::string where = file.string();
    auto refuse = [&](const std::string& why) {
        auto manifest = std::make_unique<ExportManifest>();
        manifest->origin_ = Origin::Invalid;
        manifest->loadStatus_ = errorStatus("The export record " + where + " " + why + ".");
        return manifest;
    };
    // Looked at before opening: a FIFO would block the open, and a link is not ours.
    struct stat info {};
    if (lstat(file.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            auto manifest = std::make_unique<ExportManifest>();
            manifest->origin_ = Origin::Absent;
            return manifest;
        }
        return refuse(std::string("cannot be read: ") + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) return refuse("is not a regular file");
    if (info.st_size > kLargestRecord) return refuse("is too large to be one Kelvara wrote");
    const UniqueFd fd(open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return refuse(std::string("cannot be read: ") + std::strerror(errno));
    std::string text;
    char block[65536];
    for (;;) {
        const ssize_t got = read(fd.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return refuse(std::string("cannot be read: ") + std::strerror(errno));
        if (got == 0) break;
        text.append(block, static_cast<std::size_t>(got));
        if (static_cast<std::int64_t>(text.size()) > kLargestRecord)
            return refuse("is too large to be one Kelvara wrote");
    }
    return parse(text, where);
}

Status ExportManifest::add(ManifestEntry entry) {
    if (!isSafeRelativePath(entry.path))
        return errorStatus("Cannot record \"" + entry.path +
                           "\" in the export record: " + "not a plain path inside the destination");
    makeValidUtf8(entry.source);
    makeValidUtf8(entry.shape.conversion);
    std::lock_guard lock(mutex_);
    std::string path = entry.path;
    entries_.insert_or_assign(std::move(path), std::move(entry));
    return okStatus();
}

void ExportManifest::carryOver(const ExportManifest& earlier,
                               const std::set<std::string>& forgotten) {
    if (&earlier == this) return;
    const auto taken = earlier.entries();
    std::lock_guard lock(mutex_);
    for (const auto& entry : taken)
        if (!forgotten.count(entry.path)) entries_.try_emplace(entry.path, entry);
}

std::optional<ManifestEntry> ExportManifest::find(std::string_view path) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(std::string(path));
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

bool ExportManifest::contains(std::string_view path) const {
    std::lock_guard lock(mutex_);
    return entries_.count(std::string(path)) != 0;
}

std::size_t ExportManifest::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::vector<ManifestEntry> ExportManifest::entries() const {
    std::vector<ManifestEntry> all;
    {
        std::lock_guard lock(mutex_);
        all.reserve(entries_.size());
        for (const auto& [path, entry] : entries_) all.push_back(entry);
    }
    std::sort(all.begin(), all.end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    return all;
}

bool ExportManifest::sameEntriesAs(const ExportManifest& other) const {
    if (&other == this) return true;
    std::scoped_lock lock(mutex_, other.mutex_);
    return entries_ == other.entries_;
}

std::string ExportManifest::toJson() const {
    json files = json::array();
    for (const auto& entry : entries()) {
        json item = {{"kind", kindName(entry.kind)}, {"path", entry.path}};
        if (entry.kind == ManifestEntry::Kind::Song) {
            item["source"] = entry.source;
            item["sourceSize"] = entry.sourceStamp.size;
            item["sourceMtime"] = entry.sourceStamp.mtimeNs;
            item["shape"] = {{"conversion", entry.shape.conversion},
                             {"bitRate", entry.shape.bitRate},
                             {"quality", entry.shape.quality},
                             {"artwork", entry.shape.artwork}};
        }
        item["size"] = entry.output.size;
        item["mtime"] = entry.output.mtimeNs;
        files.push_back(std::move(item));
    }
    // One entry a line: small, and readable when someone looks.
    std::string text = "{\"format\": \"" + std::string(formatName) +
                       "\", \"version\": " + std::to_string(formatVersion) + ", \"files\": [";
    bool first = true;
    for (const json& item : files) {
        text += first ? "\n" : ",\n";
        text += item.dump(-1, ' ', false, json::error_handler_t::replace);
        first = false;
    }
    text += "\n]}\n";
    return text;
}

Status ExportManifest::save(const fs::path& destinationRoot) const {
    return writeFileAtomically(destinationRoot / std::string(fileName), toJson());
}

}  // namespace kelvara
