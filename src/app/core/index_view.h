// The index window's operations that the long commands use: what the indexing run touches
// (the indexer's IndexView: the status line, the two counters and the button panel) and, for
// export and import, the progress bar. TfmKivIndex implements it; tests pass a recording
// double.
#pragma once

#include "indexer/index_run.h"

namespace vellumark {

class IndexWindowView : public IndexView {
 public:
  virtual bool ProgressVisible() = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgress(int percent) = 0;  // 0 to 100
};

}  // namespace vellumark
