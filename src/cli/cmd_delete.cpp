// vellumark-cli delete N: delete a location and its index, as "Delete" in the index window
// (its question is answered Yes).
#include <memory>

#include "cli/command.h"
#include "indexer/location_commands.h"

namespace vellumark::cli {

void AddDeleteCommand(CLI::App& app, CliSession& session) {
  auto task_no = std::make_shared<int>(0);
  CLI::App* sub = app.add_subcommand("delete", "Delete location N with its index");
  sub->add_option("N", *task_no, "Location number")->required()->check(CLI::NonNegativeNumber);
  OnChosen(sub, session, [task_no, &session] {
    session.SelectLocation(*task_no);
    session.Dialogs().answer = [](const std::string& text,
                                  MessageButtons) -> std::optional<MessageButton> {
      if (text.rfind("Do you wish to delete task '", 0) == 0) return kButtonYes;
      return std::nullopt;
    };
    TLocationCommands commands(session.DataModule(), session.Dialogs());
    return commands.bbDeleteClick() ? 0 : 1;
  });
}

}  // namespace vellumark::cli
