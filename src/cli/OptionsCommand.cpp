#include <cstdio>
#include <iostream>

#include "cli/Commands.h"
#include "engine/KvrUserOptions.h"
#include "platform/PreferencesStore.h"
#include "platform/TextCompare.h"

namespace kelvara::cli {
namespace {

struct OptionInfo {
    const char* key;
    const char* property;
    bool boolean;
    int minimum, maximum;
    const char* meaning;
};

// The persistent export options, in the order the advanced dialog shows them.
const OptionInfo kOptions[] = {
    {"OrginizeFilesOption", "filesSaveToFolder", false, 0, 4,
     "Folder layout: 0 Playlist (Album) folder, 1 Music/Artist/Album, 2 Music files folder, 3 Root "
     "folder, "
     "4 Root/Artist/Album"},
    {"SaveM3uWithFiles", "saveM3uWithFiles", true, 0, 1,
     "Put the m3u file in the folder of the tracks where the layout allows"},
    {"SkipIfExists", "skipIfExists", false, 0, 2,
     "1: leave existing files alone; 0: replace them; 2: update when changed"},
    {"WindowsPaths", "windowsPaths", true, 0, 1, "Write m3u paths with backslashes"},
    {"DontConvertSameType", "dontConvertSameType", true, 0, 1,
     "Copy songs already in the target format instead of re-encoding"},
    {"DontConvertLossyFormats", "dontConvertLossyFormats", true, 0, 1,
     "Never re-encode MP3 or AAC songs"},
    {"LineEnding", "lineEnding", false, 0, 1, "m3u line ending: 0 LF, 1 CR LF"},
    {"Algorithm", "algorithm", false, 0, 2, "MP3 encoder: 0 best quality, 1 standard, 2 fastest"},
    {"TracksOrder", "tracksOrder", false, 0, 7,
     "Song order: 0 playlist, 1 artist, 2 title, 3 album, 4 year, 5 date added, 6 play count, 7 "
     "shuffle"},
    {"OrderAscending", "orderAscending", true, 0, 1, "Sort ascending (1) or descending (0)"},
    {"PlaylistEncoding", "playlistEncoding", false, 0, 2,
     "Names and m3u text: 0 UTF-8, 1 Latin-1 (code page 1252), 2 ASCII"},
    {"DeleteHiddenFiles", "deleteHiddenFiles", true, 0, 1,
     "Remove .DS_Store, ._ files and the like from the destination at the end"},
    {"ParallelSongs", "parallelSongs", false, 0, KvrUserOptions::kMaxParallelSongs,
     "Songs converted at once: 0 one per core, 1 one at a time"},
    {"MirrorDestination", "mirrorDestination", true, 0, 1,
     "Remove the files an earlier export wrote that the selection no longer holds"},
};

std::int64_t valueOf(const KvrUserOptions& o, const std::string& key) {
    if (key == "OrginizeFilesOption") return toStored(o.filesSaveToFolder());
    if (key == "SaveM3uWithFiles") return o.saveM3uWithFiles();
    if (key == "SkipIfExists") return static_cast<std::int64_t>(o.existingFiles());
    if (key == "MirrorDestination") return o.mirrorDestination();
    if (key == "WindowsPaths") return o.windowsPaths();
    if (key == "DontConvertSameType") return o.dontConvertSameType();
    if (key == "DontConvertLossyFormats") return o.dontConvertLossyFormats();
    // The options hold only named values: any other stored number already reads as its default.
    if (key == "LineEnding") return toStored(o.lineEnding());
    if (key == "Algorithm") return toStored(o.algorithm());
    if (key == "TracksOrder") return toStored(o.tracksOrder());
    if (key == "OrderAscending") return o.orderAscending();
    if (key == "PlaylistEncoding") return toStored(o.playlistEncoding());
    if (key == "ParallelSongs") return o.parallelSongs();
    return o.deleteHiddenFiles();
}

std::optional<std::int64_t> parseValue(const OptionInfo& option, const std::string& text) {
    if (option.boolean) {
        for (const char* yes : {"1", "true", "yes", "on"})
            if (equalsIgnoringCase(text, yes)) return 1;
        for (const char* no : {"0", "false", "no", "off"})
            if (equalsIgnoringCase(text, no)) return 0;
        return std::nullopt;
    }
    // Still takes the yes/no it took before "update when changed" was added.
    if (std::string(option.key) == "SkipIfExists") {
        if (equalsIgnoringCase(text, "update")) return 2;
        for (const char* yes : {"true", "yes", "on"})
            if (equalsIgnoringCase(text, yes)) return 1;
        for (const char* no : {"false", "no", "off"})
            if (equalsIgnoringCase(text, no)) return 0;
    }
    if (std::string(option.key) == "PlaylistEncoding") {
        if (equalsIgnoringCase(text, "utf8") || equalsIgnoringCase(text, "utf-8")) return 0;
        if (equalsIgnoringCase(text, "latin1")) return 1;
        if (equalsIgnoringCase(text, "ascii")) return 2;
    }
    std::size_t used = 0;
    try {
        const long long value = std::stoll(text, &used);
        if (used == text.size() && value >= option.minimum && value <= option.maximum) return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

int printOptions() {
    const KvrUserOptions& options = KvrUserOptions::shareOptions();
    for (const OptionInfo& option : kOptions)
        std::printf("%-24s %lld  %s\n", option.key,
                    static_cast<long long>(valueOf(options, option.key)), option.meaning);
    return kExitOk;
}

int setOption(const std::string& key, const std::string& text) {
    const OptionInfo* found = nullptr;
    for (const OptionInfo& option : kOptions)
        if (equalsIgnoringCase(key, option.key) || equalsIgnoringCase(key, option.property))
            found = &option;
    if (!found) {
        std::cerr << "kelvara-cli: unknown option \"" << key << "\"; the options are:";
        for (const OptionInfo& option : kOptions) std::cerr << " " << option.key;
        std::cerr << "\n";
        return kExitFailure;
    }
    const auto value = parseValue(*found, text);
    if (!value) {
        std::cerr << "kelvara-cli: " << found->key << " takes "
                  << (found->boolean ? std::string("1 or 0 (true or false)")
                                     : std::to_string(found->minimum) + " to " +
                                           std::to_string(found->maximum))
                  << ", not \"" << text << "\"\n";
        return kExitFailure;
    }
    PreferencesStore& store = PreferencesStore::standardUserDefaults();
    store.setInteger(found->key, *value);
    if (const Status saved = store.save(); !saved.ok()) {
        std::cerr << "kelvara-cli: " << saved.message() << "\n";
        return kExitFailure;
    }
    KvrUserOptions::resetSharedOptions();
    std::printf("%s = %lld\n", found->key, static_cast<long long>(*value));
    return kExitOk;
}

}  // namespace

void addOptionsCommand(CLI::App& app, CliContext& context, int& exitCode) {
    CLI::App* options =
        app.add_subcommand("options", "Show the persistent export options, or set one");
    CLI::App* set = options->add_subcommand("set", "Store one option: KEY VALUE");
    auto key = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    set->add_option("KEY", *key, "Option key (as 'kelvara-cli options' lists it)")->required();
    set->add_option("VALUE", *value, "New value")->required();
    set->callback([&context, &exitCode, key, value] {
        context.applyConfigDir();
        exitCode = setOption(*key, *value);
    });
    options->callback([&context, &exitCode, set] {
        if (set->parsed()) return;
        context.applyConfigDir();
        exitCode = printOptions();
    });
}

}  // namespace kelvara::cli
