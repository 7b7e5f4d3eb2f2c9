#include "app/hot_key.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <memory>

#include "util/keys.h"

namespace vellumark {
namespace {

// Lock states that must not stop the key from being seen: Caps Lock and Num Lock (Mod2).
constexpr std::uint16_t kIgnoredLocks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kCompared =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

std::uint8_t KeycodeOf(xcb_connection_t* c, std::uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const int first = setup->min_keycode;
  const int count = setup->max_keycode - setup->min_keycode + 1;
  std::unique_ptr<xcb_get_keyboard_mapping_reply_t, FreeDeleter> reply(
      xcb_get_keyboard_mapping_reply(c,
                                     xcb_get_keyboard_mapping(c, static_cast<xcb_keycode_t>(first),
                                                              static_cast<std::uint8_t>(count)),
                                     nullptr));
  if (!reply) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
  const int per = reply->keysyms_per_keycode;
  for (int k = 0; k < count; ++k) {
    for (int i = 0; i < per; ++i) {
      if (syms[k * per + i] == keysym) return static_cast<std::uint8_t>(first + k);
    }
  }
  return 0;
}

}  // namespace

std::uint32_t VirtualKeyToKeysym(int virtual_key) {
  if (virtual_key >= 'A' && virtual_key <= 'Z') return static_cast<std::uint32_t>(virtual_key + 32);
  if (virtual_key >= 112 && virtual_key <= 123)
    return 0xFFBEu + static_cast<std::uint32_t>(virtual_key - 112);
  if ((virtual_key >= 0x20 && virtual_key <= 0x7E) ||
      (virtual_key >= 0xA0 && virtual_key <= 0xFF)) {
    return static_cast<std::uint32_t>(virtual_key);
  }
  return 0;
}

GlobalHotKey::GlobalHotKey(QObject* parent) : QObject(parent) {
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 && x11->connection()) {
    connection_ = x11->connection();
    xcb_screen_t* screen =
        xcb_setup_roots_iterator(xcb_get_setup(static_cast<xcb_connection_t*>(connection_))).data;
    root_ = screen ? screen->root : 0;
  }
}

GlobalHotKey::~GlobalHotKey() { Unregister(); }

bool GlobalHotKey::Register(unsigned modifiers, int virtual_key) {
  Unregister();
  auto* c = static_cast<xcb_connection_t*>(connection_);
  if (!c || !root_) return false;
  std::uint32_t keysym = VirtualKeyToKeysym(virtual_key);
  if (!keysym) return false;
  std::uint8_t keycode = KeycodeOf(c, keysym);
  if (!keycode) return false;
  std::uint16_t mask = 0;
  if (modifiers & kModAlt) mask |= XCB_MOD_MASK_1;
  if (modifiers & kModControl) mask |= XCB_MOD_MASK_CONTROL;
  if (modifiers & kModShift) mask |= XCB_MOD_MASK_SHIFT;

  bool refused = false;
  for (std::uint16_t locks : kIgnoredLocks) {
    xcb_void_cookie_t cookie =
        xcb_grab_key_checked(c, 0, root_, static_cast<std::uint16_t>(mask | locks), keycode,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
      std::free(error);
      refused = true;
    }
  }
  if (refused) {
    for (std::uint16_t locks : kIgnoredLocks) {
      xcb_ungrab_key(c, keycode, root_, static_cast<std::uint16_t>(mask | locks));
    }
    xcb_flush(c);
    return false;
  }
  keycode_ = keycode;
  modifiers_ = mask;
  qApp->installNativeEventFilter(this);
  return true;
}

void GlobalHotKey::Unregister() {
  if (!keycode_) return;
  auto* c = static_cast<xcb_connection_t*>(connection_);
  for (std::uint16_t locks : kIgnoredLocks) {
    xcb_ungrab_key(c, keycode_, root_, static_cast<std::uint16_t>(modifiers_ | locks));
  }
  xcb_flush(c);
  if (qApp) qApp->removeNativeEventFilter(this);
  keycode_ = 0;
  modifiers_ = 0;
}

bool GlobalHotKey::nativeEventFilter(const QByteArray& event_type, void* message, qintptr*) {
  if (!keycode_ || event_type != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
  auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
  if (key->event != root_ || key->detail != keycode_ || (key->state & kCompared) != modifiers_) {
    return false;
  }
  emit activated();
  return true;
}

}  // namespace vellumark
