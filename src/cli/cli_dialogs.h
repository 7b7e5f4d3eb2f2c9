// The message boxes of the command-line tool: an error box is the line "error: " + its text on
// stderr, an information box "info: " + its text; a confirmation is answered by the command
// (the questions it expects), otherwise by Cancel or No, the answer of a box closed without a
// choice. File dialogs are answered by the command too (unset: cancelled).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dialogs.h"

namespace vellumark::cli {

class CliDialogs final : public Dialogs {
 public:
  using Answerer =
      std::function<std::optional<MessageButton>(const std::string& text, MessageButtons buttons)>;
  using FileAnswer = std::function<std::optional<std::string>(const std::string& filter)>;

  MessageButton Message(MessageKind kind, const std::string& text, MessageButtons buttons) override;
  std::optional<std::string> OpenFileName(const std::string& filter) override;
  std::optional<std::string> SaveFileName(const std::string& filter) override;

  // Writes a message line itself (clearing the progress line first).
  void PrintError(const std::string& text);
  void PrintInfo(const std::string& text);

  // True once an error box was shown: the command's exit status is then 1.
  bool ErrorShown() const { return error_shown_; }

  Answerer answer;  // the command's answers to confirmations (nullopt: not expected)
  FileAnswer open_file;
  FileAnswer save_file;
  // Runs before a line is written, so a live progress line can make room.
  std::function<void()> before_output;

 private:
  bool error_shown_ = false;
};

}  // namespace vellumark::cli
