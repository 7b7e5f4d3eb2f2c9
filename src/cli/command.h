// The commands of vellumark-cli. Each lives in a source file of its own (cmd_<name>.cpp) that
// defines Register<Name>Command: it adds its sub-command, options and help to the parser and
// says what to run when that sub-command is chosen. commands.def lists them, one line each.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

#include "cli/cli_session.h"

namespace vellumark::cli {

// What a command runs: its exit status (0 success, 1 an error message was shown). Throwing
// CommandFailed counts as 1.
using CommandRun = std::function<int(CliSession& session)>;

class CommandTable {
 public:
  // Registers `sub` (made by app.add_subcommand) with what it runs.
  void Add(CLI::App* sub, CommandRun run) { commands_.push_back({sub, std::move(run)}); }
  // The run of the sub-command that was parsed, or nullptr.
  const CommandRun* Chosen() const {
    for (const auto& c : commands_) {
      if (c.sub->parsed()) return &c.run;
    }
    return nullptr;
  }

 private:
  struct Entry {
    CLI::App* sub;
    CommandRun run;
  };
  std::vector<Entry> commands_;
};

#define VELLUMARK_CLI_COMMAND(Name) \
  void Register##Name##Command(CLI::App& app, CommandTable& table);
#include "cli/commands.def"
#undef VELLUMARK_CLI_COMMAND

// Registers every command of commands.def, in its order.
inline void RegisterCommands(CLI::App& app, CommandTable& table) {
#define VELLUMARK_CLI_COMMAND(Name) Register##Name##Command(app, table);
#include "cli/commands.def"
#undef VELLUMARK_CLI_COMMAND
}

}  // namespace vellumark::cli
