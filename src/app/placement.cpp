#include "app/placement.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>

namespace vellumark {
namespace {

// The frame a window manager usually adds, for windows it has not framed yet.
constexpr int kTitleAllowance = 28;
constexpr int kBorderAllowance = 2;

}  // namespace

// Qt knows a window's frame once the window manager has framed it. A window that is not
// created yet holds the position of its frame to be (a move places the frame); its size is
// estimated. A created window without a known frame has none (or is about to be framed).
QRect WindowFrame(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  if (!window.isWindow() || frame != window.geometry() ||
      window.testAttribute(Qt::WA_WState_Created)) {
    return frame;
  }
  const int title =
      std::max(QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight), kTitleAllowance);
  return QRect(frame.topLeft(),
               frame.size() + QSize(2 * kBorderAllowance, title + kBorderAllowance));
}

ScreenRect ScreenRectOf(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

namespace {

// The placement of the window's frame, estimated for a window not framed yet.
FormPlacement FramePlacement(const QWidget& window) {
  const QRect frame = WindowFrame(window);
  return {frame.top(), frame.left(), frame.width(), frame.height(), kWindowNormal};
}

}  // namespace

FormPlacement PlacementOf(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  FormPlacement p;
  p.top = frame.top();
  p.left = frame.left();
  p.width = frame.width();
  p.height = frame.height();
  p.state = window.isMinimized()   ? kWindowMinimized
            : window.isMaximized() ? kWindowMaximized
                                   : kWindowNormal;
  return p;
}

ScreenRect AvailableAreaOf(const QWidget& window) {
  QScreen* screen = QGuiApplication::screenAt(WindowFrame(window).center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? ScreenRectOf(screen->availableGeometry()) : ScreenRect{0, 0, 1024, 768};
}

void ApplyPlacement(QWidget& window, const FormPlacement& p, bool sizeable) {
  window.move(p.left, p.top);
  if (sizeable) {
    // Width and height are the frame's; the window takes the client size inside it.
    const QSize border = WindowFrame(window).size() - window.geometry().size();
    window.resize(p.width - border.width(), p.height - border.height());
  }
}

bool LoadWindowStatus(const TPIniFile& settings, QWidget& window, bool sizeable) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  const QSize area = screen ? screen->geometry().size() : QSize(1024, 768);
  const FormPlacement current = FramePlacement(window);
  bool saved = false;
  FormStatusResult r = LoadFormStatus(settings, window.objectName().toStdString(), current,
                                      area.width(), area.height(), sizeable, &saved);
  // An item that is no number has been skipped; the window is placed with the rest.
  if (!r.all_items_valid) {
    qWarning("FormStatus of %s holds an item that is not a number",
             qPrintable(window.objectName()));
  }
  // A placement saved on a larger or a missing monitor is moved where it can be reached.
  const bool maximized = sizeable && r.placement.state == kWindowMaximized;
  ApplyPlacement(window, FitInside(r.placement, AvailableAreaOf(window), sizeable), sizeable);
  if (maximized) window.setWindowState(Qt::WindowMaximized);
  return saved;
}

void SaveWindowStatus(TPIniFile& settings, const QWidget& window) {
  SaveFormStatus(settings, window.objectName().toStdString(), PlacementOf(window));
}

void PlaceWindowBelowBar(QWidget& window, const ScreenRect& bar, bool sizeable) {
  const FormPlacement p = FramePlacement(window);
  // The screen the bar is on is the one the window opens on.
  QScreen* screen = QGuiApplication::screenAt(QPoint(bar.left + bar.width / 2, bar.top));
  if (!screen) screen = QGuiApplication::primaryScreen();
  const ScreenRect area =
      screen ? ScreenRectOf(screen->availableGeometry()) : AvailableAreaOf(window);
  ApplyPlacement(window, PlaceBelowBar(p, bar, area, sizeable), sizeable);
}

void KeepWindowOffBar(QWidget& window, const ScreenRect& bar) {
  ApplyPlacement(window, AvoidBar(FramePlacement(window), bar, AvailableAreaOf(window)), false);
}

}  // namespace vellumark
