// The index window as its commands see it, and the search bar as the index window reaches it.
//
// IndexWindowView is what the long commands use: what the indexing run touches (the indexer's
// IndexView: the status line, the two counters and the button panel) and, for export and
// import, the progress bar. TfmKivIndex implements it; tests pass a recording double.
//
// SearchBarControl is what the index window does to the search bar: its caption (the current
// location changed), its help (F1), the focus on its sample box (F10, only when the bar is
// visible), its Find controls, which an indexing run disables, and the area it takes on the
// screen, which windows opening for the first time keep clear of. TfmKivMain implements it.
#pragma once

#include "indexer/index_run.h"
#include "util/form_status.h"

namespace vellumark {

class IndexWindowView : public IndexView {
 public:
  virtual bool ProgressVisible() = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgress(int percent) = 0;  // 0 to 100
};

class SearchBarControl {
 public:
  virtual ~SearchBarControl() = default;
  virtual void UpdateCaption() = 0;  // the search bar's UpdateCaption
  virtual void ShowHelp() = 0;       // the search bar's help command
  virtual bool SearchBarVisible() = 0;
  // Brings the search bar to the front with the focus in its sample box.
  virtual void FocusSearchBar() = 0;
  // An indexing run started (true) or ended: bbFind, bbNext and edSearchText are disabled
  // while it runs, and the caption says why.
  virtual void SetIndexing(bool running) = 0;
  // The area the always-on-top bar takes on the screen, its options panel included.
  virtual ScreenRect BarArea() = 0;
};

}  // namespace vellumark
