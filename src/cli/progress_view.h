// The index window's status line and counters on a terminal. Status texts go to stderr, one
// line each; on a terminal the texts about single pages ("Connecting '...' ...", "Opening",
// "Processing") and the counters share one live line that is rewritten in place, and the other
// texts are printed above it. Every status text pumps events, as the window's status bar does.
#pragma once

#include <cstdint>
#include <string>

#include "indexer/index_run.h"
#include "platform/event_pump.h"

namespace vellumark::cli {

class ProgressView final : public IndexView {
 public:
  ProgressView(EventPump& pump, bool live) : pump_(pump), live_(live) {}

  void ShowStatus(const std::string& text) override;
  void SetCounters(int indexed, int queued) override;
  // The panel is hidden while a run is active: only then is there a live line.
  void SetButtonPanelVisible(bool visible) override;

  // Clears the live line so that another line can be written.
  void MakeRoom();

 private:
  void Redraw();

  EventPump& pump_;
  bool live_;
  std::string shown_;
  std::string page_text_;  // the status about the current page, shown in the live line
  std::int64_t indexed_ = 0;
  std::int64_t to_index_ = 0;
  bool drawn_ = false;
  bool running_ = false;
};

}  // namespace vellumark::cli
