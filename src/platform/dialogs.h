// The standard message dialog and the open / save file dialogs. A box has a kind and exactly
// the buttons the caller names; the answer is the button pressed. Only Yes is ever acted on in
// a confirmation, so a dialog closed without a choice answers Cancel (or No when there is no
// Cancel button).
#pragma once

#include <optional>
#include <string>

namespace vellumark {

enum class MessageKind { kError, kWarning, kInformation, kConfirmation };

// Buttons as flags, so a box can carry any set of them.
enum MessageButton : unsigned {
  kButtonOk = 1u << 0,
  kButtonCancel = 1u << 1,
  kButtonYes = 1u << 2,
  kButtonNo = 1u << 3,
};
using MessageButtons = unsigned;
constexpr MessageButtons kYesNo = kButtonYes | kButtonNo;
constexpr MessageButtons kYesNoCancel = kButtonYes | kButtonNo | kButtonCancel;
constexpr MessageButtons kOkCancel = kButtonOk | kButtonCancel;

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows the box and returns the button pressed (one of `buttons`).
  virtual MessageButton Message(MessageKind kind, const std::string& text,
                                MessageButtons buttons) = 0;

  // The file dialogs: the chosen file name, or nothing when the user cancels.
  // `filter` is a Qt-style filter text ("Vellumark Index File (*.kvx *.KVX);;All Files (*)").
  virtual std::optional<std::string> OpenFileName(const std::string& filter) = 0;
  virtual std::optional<std::string> SaveFileName(const std::string& filter) = 0;

  // The common boxes.
  void Error(const std::string& text) { Message(MessageKind::kError, text, kButtonOk); }
  void Information(const std::string& text) { Message(MessageKind::kInformation, text, kButtonOk); }
  MessageButton Confirm(const std::string& text, MessageButtons buttons = kYesNo) {
    return Message(MessageKind::kConfirmation, text, buttons);
  }
};

// The filter of the index archive file dialogs.
inline constexpr const char* kArchiveFileFilter =
    "Vellumark Index File (*.kvx *.KVX);;All Files (*)";

}  // namespace vellumark
