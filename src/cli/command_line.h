// The command line of vellumark-cli, parsed and run with a given set of commands. The tool
// itself (main.cpp) runs the commands that only read a location's tables (kReadingCommands)
// without loading anything else; every other command line goes to the commands library
// (commands_library.h), which runs it with every command (kAllCommands).
#pragma once

#include <CLI/CLI.hpp>
#include <span>
#include <string_view>

#include "cli/cli_session.h"

namespace vellumark::cli {

// One command: adds its sub-command to the parser (command.h).
struct CommandEntry {
  std::string_view name;
  void (*add)(CLI::App& app, CliSession& session);
};

// Parses argv with `commands` (added in this order, the order --help lists them) and runs the
// chosen one. Returns the exit status: 0 success, 1 an error message was shown, 2 bad usage.
int RunCommandLine(int argc, char** argv, std::span<const CommandEntry> commands);

// The sub-command argv names: the first argument after the tool's own --home option (and its
// value). "" when there is none, or when another option comes first (--help, bad usage).
std::string_view ChosenCommand(int argc, char** argv);

}  // namespace vellumark::cli
