// vellumark-cli add URL [DESCRIPTION] [--loader browser|fast]: a new location, as "New" in the
// index window; without --loader it gets the default for new locations.
#include <iostream>
#include <memory>
#include <optional>

#include "cli/command.h"
#include "cli/location_args.h"

namespace vellumark::cli {

void AddAddCommand(CLI::App& app, CliSession& session) {
  struct Args {
    std::string url;
    std::string description;
    std::optional<std::string> loader;
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub = app.add_subcommand(
      "add", "Add a location; prints its number. A URL without \"://\" gets \"http://\"");
  sub->add_option("URL", args->url, "Starting URL of the location")->required();
  sub->add_option("DESCRIPTION", args->description, "Description of the location");
  AddLoaderOption(sub, args->loader,
                  "Page loader: the browser (runs scripts) or the fast loader (no scripts); "
                  "default: the options' default for new locations");
  OnChosen(sub, session, [args, &session] {
    TLocationCommands commands(session.DataModule(), session.Dialogs());
    // The dialog starts empty here: nothing is remembered between runs of the tool.
    ArgumentsDialog dialog(args->url, args->description, ChosenLoader(args->loader));
    const int task_no = commands.bbNewClick(dialog);
    if (task_no < 0) return 1;
    std::cout << task_no << '\n';
    return 0;
  });
}

}  // namespace vellumark::cli
