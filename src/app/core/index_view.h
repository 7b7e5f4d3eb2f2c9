// The index window's operations that the long commands use (the indexing run, export and
// import): the status line, the two counters, the button panel and the progress bar.
// TfmKivIndex implements it; tests pass a recording double.
#pragma once

#include "platform/view.h"

namespace vellumark {

class IndexWindowView : public StatusView {
 public:
  // ShowStatus (from StatusView) sets the status line when the text differs from the one
  // shown and then lets pending events run; the empty text clears the line.
  virtual void SetCounters(int indexed, int queued) = 0;  // lbIndexed, lbToIndex
  virtual void SetButtonPanelVisible(bool visible) = 0;   // pnButtons
  virtual bool ProgressVisible() = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgress(int percent) = 0;  // 0 to 100
};

}  // namespace vellumark
