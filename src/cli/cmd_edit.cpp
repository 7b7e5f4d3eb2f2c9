// vellumark-cli edit N URL [DESCRIPTION] [--loader browser|fast]: change a location's URL,
// description and page loader, as "Edit" in the index window (no "http://" is added; the index
// is kept; what is not given stays as it was).
#include <memory>
#include <optional>

#include "cli/command.h"
#include "cli/location_args.h"

namespace vellumark::cli {

void AddEditCommand(CLI::App& app, CliSession& session) {
  struct Args {
    int task_no = 0;
    std::string url;
    std::optional<std::string> description;
    std::optional<std::string> loader;
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub = app.add_subcommand(
      "edit", "Change the URL (and description and page loader, when given) of location N");
  sub->add_option("N", args->task_no, "Location number")->required()->check(CLI::NonNegativeNumber);
  sub->add_option("URL", args->url, "New starting URL")->required();
  sub->add_option("DESCRIPTION", args->description, "New description (else kept)");
  AddLoaderOption(sub, args->loader,
                  "Page loader: the browser (runs scripts) or the fast loader (no scripts); "
                  "else kept");
  OnChosen(sub, session, [args, &session] {
    session.SelectLocation(args->task_no);
    TLocationCommands commands(session.DataModule(), session.Dialogs());
    ArgumentsDialog dialog(args->url, args->description, ChosenLoader(args->loader));
    return commands.bbEditClick(dialog) ? 0 : 1;
  });
}

}  // namespace vellumark::cli
