// The browser of the program, on Qt WebEngine: a window with an address box, Back, Forward,
// Reload/Stop and the page. WebBrowser implements the Browser seam over it; every member is a
// synchronous call to its callers, answered by pumping events while the page's script runs.
//
// Text ranges live in the page, in a script of our own (resources/text_ranges.js) injected
// into every document in the program's own script world. A WebTextRange holds the name of
// its range there; a range of an earlier document fails with BrowserError.
//
// The browser keeps to the engine's own certificate store, with one exception: a certificate
// error is accepted when the page's chain verifies against the extra trusted authorities
// (SetTrustedCAFile), host name and validity included. Every other one stops the page.
//
// No page can open a window or a box: script dialogs are answered without showing anything
// (an alert dismissed, confirm and prompt cancelled, leaving a page allowed) and counted; new
// windows and file choosers are refused. A load or a script call never holds the caller for
// longer than the bound it gives.
//
// The indexer loads pages in loader pages (CreateLoaderPage): pages of the same profile in
// views that are never shown, so nothing paints them, that load no images, media, fonts or
// plug-ins and answer script dialogs as the shown page does.
//
// One WebBrowser exists per program run; the search bar owns it. Its ranges and loader pages
// must not outlive it.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QVariant>
#include <QWebEnginePage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser.h"

class QLineEdit;
class QAction;
class QWebEngineView;
class QWebEngineProfile;
class QWebEngineCertificateError;
class QWebEngineUrlRequestInterceptor;

namespace vellumark {

// The page of the browser window: answers script dialogs itself, opens no windows and no file
// choosers. `dialogs` counts the dialogs answered.
class QuietPage final : public QWebEnginePage {
  Q_OBJECT
 public:
  QuietPage(QWebEngineProfile* profile, QObject* parent);

  int dialogs() const { return dialogs_; }
  // Every dialog answered is also counted in `*total` (the browser's loader pages share one).
  void countInto(std::shared_ptr<int> total) { total_ = std::move(total); }

 protected:
  void javaScriptAlert(const QUrl& origin, const QString& message) override;
  bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
  bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& value,
                        QString* result) override;
  QStringList chooseFiles(FileSelectionMode mode, const QStringList& old_files,
                          const QStringList& mime_types) override;
  QWebEnginePage* createWindow(WebWindowType type) override;

 private:
  void answered();
  int dialogs_ = 0;
  std::shared_ptr<int> total_;
};

// The window the user sees: navigation bar over the page.
class BrowserWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit BrowserWindow(QWebEngineProfile* profile, QWidget* parent = nullptr);

  QWebEngineView* view() const { return view_; }
  QuietPage* page() const;
  QLineEdit* addressBox() const { return address_; }

 private:
  void setLoading(bool loading);

  QWebEngineView* view_;
  QLineEdit* address_;
  QAction* back_;
  QAction* forward_;
  QAction* reload_stop_;
  bool loading_ = false;
};

class WebBrowser final : public Browser {
 public:
  // Creates the profile, page and window, hidden, and checks that the engine runs a script.
  // Throws BrowserError when the engine does not start within `start_ms`.
  explicit WebBrowser(int start_ms = 30000);
  ~WebBrowser() override;
  WebBrowser(const WebBrowser&) = delete;
  WebBrowser& operator=(const WebBrowser&) = delete;

  void SetVisible(bool visible) override;
  bool Visible() override;
  void Navigate(const std::string& url) override;
  bool Busy() override;
  void WaitWhileBusy(int max_ms) override;
  std::string DocumentUrl() override;
  std::string DocumentTitle() override;
  std::vector<std::string> DocumentLinks() override;
  std::unique_ptr<TextRange> CreateBodyTextRange() override;
  int AnsweredDialogs() override;
  std::unique_ptr<LoaderPage> CreateLoaderPage() override;

  BrowserWindow* window() const { return window_.get(); }

  // The file of PEM certificates of the extra trusted authorities ("Options" / "TrustedCA");
  // empty for none. Read at each certificate error.
  void SetTrustedCAFile(std::string file) { trusted_ca_file_ = std::move(file); }

  // The screen area (global coordinates; empty: none) of a window that stays on top of the
  // browser, the search bar: scrollIntoView keeps the found text out from under it.
  void SetCoveredArea(std::function<QRect()> area) { covered_area_ = std::move(area); }

  // Runs `code` in the program's script world of the shown page and waits, pumping events,
  // for its answer. A script error or no answer within `timeout_ms` throws BrowserError.
  QVariant Run(const QString& code, int timeout_ms = 10000);

  // The longest a single script call may take before the browser counts as not answering.
  static constexpr int kScriptTimeoutMs = 10000;

 private:
  friend class WebTextRange;
  QVariant CallRanges(const QString& call);
  void ForgetRange(const QString& id);
  // Accepts the certificate error when the chain ends in an extra trusted authority.
  bool AcceptsCertificate(const QWebEngineCertificateError& error) const;
  // The band of the page's view that the covered area hides, as "top,bottom" in CSS pixels
  // from the view's top; "0,0" when nothing covers it.
  QString CoveredBand() const;

  std::unique_ptr<QWebEngineProfile> profile_;
  // Keeps images, media, fonts and plug-ins out of loader pages.
  std::unique_ptr<QWebEngineUrlRequestInterceptor> light_loads_;
  std::shared_ptr<int> loader_dialogs_ = std::make_shared<int>(0);
  std::unique_ptr<BrowserWindow> window_;
  int loads_running_ = 0;          // loads started and not yet finished
  bool navigation_asked_ = false;  // Navigate called, its load not started yet
  QString asked_url_;
  std::string trusted_ca_file_;
  std::function<QRect()> covered_area_;
};

class WebTextRange final : public TextRange {
 public:
  WebTextRange(WebBrowser& browser, QString id);
  ~WebTextRange() override;
  WebTextRange(const WebTextRange&) = delete;
  WebTextRange& operator=(const WebTextRange&) = delete;

  std::string Text() override;
  void SetEndPoint(const std::string& how, TextRange& other) override;
  bool findText(const std::string& text) override;
  int CompareEndPoints(const std::string& how, TextRange& other) override;
  void select() override;
  void scrollIntoView() override;

 private:
  WebTextRange& Peer(TextRange& other);
  QVariant Call(const QString& member, const QString& args = {});

  WebBrowser& browser_;
  QString id_;  // the range's name in the page
};

}  // namespace vellumark
