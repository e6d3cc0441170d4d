#include "engine/DestinationNames.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/FileNameRules.h"
#include "platform/TextCompare.h"
#include "platform/TextEncoding.h"

namespace kelvara {
namespace {

bool present(const OptionalText& value) { return value && !value->empty(); }

}  // namespace

DestinationNames::DestinationNames(Options options) : options_(std::move(options)) {}

std::string DestinationNames::sanitize(std::string_view text) const {
    return FileNameRules::sanitizeFileNameString(text, options_.encoding);
}

DestinationNames::Item DestinationNames::playlistItem(const std::string& playlistName) const {
    return {std::nullopt, sanitize(playlistName)};
}

DestinationNames::Item DestinationNames::albumItem(const OptionalText& artist,
                                                   const std::string& title) const {
    const std::string artistName = sanitize(artist.value_or(""));
    const std::string titleName = sanitize(title);
    if (options_.artistFolder) return {artistName, titleName};
    return {std::nullopt, sanitize(artistName + " - " + titleName)};
}

DestinationNames::Item DestinationNames::claim(Item item) {
    const std::string parent = item.folderParent ? *item.folderParent + "/" : "";
    std::string base = item.name;
    if (sanitize(parent + base).empty()) base = "unknown";

    // The folder (each level as the disk gets it) and the playlist file an item name stands for.
    auto keys = [&](const std::string& name) {
        std::string folder;
        for (std::size_t start = 0; start <= name.size();) {
            const auto end = std::min(name.find('/', start), name.size());
            const std::string level = name.substr(start, end - start);
            if (!level.empty())
                folder += (folder.empty() ? "" : "/") + FileNameRules::fitName(level);
            start = end + 1;
        }
        return std::pair{"folder " + foldCase(folder),
                         "m3u " + foldCase(FileNameRules::fitName(sanitize(name), ".m3u"))};
    };
    auto isTaken = [&](const std::pair<std::string, std::string>& k) {
        return taken_.count(k.first) || taken_.count(k.second);
    };
    std::string name = parent + base;
    // Bounded: a name so long that every suffix is cut off keeps the last one tried.
    for (int n = 2; isTaken(keys(name)) && n < 10000; ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        const std::string room = FileNameRules::fitName(base, suffix + ".m3u");
        name = parent + room.substr(0, room.size() - 4);
    }
    const auto claimed = keys(name);
    taken_.insert(claimed.first);
    taken_.insert(claimed.second);
    item.name = name.substr(parent.size());
    return item;
}

std::string DestinationNames::playlistFileName(const Item& item) const {
    return FileNameRules::fitName(sanitize(item.path()), ".m3u");
}

// ---------------------------------------------------------------------------------------------
// Song folders

// A compilation is filed under "Various Artists" only in album runs; an album artist present but
// empty does not fall back to the song's artist.
std::string DestinationNames::folderArtist(const MediaItem& song) const {
    const Album* album = song.album();
    if (options_.albumRun && album && album->isCompilation()) return "Various Artists";
    if (album && album->albumArtist())
        return album->albumArtist()->empty() ? "unknown" : *album->albumArtist();
    if (song.artist() && song.artist()->name())
        return song.artist()->name()->empty() ? "unknown" : *song.artist()->name();
    return "unknown";
}

std::vector<std::string> DestinationNames::songFolder(const MediaItem& song,
                                                      const Item& item) const {
    const Album* album = song.album();
    const std::string albumTitle = album && present(album->title()) ? *album->title() : "unknown";
    auto folderName = [&](const std::string& value) {
        return FileNameRules::stripLeadingDots(FileNameRules::trimSpaces(sanitize(value)));
    };

    std::vector<std::string> levels;
    switch (options_.layout) {
        case FolderLayout::MusicArtistAlbum:
            levels = {"Music", folderName(folderArtist(song)), folderName(albumTitle)};
            break;
        case FolderLayout::MusicFolder:
            levels = {"Music"};
            break;
        case FolderLayout::Root:
            break;
        case FolderLayout::RootArtistAlbum:
            levels = {folderName(folderArtist(song)), folderName(albumTitle)};
            break;
        case FolderLayout::PlaylistFolder:
            if (item.folderParent)
                levels = {FileNameRules::stripLeadingDots(*item.folderParent), item.name};
            else
                levels = {sanitize(FileNameRules::stripLeadingDots(item.name))};
    }
    // Empty levels are left out, so a name that sanitizes to nothing cannot make "a//b" or "/b".
    std::vector<std::string> names;
    for (const std::string& level : levels)
        if (!level.empty()) names.push_back(FileNameRules::fitName(level));
    return names;
}

// ---------------------------------------------------------------------------------------------
// Song file names

std::string DestinationNames::songFileName(const MediaItem& song, const std::string& sourceName,
                                           const std::string& ext, std::int64_t number) const {
    const std::string suffix = "." + FileNameRules::cleanName(ext);
    if (options_.pattern == NamePattern::Custom && options_.customFormat.empty()) {
        // The source's own name, unsanitized; a converted song gets its new extension.
        const auto dot = sourceName.rfind('.');
        if (dot == std::string::npos)
            return FileNameRules::safeFileName(
                FileNameRules::fitName(typedText(sourceName), ext.empty() ? "" : suffix));
        return FileNameRules::safeFileName(
            FileNameRules::fitName(typedText(sourceName.substr(0, dot)), suffix));
    }
    return FileNameRules::safeFileName(
        FileNameRules::fitName(patternStem(song, sourceName, number), suffix));
}

// A song's artist, album or title as a name part: trimmed, sanitized, "unknown" when missing.
std::string DestinationNames::songField(const OptionalText& value) const {
    return sanitize(FileNameRules::trimSpaces(present(value) ? *value : "unknown"));
}

// Text that is not sanitized still has to be what the playlist file names: reduced to the
// character set like the playlist text, and never with a folder separator, a control character
// or invalid UTF-8 in it.
std::string DestinationNames::typedText(std::string text) const {
    if (options_.encoding != PlaylistEncoding::Utf8)
        text = reduceToEncoding(text, FileNameRules::encodingForOption(options_.encoding));
    std::erase(text, '/');
    return FileNameRules::cleanName(text);
}

std::string DestinationNames::patternStem(const MediaItem& song, const std::string& sourceName,
                                          std::int64_t number) const {
    static const OptionalText none;
    const std::string artist = songField(song.artist() ? song.artist()->name() : none);
    const std::string album = songField(song.album() ? song.album()->title() : none);
    const std::string title = songField(song.title());
    char numberText[32];
    std::snprintf(numberText, sizeof numberText, "%03lld", static_cast<long long>(number));
    switch (options_.pattern) {
        case NamePattern::NumberTitle:
            return std::string(numberText) + " " + title;
        case NamePattern::ArtistAlbumTitle:
            return artist + " - " + album + " - " + title;
        case NamePattern::NumberArtistAlbumTitle:
            return std::string(numberText) + " " + artist + " - " + album + " - " + title;
        case NamePattern::Title:
            return title;
        case NamePattern::Custom:
            return customStem(song, number);
        case NamePattern::SourceName:
            break;
    }
    const auto dot = sourceName.rfind('.');
    return sanitize(dot == std::string::npos ? sourceName : sourceName.substr(0, dot));
}

// Literal texts go in as typed; the assembled name is not sanitized again.
std::string DestinationNames::customStem(const MediaItem& song, std::int64_t number) const {
    static const OptionalText none;
    std::string stem;
    for (const auto& element : options_.customFormat.elements()) {
        if (const auto* literal = std::get_if<std::string>(&element)) {
            stem += typedText(*literal);
            continue;
        }
        const std::string& name = std::get<MetadataToken>(element).name;
        if (name == MetadataToken::kTitle)
            stem += songField(song.title());
        else if (name == MetadataToken::kArtist)
            stem += songField(song.artist() ? song.artist()->name() : none);
        else if (name == MetadataToken::kAlbum)
            stem += songField(song.album() ? song.album()->title() : none);
        else if (name == MetadataToken::kTrackNo)
            stem += FileNameRules::formatTrackNumber(number, options_.trackNumberFormat);
        else if (name == MetadataToken::kDiskNo) {
            const unsigned disc = song.album() ? song.album()->discNumber() : 0;
            stem += disc >= 1 ? std::to_string(disc) : "1";
        }
    }
    return stem;
}

}  // namespace kelvara
