// vellumark-cli edit N URL [DESCRIPTION]: change a location's URL and description, as "Edit"
// in the index window (no "http://" is added; the index is kept).
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
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub =
      app.add_subcommand("edit", "Change the URL (and description, when given) of location N");
  sub->add_option("N", args->task_no, "Location number")->required()->check(CLI::NonNegativeNumber);
  sub->add_option("URL", args->url, "New starting URL")->required();
  sub->add_option("DESCRIPTION", args->description, "New description (else kept)");
  OnChosen(sub, session, [args, &session] {
    session.SelectLocation(args->task_no);
    TLocationCommands commands(session.DataModule(), session.Dialogs());
    ArgumentsDialog dialog(args->url, args->description);
    return commands.bbEditClick(dialog) ? 0 : 1;
  });
}

}  // namespace vellumark::cli
