#include "engine/HiddenFileSweep.h"

#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace kelvara {
namespace fs = std::filesystem;

void HiddenFileSweep::run(const fs::path& root) {
    static const std::set<std::string> clutter = {".fseventsd", ".Spotlight-V100",
                                                  ".TemporaryItems", ".Trashes", ".DS_Store"};
    // A hand-made walk, as the library's recursive iterator could follow a link.
    std::vector<fs::path> folders = {root};
    while (!folders.empty()) {
        const fs::path folder = folders.back();
        folders.pop_back();
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(*it);
        std::set<std::string> names;
        for (const auto& entry : entries) names.insert(entry.path().filename().string());
        for (const auto& entry : entries) {
            const std::string name = entry.path().filename().string();
            if (!names.count(name)) continue;  // removed as a companion of an earlier entry
            const std::string companion = "._" + name;
            if (names.count(companion)) {
                fs::remove_all(folder / companion, ec);
                names.erase(companion);
            }
            if (clutter.count(name)) {
                fs::remove_all(entry.path(), ec);
                names.erase(name);
                continue;
            }
            if (entry.symlink_status(ec).type() == fs::file_type::directory)
                folders.push_back(entry.path());
        }
    }
}

}  // namespace kelvara
