#include "cli/command_line.h"

#include <exception>

#include "cli/command.h"

namespace vellumark::cli {

int RunCommandLine(int argc, char** argv, std::span<const CommandEntry> commands) {
  CLI::App app{"Vellumark from a terminal: manage locations and index them.", "vellumark-cli"};
  app.require_subcommand(1);
  CliSession session(argv[0]);
  app.add_option("--home", session.home,
                 "Program folder (settings and tables); overrides VELLUMARK_HOME");
  for (const CommandEntry& command : commands) command.add(app, session);

  // Parsing runs the chosen command (OnChosen).
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  } catch (const CommandFailed&) {
    return 1;
  } catch (const std::exception& e) {
    session.Dialogs().PrintError(e.what());
    return 1;
  }
  return session.ToolStatus();
}

std::string_view ChosenCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--home") {
      ++i;  // its value
    } else if (arg.starts_with("--home=")) {
      continue;
    } else if (arg.starts_with("-")) {
      return {};  // --help and the like, or bad usage: for the whole tool to answer
    } else {
      return arg;
    }
  }
  return {};
}

}  // namespace vellumark::cli
