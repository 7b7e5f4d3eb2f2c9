// libvellumark-cli-commands.so: every command of vellumark-cli (commands_library.h).
#include "cli/commands_library.h"

#include <array>

#include "cli/command.h"
#include "cli/command_line.h"

namespace vellumark::cli {
namespace {

// In the order --help lists them.
constexpr std::array<CommandEntry, 8> kAllCommands{{
    {"locations", AddLocationsCommand},
    {"add", AddAddCommand},
    {"edit", AddEditCommand},
    {"delete", AddDeleteCommand},
    {"index", AddIndexCommand},
    {"search", AddSearchCommand},
    {"export", AddExportCommand},
    {"import", AddImportCommand},
}};

}  // namespace
}  // namespace vellumark::cli

extern "C" __attribute__((visibility("default"))) int vellumark_cli_run_all_commands(int argc,
                                                                                     char** argv) {
  static_assert(sizeof(vellumark::cli::kRunAllCommandsSymbol) ==
                sizeof("vellumark_cli_run_all_commands"));
  return vellumark::cli::RunCommandLine(argc, argv, vellumark::cli::kAllCommands);
}
