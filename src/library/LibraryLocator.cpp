#include "library/LibraryLocator.h"

#include <cstdlib>

#include "platform/PreferencesStore.h"

namespace kelvara {

std::vector<std::filesystem::path> LibraryLocator::usualPlaces() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    const std::filesystem::path music = std::filesystem::path(home) / "Music";
    return {
        music / "iTunes" / "iTunes Music Library.xml",
        music / "iTunes" / "iTunes Library.xml",
        music / "Music" / "Library.xml",
        music / "Library.xml",
    };
}

Result<std::filesystem::path> LibraryLocator::find(
    const std::optional<std::filesystem::path>& commandLine) {
    if (commandLine && !commandLine->empty()) return *commandLine;
    if (auto preferred = PreferencesStore::standardUserDefaults().stringForKey("LibraryPath")) {
        if (!preferred->empty()) return std::filesystem::path(*preferred);
    }
    if (const char* environment = std::getenv("KELVARA_LIBRARY"); environment && *environment) {
        return std::filesystem::path(environment);
    }
    const auto places = usualPlaces();
    for (const auto& place : places) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(place, ec)) return place;
    }
    std::string error =
        "No library file found. Tried: --library (not given), the preference \"LibraryPath\" "
        "(not set), $KELVARA_LIBRARY (not set)";
    for (const auto& place : places) error += ", " + place.string();
    if (places.empty()) error += ", ~/Music ($HOME not set)";
    error += ". Name the file with --library FILE.";
    return errorStatus(std::move(error));
}

}  // namespace kelvara
