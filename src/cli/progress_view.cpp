#include "cli/progress_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>

#include "util/utf8.h"

namespace vellumark::cli {

namespace {

bool AboutOnePage(const std::string& text) {
  for (const char* start : {"Connecting '", "Opening '", "Processing '"}) {
    if (text.rfind(start, 0) == 0) return true;
  }
  return false;
}

std::size_t TerminalWidth() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

}  // namespace

void ProgressView::ShowStatus(const std::string& text) {
  if (text != shown_) {
    shown_ = text;
    if (live_ && running_ && AboutOnePage(text)) {
      page_text_ = text;
      Redraw();
    } else if (!text.empty()) {
      MakeRoom();
      // The live line comes back with the next page or counters.
      std::cerr << text << std::endl;
    }
  }
  pump_.ProcessEvents();
}

void ProgressView::SetCounters(int indexed, int queued) {
  indexed_ = indexed;
  to_index_ = queued;
  if (live_ && running_) Redraw();
}

void ProgressView::SetButtonPanelVisible(bool visible) {
  running_ = !visible;
  if (!running_) {
    MakeRoom();
    page_text_.clear();
  }
}

void ProgressView::MakeRoom() {
  if (drawn_) std::cerr << "\r\033[K" << std::flush;
  drawn_ = false;
}

void ProgressView::Redraw() {
  std::string line =
      "Indexed " + std::to_string(indexed_) + ", on line " + std::to_string(to_index_);
  if (!page_text_.empty()) line += "  " + page_text_;
  // Never wider than the terminal, or the line would wrap and no longer be rewritten.
  line = Utf8Truncate(line, TerminalWidth() - 1);
  std::cerr << "\r\033[K" << line << std::flush;
  drawn_ = true;
}

}  // namespace vellumark::cli
