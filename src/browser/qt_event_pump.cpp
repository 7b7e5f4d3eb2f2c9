#include "browser/qt_event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace vellumark {

void QtEventPump::ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtEventPump::ProcessEventsFor(int max_ms) {
  if (max_ms <= 0) {
    ProcessEvents();
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(max_ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace vellumark
