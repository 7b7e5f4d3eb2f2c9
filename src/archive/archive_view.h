// What the archive handlers touch of the index window: its status line, its progress bar
// (0 to 100, hidden while no archive operation runs) and the cancel flag that the window's Esc
// key sets while the progress bar is visible.
#pragma once

#include "platform/view.h"

namespace vellumark {

class TArchiveView : public StatusView {
 public:
  // ShowStatus (from StatusView) sets the line only when the text differs from the shown one,
  // then pumps events; the empty text clears it.

  virtual void SetProgress(int position) = 0;  // 0 to 100
  virtual int Progress() const = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual bool ProgressVisible() const = 0;

  virtual bool CancelFlag() const = 0;
  virtual void SetCancelFlag(bool cancel) = 0;
};

// The index window's Esc key, with no Shift, Ctrl or Alt held. While an archive operation runs
// (the progress bar is visible) it sets the cancel flag and returns true: the key is swallowed.
// Otherwise it returns false and the window closes as usual.
inline bool ArchiveEscapeKey(TArchiveView& view) {
  if (!view.ProgressVisible()) return false;
  view.SetCancelFlag(true);
  return true;
}

}  // namespace vellumark
