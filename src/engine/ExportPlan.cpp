#include "engine/ExportPlan.h"

#include <nlohmann/json.hpp>

namespace kelvara {

std::vector<std::string> ExportPlan::lines() const {
    std::vector<std::string> out;
    for (const Song& song : songs) {
        std::string line = song.action;
        if (song.action == "cannot export") {
            line += ": \"" + song.title + "\": " + song.detail;
        } else {
            if (!song.conversion.empty() && song.writes())
                line += ", convert to " + song.conversion;
            line += ": " + song.destination;
        }
        out.push_back(line);
    }
    for (const std::string& playlist : playlists) out.push_back("playlist file: " + playlist);
    for (const std::string& removal : removals) out.push_back("remove: " + removal);
    if (!removalNote.empty()) out.push_back(removalNote);
    out.push_back(summary());
    return out;
}

int ExportPlan::count(const std::string& action) const {
    int n = 0;
    for (const Song& song : songs) n += song.action == action ? 1 : 0;
    return n;
}

int ExportPlan::conversions() const {
    int n = 0;
    for (const Song& song : songs) n += song.writes() && !song.conversion.empty() ? 1 : 0;
    return n;
}

std::int64_t ExportPlan::bytesToWrite() const {
    std::int64_t total = 0;
    for (const Song& song : songs)
        if (song.writes()) total += song.bytes;
    return total;
}

std::string ExportPlan::summary() const {
    return "Plan: " + std::to_string(count("new")) + " new, " + std::to_string(count("replace")) +
           " replace, " + std::to_string(count("unchanged (skip)") + count("exists (skip)")) +
           " skip, " + std::to_string(conversions()) + " convert, " +
           std::to_string(count("cannot export")) + " cannot export, " +
           std::to_string(playlists.size()) + " playlist files, " +
           std::to_string(removals.size()) + " to remove; " + std::to_string(bytesToWrite()) +
           " bytes to write";
}

std::string ExportPlan::toJson() const {
    nlohmann::json songList = nlohmann::json::array();
    for (const Song& song : songs)
        songList.push_back({{"title", song.title},
                            {"source", song.source},
                            {"destination", song.destination},
                            {"action", song.action},
                            {"conversion", song.conversion},
                            {"detail", song.detail},
                            {"bytes", song.bytes}});
    nlohmann::json plan = {{"songs", songList},
                           {"playlists", playlists},
                           {"remove", removals},
                           {"summary",
                            {{"new", count("new")},
                             {"replace", count("replace")},
                             {"skip", count("unchanged (skip)") + count("exists (skip)")},
                             {"convert", conversions()},
                             {"cannotExport", count("cannot export")},
                             {"playlists", playlists.size()},
                             {"remove", removals.size()},
                             {"bytes", bytesToWrite()}}}};
    if (!removalNote.empty()) plan["removalNote"] = removalNote;
    // Titles and paths were made valid UTF-8 where they were read; replace rather than throw
    // anyway.
    return plan.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace kelvara
