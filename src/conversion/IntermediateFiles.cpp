#include "conversion/IntermediateFiles.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace kelvara {

std::filesystem::path IntermediateFiles::documentsFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return std::filesystem::path(home) / "Documents";
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return std::filesystem::path(entry->pw_dir) / "Documents";
    return std::filesystem::path("/tmp") / "Documents";
}

Status IntermediateFiles::ensureDocumentsFolder() {
    std::error_code ec;
    const auto folder = documentsFolder();
    if (std::filesystem::is_directory(folder, ec)) return okStatus();
    std::filesystem::create_directories(folder, ec);
    if (ec) return errorStatus("Cannot create " + folder.string() + ": " + ec.message());
    return okStatus();
}

std::string IntermediateFiles::numbered(const std::string& stem, const std::string& extension,
                                        int worker) {
    if (worker <= 1) return stem + extension;
    return stem + "-" + std::to_string(worker) + extension;
}

void IntermediateFiles::removeWorkingFiles(int workers) {
    std::error_code ec;
    for (int worker = 1; worker <= workers; ++worker)
        for (const auto& file : {songData(worker), tmpArtWork(worker), tmpAACSongData(worker)})
            std::filesystem::remove(file, ec);
}

}  // namespace kelvara
