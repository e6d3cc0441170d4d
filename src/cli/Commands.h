#pragma once

#include <CLI/CLI.hpp>

#include "cli/CliContext.h"

namespace kelvara::cli {

// Each command registers its subcommand and sets `exitCode` when it runs.
void addBrowseCommands(CLI::App& app, CliContext& context, int& exitCode);
void addListCommand(CLI::App& app, CliContext& context, int& exitCode);
void addExportCommand(CLI::App& app, CliContext& context, int& exitCode);
void addOptionsCommand(CLI::App& app, CliContext& context, int& exitCode);

}  // namespace kelvara::cli
