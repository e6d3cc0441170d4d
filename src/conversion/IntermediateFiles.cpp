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

bool IntermediateFiles::ensureDocumentsFolder(std::string& error) {
    std::error_code ec;
    const auto folder = documentsFolder();
    if (std::filesystem::is_directory(folder, ec)) return true;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "Cannot create " + folder.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace kelvara
