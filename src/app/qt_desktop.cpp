#include "app/qt_desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "browser/web_browser.h"

namespace vellumark {

std::unique_ptr<Browser> QtDesktop::CreateBrowser(const std::string& trusted_ca_file) {
  auto browser = std::make_unique<WebBrowser>();
  browser->SetTrustedCAFile(trusted_ca_file);
  if (browser_created) browser_created(*browser);
  return browser;
}

bool QtDesktop::RegisterHotKey(int modifiers, int code) {
  return hot_key_.Register(static_cast<unsigned>(modifiers), code);
}

bool QtDesktop::OpenWithDesktop(const std::string& target) {
  const QString t = QString::fromStdString(target);
  const QUrl url = t.contains(QStringLiteral("://"))
                       ? QUrl(t)
                       : QUrl::fromLocalFile(QDir::current().absoluteFilePath(t));
  return QDesktopServices::openUrl(url);
}

}  // namespace vellumark
