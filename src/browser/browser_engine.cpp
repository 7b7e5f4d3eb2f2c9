// libvellumark-browser.so: the browser engine for vellumark-cli (browser/browser_engine.h).
#include "browser/browser_engine.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <array>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "browser/qt_event_pump.h"
#include "browser/web_browser.h"

namespace vellumark {
namespace {

// The browser runs headless unless the caller chose a platform.
void HeadlessEnvironment() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --log-level=3");
  }
  // The engine refuses its sandbox as root.
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.debug=false;js.debug=false");
  }
}

// Qt's own notes (missing runtime folder, font warnings) are not the tool's messages; only its
// critical ones reach stderr.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::cerr << message.toStdString() << std::endl;
  }
}

class QtBrowserEngine final : public BrowserEngine {
 public:
  QtBrowserEngine(const char* program, const std::string& trusted_ca_file)
      : program_(program ? program : "vellumark-cli"),
        argv_{program_.data(), nullptr},
        app_(argc_, argv_.data()) {
    auto browser = std::make_unique<WebBrowser>();
    browser->SetTrustedCAFile(trusted_ca_file);
    browser_ = std::move(browser);
  }
  ~QtBrowserEngine() override { browser_.reset(); }

  EventPump& Pump() override { return pump_; }
  Browser& GetBrowser() override { return *browser_; }

 private:
  std::string program_;
  int argc_ = 1;  // Qt sees only the program's name: every argument is the caller's
  std::array<char*, 2> argv_;
  QApplication app_;
  QtEventPump pump_;
  std::unique_ptr<WebBrowser> browser_;
};

}  // namespace
}  // namespace vellumark

extern "C" __attribute__((visibility("default"))) vellumark::BrowserEngine*
vellumark_start_browser_engine(const char* program, const char* trusted_ca_file, char* error,
                               std::size_t error_size) {
  // The type the caller looks the function up as.
  [[maybe_unused]] constexpr vellumark::StartBrowserEngineFunction kChecked =
      &vellumark_start_browser_engine;
  try {
    vellumark::HeadlessEnvironment();
    if (qEnvironmentVariableIsEmpty("VELLUMARK_QT_MESSAGES")) {
      qInstallMessageHandler(vellumark::QuietQt);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return new vellumark::QtBrowserEngine(program, trusted_ca_file ? trusted_ca_file : "");
  } catch (const std::exception& e) {
    if (error && error_size > 0) std::snprintf(error, error_size, "%s", e.what());
    return nullptr;
  }
}
