#include "app/placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace vellumark {

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

void LoadWindowStatus(const TPIniFile& settings, QWidget& window, bool sizeable) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  const QSize area = screen ? screen->geometry().size() : QSize(1024, 768);
  const FormPlacement current = PlacementOf(window);
  FormStatusResult r = LoadFormStatus(settings, window.objectName().toStdString(), current,
                                      area.width(), area.height(), sizeable);
  // An item that is no number has been skipped; the window is placed with the rest.
  if (!r.all_items_valid) {
    qWarning("FormStatus of %s holds an item that is not a number",
             qPrintable(window.objectName()));
  }
  window.move(r.placement.left, r.placement.top);
  if (sizeable) {
    // Width and height are the frame's; the window takes the client size inside it.
    const QSize border = window.frameGeometry().size() - window.geometry().size();
    window.resize(r.placement.width - border.width(), r.placement.height - border.height());
    if (r.placement.state == kWindowMaximized) window.setWindowState(Qt::WindowMaximized);
  }
}

void SaveWindowStatus(TPIniFile& settings, const QWidget& window) {
  SaveFormStatus(settings, window.objectName().toStdString(), PlacementOf(window));
}

}  // namespace vellumark
