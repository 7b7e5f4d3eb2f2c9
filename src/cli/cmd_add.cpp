// vellumark-cli add URL [DESCRIPTION]: a new location, as "New" in the index window.
#include <iostream>
#include <memory>

#include "cli/command.h"
#include "cli/location_args.h"

namespace vellumark::cli {

void AddAddCommand(CLI::App& app, CliSession& session) {
  struct Args {
    std::string url;
    std::string description;
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub = app.add_subcommand(
      "add", "Add a location; prints its number. A URL without \"://\" gets \"http://\"");
  sub->add_option("URL", args->url, "Starting URL of the location")->required();
  sub->add_option("DESCRIPTION", args->description, "Description of the location");
  OnChosen(sub, session, [args, &session] {
    TLocationCommands commands(session.DataModule(), session.Dialogs());
    // The dialog starts empty here: nothing is remembered between runs of the tool.
    ArgumentsDialog dialog(args->url, args->description);
    const int task_no = commands.bbNewClick(dialog);
    if (task_no < 0) return 1;
    std::cout << task_no << '\n';
    return 0;
  });
}

}  // namespace vellumark::cli
