#include "shell/index_keys.h"

namespace vellumark {

IndexKeyAction IndexWindowKeyDown(int key, KeyModifiers m, bool progress_visible,
                                  bool search_bar_visible) {
  if (m.shift || m.ctrl || m.alt) return IndexKeyAction::kNone;
  switch (key) {
    case kVkEscape:
      return progress_visible ? IndexKeyAction::kCancelArchive : IndexKeyAction::kClose;
    case kVkF1:
      return IndexKeyAction::kHelp;
    case kVkF10:
      return search_bar_visible ? IndexKeyAction::kFocusSearchBar : IndexKeyAction::kNone;
    default:
      return IndexKeyAction::kNone;
  }
}

}  // namespace vellumark
