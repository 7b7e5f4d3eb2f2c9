// The commands of vellumark-cli. Each lives in a source file of its own (cmd_<name>.cpp) whose
// Add<Name>Command adds its sub-command, options and help to the parser and sets, as the
// sub-command's own CLI11 callback, what runs when it is chosen (OnChosen). main.cpp adds them
// in the order --help lists them.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "cli/cli_session.h"

namespace vellumark::cli {

// What a command runs: its exit status (0 success, 1 an error message was shown). Throwing
// CommandFailed counts as 1.
using CommandRun = std::function<int()>;

// Makes `run` the callback of `sub`, which CLI11 calls once the whole command line is parsed
// and checked: the session starts (program folder, settings) and `run` runs; its status goes
// to the session. `session` must outlive the parse.
inline void OnChosen(CLI::App* sub, CliSession& session, CommandRun run) {
  sub->callback([&session, run = std::move(run)] {
    session.Start();
    session.SetCommandStatus(run());
  });
}

void AddLocationsCommand(CLI::App& app, CliSession& session);
void AddAddCommand(CLI::App& app, CliSession& session);
void AddEditCommand(CLI::App& app, CliSession& session);
void AddDeleteCommand(CLI::App& app, CliSession& session);
void AddIndexCommand(CLI::App& app, CliSession& session);
void AddSearchCommand(CLI::App& app, CliSession& session);
void AddExportCommand(CLI::App& app, CliSession& session);
void AddImportCommand(CLI::App& app, CliSession& session);

}  // namespace vellumark::cli
