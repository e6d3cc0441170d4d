// The command line's --map FROM=TO and --album "ARTIST - TITLE": any text the user types must be
// refused with a message or lead to a library whose paths are mapped, and to the album it names.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "SmallLibrary.h"
#include "cli/CliContext.h"
#include "library/AlbumCatalogue.h"
#include "library/LocationMapper.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

const std::filesystem::path& libraryFile() {
    static const std::filesystem::path file = [] {
        fuzz::silenceStreams();
        const auto path = fuzz::scratchDirectory() / "Library.xml";
        fuzz::writeFile(path, fuzz::smallLibraryXml());
        return path;
    }();
    return file;
}

void checkAlbum(const MediaLibrary& library, const std::string& name) {
    AlbumCatalogue catalogue(&library, PreferencesStore::standardUserDefaults());
    catalogue.loadAlbums();
    const auto found = catalogue.findByDisplayName(name);
    if (found && found->artist().value_or("") + " - " + found->title() != name &&
        found->displayName() != name)
        fuzz::fail("an album found under another name");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    cli::CliContext context;
    context.libraryFile = libraryFile();
    context.configDir = fuzz::scratchDirectory() / "config";
    bool wellFormed = true;
    const int count = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        std::string mapping = input.ConsumeRandomLengthString(256);
        const auto equals = mapping.find('=');
        if (equals == std::string::npos || equals == 0) wellFormed = false;
        context.mappings.push_back(std::move(mapping));
    }
    const std::string url = input.ConsumeRandomLengthString(512);
    const std::string album = input.ConsumeRemainingBytesAsString();

    const MediaLibrary* library = context.openLibrary();
    if (!library) {
        if (wellFormed) fuzz::fail("a library refused under well-formed mappings");
        return 0;
    }
    if (!wellFormed) fuzz::fail("a mapping without FROM=TO accepted");
    for (const MediaItem* item : library->allMediaItems())
        if (item->persistentID() == 0x14 && !item->mappedPath().empty())
            fuzz::fail("a stream mapped to a file");

    LibraryOpenOptions options;
    for (const std::string& mapping : context.mappings) {
        const auto equals = mapping.find('=');
        options.mappings.push_back({mapping.substr(0, equals), mapping.substr(equals + 1)});
    }
    const LocationMapper mapper(library->musicFolder(), options);
    const auto decoded = LocationMapper::pathFromFileURL(url);
    const std::filesystem::path mapped = mapper.map(url);
    if (!decoded && !mapped.empty()) fuzz::fail("a URL that is no file URL mapped to a path");

    checkAlbum(*library, album);
    return 0;
}
