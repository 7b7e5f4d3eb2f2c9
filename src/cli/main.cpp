// vellumark-cli: the engine of Vellumark from a terminal, on the same program folder, settings
// and tables as the program. Exit status: 0 success, 1 an error message was shown, 2 bad usage.
//
// The tool starts lean: the commands that only read a location's tables (search, locations)
// run here, with SQLite and nothing more. Every other command line goes to the commands library
// (commands_library.h), which brings the indexer and the network client; the commands that load
// pages load the browser library on top of that (browser_loader.h). No Qt here.
#include <dlfcn.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "cli/command.h"
#include "cli/command_line.h"
#include "cli/commands_library.h"
#include "util/startup.h"

namespace vellumark::cli {
namespace {

constexpr std::array<CommandEntry, 2> kReadingCommands{{
    {"locations", AddLocationsCommand},
    {"search", AddSearchCommand},
}};

std::string CommandsLibraryPath() {
  if (const char* named = std::getenv("VELLUMARK_COMMANDS_LIBRARY"); named && *named) return named;
  const std::filesystem::path folder =
      std::filesystem::path(StartupEnvironment::FromProcess().executable_path).parent_path();
  return (folder / ".." / "lib" / "vellumark" / "libvellumark-cli-commands.so")
      .lexically_normal()
      .string();
}

// Loads the commands library and runs the command line there; 1 when it cannot be loaded.
int RunInCommandsLibrary(int argc, char** argv) {
  const std::string path = CommandsLibraryPath();
  // Never closed: the library's code runs until the process ends.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = dlerror();
    std::cerr << "error: cannot load " << path << (reason ? std::string(": ") + reason : "")
              << '\n';
    return 1;
  }
  auto run = reinterpret_cast<RunAllCommandsFunction>(dlsym(library, kRunAllCommandsSymbol));
  if (!run) {
    std::cerr << "error: " << path << " has no " << kRunAllCommandsSymbol << '\n';
    return 1;
  }
  return run(argc, argv);
}

}  // namespace
}  // namespace vellumark::cli

int main(int argc, char** argv) {
  using namespace vellumark::cli;
  const std::string_view command = ChosenCommand(argc, argv);
  for (const CommandEntry& reading : kReadingCommands) {
    if (reading.name == command) return RunCommandLine(argc, argv, kReadingCommands);
  }
  return RunInCommandsLibrary(argc, argv);
}
