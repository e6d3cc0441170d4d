#include "library/LibraryPreferences.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "library/LocationMapper.h"

namespace kelvara {

std::optional<std::filesystem::path> LibraryPreferences::musicFolder(
    const PreferencesStore& preferences) {
    const auto folder = preferences.stringForKey("MusicFolder");
    if (!folder || folder->empty()) return std::nullopt;
    return std::filesystem::path(*folder);
}

std::optional<LocationMapping> LibraryPreferences::parseMapping(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return std::nullopt;
    return LocationMapping{text.substr(0, equals), text.substr(equals + 1)};
}

std::vector<LocationMapping> LibraryPreferences::pathMap(const PreferencesStore& preferences) {
    std::vector<LocationMapping> mappings;
    for (const std::string& text : preferences.stringArrayForKey("PathMap"))
        if (auto mapping = parseMapping(text)) mappings.push_back(std::move(*mapping));
    return mappings;
}

LibraryOpenOptions LibraryPreferences::openOptions(const PreferencesStore& preferences) {
    LibraryOpenOptions options;
    options.musicFolder = musicFolder(preferences);
    options.mappings = pathMap(preferences);
    return options;
}

void LibraryPreferences::store(PreferencesStore& preferences,
                               const std::optional<std::filesystem::path>& folder,
                               const std::vector<LocationMapping>& mappings) {
    if (folder && !folder->empty())
        preferences.setString("MusicFolder", folder->string());
    else
        preferences.removeObjectForKey("MusicFolder");
    if (mappings.empty()) {
        preferences.removeObjectForKey("PathMap");
    } else {
        nlohmann::json list = nlohmann::json::array();
        for (const LocationMapping& mapping : mappings)
            list.push_back(mapping.from + "=" + mapping.to.string());
        preferences.setObject("PathMap", std::move(list));
    }
    preferences.flush();
}

bool LibraryPreferences::mostFilesMissing(const MediaLibrary& library) {
    std::vector<const MediaItem*> files;
    for (const MediaItem* item : library.allMediaItems())
        if (!item->isCloud() && !item->mappedPath().empty()) files.push_back(item);
    if (files.empty()) return false;
    constexpr std::size_t kSample = 200;
    const std::size_t step = std::max<std::size_t>(1, files.size() / kSample);
    std::size_t tried = 0;
    std::size_t missing = 0;
    for (std::size_t i = 0; i < files.size(); i += step, ++tried)
        if (!files[i]->location()) ++missing;
    return missing * 2 > tried;
}

bool LibraryPreferences::musicFolderIsLocal(const MediaLibrary& library) {
    if (!library.musicFolder()) return false;
    const auto path = LocationMapper::pathFromFileURL(*library.musicFolder());
    std::error_code error;
    return path && std::filesystem::is_directory(*path, error);
}

}  // namespace kelvara
