// Views: each window whose controls a core command touches gets a small interface of exactly
// the operations that command needs (a status line, counters, a button panel, a progress bar,
// the search bar's enabled controls and caption). The core handler takes the interface; the
// Qt window implements it and forwards its events to the handler; tests pass a recording
// double. Views are declared next to the handler that uses them, not here: this header only
// holds what every view shares.
#pragma once

#include <string>

namespace vellumark {

// A status line that shows one text. Setting it pumps events, so long operations that report
// progress also let Stop and Esc through.
class StatusView {
 public:
  virtual ~StatusView() = default;
  virtual void ShowStatus(const std::string& text) = 0;
};

}  // namespace vellumark
