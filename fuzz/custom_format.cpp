// The custom file-name pattern, both as stored ("CustomFormat", a JSON list) and as typed on the
// command line ("<Track NO>. <Title>"): it must read back as it was written, and the name built
// from it must be one file name in its folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "FuzzSupport.h"
#include "engine/FileNameRules.h"
#include "engine/MetadataToken.h"

using namespace kelvara;

namespace {

// The file name the pattern gives, put together the way the export does for a song.
void checkName(const FormatList& format) {
    for (const PlaylistEncoding encoding :
         {PlaylistEncoding::Utf8, PlaylistEncoding::Latin1, PlaylistEncoding::Ascii}) {
        std::string stem;
        for (const auto& element : format.elements()) {
            if (const auto* literal = std::get_if<std::string>(&element))
                stem += *literal;
            else
                stem += FileNameRules::sanitizeFileNameString("Some / Title", encoding);
        }
        const std::string name = FileNameRules::safeFileName(FileNameRules::fitName(stem, ".mp3"));
        if (name.empty() || name == "." || name == "..") fuzz::fail("a name that is no file");
        if (name.size() > FileNameRules::kMaxNameBytes) fuzz::fail("a name too long");
        if (name.find('/') != std::string::npos) fuzz::fail("a name with a folder in it");
        if (name.find('\0') != std::string::npos) fuzz::fail("a name with a NUL in it");
    }
}

void checkStored(std::string_view text) {
    const nlohmann::json stored = nlohmann::json::parse(text, nullptr, false);
    if (stored.is_discarded()) return;
    const auto format = FormatList::fromJson(stored);
    if (!format) return;
    if (FormatList::fromJson(format->toJson()) != format) fuzz::fail("stored form changes");
    checkName(*format);
}

void checkTyped(std::string_view text) {
    const auto format = FormatList::parse(text);
    if (!format.ok()) {
        if (format.message().empty()) fuzz::fail("a refusal without a message");
        return;
    }
    const auto again = FormatList::parse(format->toText());
    if (!again.ok() || *again != *format) fuzz::fail("typed form changes");
    if (FormatList::fromJson(format->toJson()) != *format) fuzz::fail("typed form stores changed");
    checkName(*format);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkStored(text);
    checkTyped(text);
    return 0;
}
