#include "cli/CliContext.h"

#include <iostream>

#include "engine/KvrUserOptions.h"
#include "library/KvrItunesMAnager.h"
#include "library/LibraryLocator.h"
#include "platform/PreferencesStore.h"

namespace kelvara::cli {

void CliContext::applyConfigDir() const {
    if (!configDir) return;
    PreferencesStore::useDirectory(*configDir);
    KvrUserOptions::resetSharedOptions();
}

const MediaLibrary* CliContext::openLibrary() {
    applyConfigDir();
    LibraryOpenOptions options;
    options.musicFolder = musicFolder;
    for (const std::string& mapping : mappings) {
        const auto equals = mapping.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::cerr << "kelvara-cli: --map expects FROM=TO, got \"" << mapping << "\"\n";
            return nullptr;
        }
        options.mappings.push_back({mapping.substr(0, equals), mapping.substr(equals + 1)});
    }
    if (musicFolder && !std::filesystem::is_directory(*musicFolder)) {
        std::cerr << "kelvara-cli: the music folder " << *musicFolder << " is not a folder\n";
        return nullptr;
    }

    const auto file = LibraryLocator::find(libraryFile);
    if (!file.ok()) {
        std::cerr << "kelvara-cli: " << file.message() << "\n";
        return nullptr;
    }
    auto opened = MediaLibrary::initWithContentsOfFile(*file, options);
    if (!opened.ok()) {
        std::cerr << "kelvara-cli: " << opened.message() << "\n";
        return nullptr;
    }
    library_ = std::move(*opened);
    KvrItunesMAnager::sharedManager().setLibrary(library_);
    return library_.get();
}

}  // namespace kelvara::cli
