#include "cli/CliContext.h"

#include <iostream>
#include <system_error>
#include <utility>

#include "engine/KvrUserOptions.h"
#include "library/KvrItunesMAnager.h"
#include "library/LibraryLocator.h"
#include "library/LibraryPreferences.h"
#include "platform/PreferencesStore.h"

namespace kelvara::cli {

void CliContext::applyConfigDir() const {
    if (!configDir) return;
    PreferencesStore::useDirectory(*configDir);
    KvrUserOptions::resetSharedOptions();
}

const MediaLibrary* CliContext::openLibrary() {
    applyConfigDir();
    // What the desktop application was told stands in for each one the command line is not
    // given, so both find the same files. Read only now, from the --config-dir store.
    const PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    LibraryOpenOptions options;
    options.musicFolder = musicFolder ? musicFolder : LibraryPreferences::musicFolder(preferences);
    if (mappings.empty()) options.mappings = LibraryPreferences::pathMap(preferences);
    for (const std::string& text : mappings) {
        auto mapping = LibraryPreferences::parseMapping(text);
        if (!mapping) {
            std::cerr << "kelvara-cli: --map expects FROM=TO, got \"" << text << "\"\n";
            return nullptr;
        }
        options.mappings.push_back(std::move(*mapping));
    }
    // A name stat() refuses (too long, no permission) is no folder either, not an exception.
    std::error_code error;
    if (options.musicFolder && !std::filesystem::is_directory(*options.musicFolder, error)) {
        std::cerr << "kelvara-cli: the music folder " << *options.musicFolder
                  << " is not a folder\n";
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
