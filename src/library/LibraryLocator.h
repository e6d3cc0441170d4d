#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace kelvara {

// Finds the library file: the command line's choice, else the preference "LibraryPath", else
// $KELVARA_LIBRARY, else the first of the places iTunes and Music keep it under ~/Music.
class LibraryLocator {
  public:
    // A path given on the command line, by the preference or by the environment is taken as it
    // is (reading it reports what is wrong with it); the usual places count only when a file is
    // there. When nothing is found, the failure lists every place tried.
    static Result<std::filesystem::path> find(
        const std::optional<std::filesystem::path>& commandLine);

    // The usual places, in the order they are tried.
    static std::vector<std::filesystem::path> usualPlaces();
};

}  // namespace kelvara
