// vellumark-cli: the engine of Vellumark from a terminal, on the same program folder, settings
// and tables as the program. Exit status: 0 success, 1 an error message was shown, 2 bad usage.
// No Qt here: the commands that load pages load the browser library at run time.
#include <CLI/CLI.hpp>
#include <exception>

#include "cli/command.h"

int main(int argc, char** argv) {
  using namespace vellumark::cli;

  CLI::App app{"Vellumark from a terminal: manage locations and index them.", "vellumark-cli"};
  app.require_subcommand(1);
  CliSession session(argv[0]);
  app.add_option("--home", session.home,
                 "Program folder (settings and tables); overrides VELLUMARK_HOME");
  AddLocationsCommand(app, session);
  AddAddCommand(app, session);
  AddEditCommand(app, session);
  AddDeleteCommand(app, session);
  AddIndexCommand(app, session);
  AddSearchCommand(app, session);
  AddExportCommand(app, session);
  AddImportCommand(app, session);

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
