// The index window's key rules, without widgets. TfmKivIndex forwards its key presses here.
#pragma once

#include "shell/search_bar.h"

namespace vellumark {

enum class IndexKeyAction { kNone, kCancelArchive, kClose, kHelp, kFocusSearchBar };

// The index window's keys, only with no Shift, Ctrl or Alt: Esc cancels a running archive
// operation (its progress bar is visible) or else closes the window (which an indexing run
// may refuse); F1 is the search bar's help; F10 gives the search bar the focus when it is
// visible. The status line is cleared after every key press whatever this answers.
IndexKeyAction IndexWindowKeyDown(int key, KeyModifiers modifiers, bool progress_visible,
                                  bool search_bar_visible);

}  // namespace vellumark
