// The X11 hot key, on a real X server (the test runs under xvfb-run): the grab, its refusal
// when another client holds it, and the press reaching activated() with the exact modifiers.
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include "app/hot_key.h"
#include "util/keys.h"

namespace vellumark {

class HotKeyTest : public QObject {
  Q_OBJECT

 private:
  std::uint32_t root_ = 0;
  xcb_key_press_event_t Press(std::uint8_t keycode, std::uint16_t state) {
    xcb_key_press_event_t e{};
    e.event = root_;
    e.response_type = XCB_KEY_PRESS;
    e.detail = keycode;
    e.state = state;
    return e;
  }

 private slots:
  void mapsVirtualKeysToKeySymbols() {
    QCOMPARE(VirtualKeyToKeysym('X'), 0x78u);
    QCOMPARE(VirtualKeyToKeysym('5'), 0x35u);
    QCOMPARE(VirtualKeyToKeysym(112), 0xFFBEu);  // F1
    QCOMPARE(VirtualKeyToKeysym(123), 0xFFC9u);  // F12
    QCOMPARE(VirtualKeyToKeysym(0x7F), 0u);
    QCOMPARE(VirtualKeyToKeysym(0x100), 0u);
    QCOMPARE(VirtualKeyToKeysym(-1), 0u);
  }

  void grabsAndSeesThePressWithItsExactModifiers() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs an X server");
    GlobalHotKey key;
    QVERIFY(key.Register(kModControl, 116));  // Control+F5
    QVERIFY(key.registered());
    root_ = key.root();
    QSignalSpy spy(&key, &GlobalHotKey::activated);

    // Find the key code the grab took by trying the presses the filter accepts.
    std::uint8_t keycode = 0;
    for (int k = 8; k < 256 && !keycode; ++k) {
      auto e = Press(static_cast<std::uint8_t>(k), XCB_MOD_MASK_CONTROL);
      if (key.nativeEventFilter("xcb_generic_event_t", &e, nullptr))
        keycode = static_cast<std::uint8_t>(k);
    }
    QVERIFY(keycode != 0);
    QCOMPARE(spy.count(), 1);
    auto with_lock = Press(keycode, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_2);
    QVERIFY(key.nativeEventFilter("xcb_generic_event_t", &with_lock, nullptr));
    auto with_shift = Press(keycode, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    QVERIFY(!key.nativeEventFilter("xcb_generic_event_t", &with_shift, nullptr));
    auto bare = Press(keycode, 0);
    QVERIFY(!key.nativeEventFilter("xcb_generic_event_t", &bare, nullptr));
    auto elsewhere = Press(keycode, XCB_MOD_MASK_CONTROL);
    elsewhere.event = root_ + 1;  // a press on one of our own windows is a normal key
    QVERIFY(!key.nativeEventFilter("xcb_generic_event_t", &elsewhere, nullptr));
    QCOMPARE(spy.count(), 2);

    key.Unregister();
    QVERIFY(!key.registered());
    auto after = Press(keycode, XCB_MOD_MASK_CONTROL);
    QVERIFY(!key.nativeEventFilter("xcb_generic_event_t", &after, nullptr));
  }

  void refusedWhileAnotherProgramHoldsTheGrab() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs an X server");
    GlobalHotKey probe;
    QVERIFY(probe.Register(kModAlt | kModShift, 'K'));
    probe.Unregister();

    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    QVERIFY(!xcb_connection_has_error(other));
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    // Grab every key with Alt+Shift from the other client.
    xcb_void_cookie_t c =
        xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT, XCB_GRAB_ANY,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    QVERIFY(xcb_request_check(other, c) == nullptr);
    GlobalHotKey key;
    QVERIFY(!key.Register(kModAlt | kModShift, 'K'));
    QVERIFY(!key.registered());
    xcb_disconnect(other);
  }

  void noKeyForUnknownCodes() {
    GlobalHotKey key;
    QVERIFY(!key.Register(0, 0x7F));  // no key symbol
    QVERIFY(!key.Register(0, 0));
  }
};

}  // namespace vellumark

QTEST_MAIN(vellumark::HotKeyTest)
#include "hot_key_test.moc"
