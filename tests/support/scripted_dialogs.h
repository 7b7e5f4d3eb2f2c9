// A Dialogs double: records every box and file dialog asked for, and answers from a script.
// Unscripted boxes answer the first of Ok / Cancel / No present in their buttons, the answer a
// user gives by closing the box; unscripted file dialogs answer "cancelled".
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace vellumark::testing {

struct RecordedMessage {
  MessageKind kind;
  std::string text;
  MessageButtons buttons;
};

class ScriptedDialogs final : public Dialogs {
 public:
  MessageButton Message(MessageKind kind, const std::string& text,
                        MessageButtons buttons) override {
    messages.push_back({kind, text, buttons});
    if (on_message) on_message(messages.back());
    if (!answers.empty()) {
      MessageButton answer = answers.front();
      answers.pop_front();
      return answer;
    }
    for (MessageButton b : {kButtonOk, kButtonCancel, kButtonNo, kButtonYes}) {
      if (buttons & b) return b;
    }
    return kButtonOk;
  }

  std::optional<std::string> OpenFileName(const std::string& filter) override {
    filters.push_back(filter);
    return NextFile();
  }
  std::optional<std::string> SaveFileName(const std::string& filter) override {
    filters.push_back(filter);
    return NextFile();
  }

  // Texts of all boxes so far, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    return out;
  }

  std::deque<MessageButton> answers;                    // answers to the next boxes
  std::deque<std::optional<std::string>> file_answers;  // answers to the next file dialogs
  std::vector<RecordedMessage> messages;
  std::vector<std::string> filters;
  std::function<void(const RecordedMessage&)> on_message;  // runs inside each box

 private:
  std::optional<std::string> NextFile() {
    if (file_answers.empty()) return std::nullopt;
    auto f = file_answers.front();
    file_answers.pop_front();
    return f;
  }
};

}  // namespace vellumark::testing
