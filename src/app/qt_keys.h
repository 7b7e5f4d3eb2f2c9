// Qt key events in the terms of the handlers: virtual-key codes and the Shift/Ctrl/Alt set.
#pragma once

#include <QKeyEvent>

#include "shell/search_bar.h"

namespace vellumark {

// The virtual-key code of a key event: function keys, Enter, Esc, the arrows, and letters and
// digits as their upper-case character codes; other keys as their Latin-1 code or 0.
int VirtualKeyOf(const QKeyEvent& event);
KeyModifiers ModifiersOf(const QKeyEvent& event);

}  // namespace vellumark
