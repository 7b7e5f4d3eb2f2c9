// The commands of vellumark-cli that index, load pages or change locations and archives, as a
// library of their own that the tool loads at run time (libvellumark-cli-commands.so, found as
// <folder of the program>/../lib/vellumark/, or where VELLUMARK_COMMANDS_LIBRARY names it).
// Those commands need the indexer and the network client with their libraries (ICU, the HTML
// parser, libcurl, OpenSSL); the commands that only read a location's tables (search,
// locations) run in the tool itself and never load them.
//
// This header is the whole contract between the two sides: the library exports one C function
// that parses and runs a whole command line with every command. The library stays loaded until
// the process ends.
#pragma once

namespace vellumark::cli {

// The exported function's name, for dlsym, and its type: RunCommandLine with every command;
// returns the exit status.
inline constexpr char kRunAllCommandsSymbol[] = "vellumark_cli_run_all_commands";
using RunAllCommandsFunction = int (*)(int argc, char** argv);

}  // namespace vellumark::cli
