#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/Commands.h"

int main(int argc, char** argv) {
    using namespace kelvara::cli;
    CLI::App app{
        "Kelvara: export playlists and albums of an iTunes or Music library into folders."};
    app.name("kelvara-cli");
    app.require_subcommand(1);
    app.fallthrough();
    app.set_help_all_flag("--help-all", "Show help for every command");
    app.set_version_flag("--version", "kelvara-cli " KELVARA_VERSION, "Print the version and exit");

    CliContext context;
    app.add_option("--library", context.libraryFile,
                   "The library's XML file (else the \"LibraryPath\" setting, $KELVARA_LIBRARY, "
                   "then ~/Music/iTunes/iTunes Music Library.xml and the other usual places)");
    app.add_option("--music-folder", context.musicFolder,
                   "Local folder that stands in for the library's music folder (else the "
                   "\"MusicFolder\" setting the desktop application stores)");
    app.add_option("--map", context.mappings,
                   "FROM=TO: read locations starting with FROM (a file URL or a path) under TO; "
                   "repeatable (else the \"PathMap\" setting)")
        ->type_name("FROM=TO");
    app.add_option("--config-dir", context.configDir,
                   "Folder of preferences.json (else $KELVARA_CONFIG_DIR, "
                   "$XDG_CONFIG_HOME/kelvara, ~/.config/kelvara)");

    int exitCode = kExitOk;
    addBrowseCommands(app, context, exitCode);
    addListCommand(app, context, exitCode);
    addExportCommand(app, context, exitCode);
    addOptionsCommand(app, context, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::cerr << "kelvara-cli: " << error.what() << "\n"
                  << "Run 'kelvara-cli --help' for the commands and their options.\n";
        return kExitFailure;
    }
    return exitCode;
}
