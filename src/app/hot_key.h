// The system-wide hot key of the search bar. On X11 it is a key grab on the root window; where
// no grab is possible (Wayland, offscreen) registration is refused and there is no hot key.
// While registered, every press of the key emits activated(), whichever window has the focus
// (ours included: the grab reports every press to the root window).
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

namespace vellumark {

// The X key symbol of a virtual-key code: "A" to "Z" (65 to 90) give the lower-case letter's
// symbol, other printable Latin-1 codes their own, F1 to F12 (112 to 123) the function keys;
// 0 for anything else.
std::uint32_t VirtualKeyToKeysym(int virtual_key);

class GlobalHotKey final : public QObject, public QAbstractNativeEventFilter {
  Q_OBJECT
 public:
  explicit GlobalHotKey(QObject* parent = nullptr);
  ~GlobalHotKey() override;

  // Grabs the key with the modifiers (kModAlt, kModControl, kModShift of util/keys.h); false when
  // the platform has no grab, the key has no key code on this keyboard, or another program holds
  // the same grab. Replaces an earlier registration.
  bool Register(unsigned modifiers, int virtual_key);
  void Unregister();
  bool registered() const { return keycode_ != 0; }
  std::uint32_t root() const { return root_; }

  bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr* result) override;

 signals:
  void activated();

 private:
  void* connection_ = nullptr;  // the xcb connection of the application, not owned
  std::uint32_t root_ = 0;
  std::uint8_t keycode_ = 0;
  std::uint16_t modifiers_ = 0;  // X modifier mask of the grab
};

}  // namespace vellumark
