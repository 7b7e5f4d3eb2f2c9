#include "cli/cli_dialogs.h"

#include <iostream>

namespace vellumark::cli {

void CliDialogs::PrintError(const std::string& text) {
  if (before_output) before_output();
  std::cerr << "error: " << text << std::endl;
  error_shown_ = true;
}

void CliDialogs::PrintInfo(const std::string& text) {
  if (before_output) before_output();
  std::cerr << "info: " << text << std::endl;
}

MessageButton CliDialogs::Message(MessageKind kind, const std::string& text,
                                  MessageButtons buttons) {
  switch (kind) {
    case MessageKind::kError:
      PrintError(text);
      break;
    case MessageKind::kWarning:
    case MessageKind::kInformation:
      PrintInfo(text);
      break;
    case MessageKind::kConfirmation:
      if (answer) {
        if (std::optional<MessageButton> a = answer(text, buttons); a && (buttons & *a)) {
          return *a;
        }
      }
      break;
  }
  for (MessageButton b : {kButtonOk, kButtonCancel, kButtonNo}) {
    if (buttons & b) return b;
  }
  return kButtonYes;
}

std::optional<std::string> CliDialogs::OpenFileName(const std::string& filter) {
  return open_file ? open_file(filter) : std::nullopt;
}

std::optional<std::string> CliDialogs::SaveFileName(const std::string& filter) {
  return save_file ? save_file(filter) : std::nullopt;
}

}  // namespace vellumark::cli
