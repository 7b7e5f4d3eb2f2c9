#include "app/qt_keys.h"

namespace vellumark {

int VirtualKeyOf(const QKeyEvent& event) {
  const int key = event.key();
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return kVkF1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kVkReturn;
    case Qt::Key_Escape:
      return kVkEscape;
    case Qt::Key_Left:
      return kVkLeft;
    case Qt::Key_Up:
      return kVkUp;
    case Qt::Key_Right:
      return kVkRight;
    case Qt::Key_Down:
      return kVkDown;
    default:
      break;
  }
  if (key >= 0x20 && key <= 0xFF) return key;  // Qt's codes of letters are upper case
  return 0;
}

KeyModifiers ModifiersOf(const QKeyEvent& event) {
  const Qt::KeyboardModifiers m = event.modifiers();
  KeyModifiers out;
  out.shift = m.testFlag(Qt::ShiftModifier);
  out.ctrl = m.testFlag(Qt::ControlModifier);
  out.alt = m.testFlag(Qt::AltModifier);
  return out;
}

}  // namespace vellumark
