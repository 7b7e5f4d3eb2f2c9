// The message and file dialogs of the program: QMessageBox with the icon of the box's kind
// and exactly the buttons asked for, QFileDialog for the archive files. Boxes are modal over
// the active window.
#pragma once

#include "platform/dialogs.h"

namespace vellumark {

class QtDialogs final : public Dialogs {
 public:
  MessageButton Message(MessageKind kind, const std::string& text, MessageButtons buttons) override;
  std::optional<std::string> OpenFileName(const std::string& filter) override;
  std::optional<std::string> SaveFileName(const std::string& filter) override;
};

}  // namespace vellumark
