#include "browser/web_browser.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineCertificateError>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <algorithm>

#include "browser/trusted_chain.h"

namespace vellumark {
namespace {

constexpr quint32 kWorld = QWebEngineScript::ApplicationWorld;

QString RangeScript() {
  QFile file(QStringLiteral(":/vellumark/text_ranges.js"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

QString JsString(const std::string& text) {
  QString s = QString::fromStdString(text);
  QString out = QStringLiteral("\"");
  for (QChar c : s) {
    switch (c.unicode()) {
      case '"':
        out += QStringLiteral("\\\"");
        break;
      case '\\':
        out += QStringLiteral("\\\\");
        break;
      case '\n':
        out += QStringLiteral("\\n");
        break;
      case '\r':
        out += QStringLiteral("\\r");
        break;
      case 0x2028:
        out += QStringLiteral("\\u2028");
        break;
      case 0x2029:
        out += QStringLiteral("\\u2029");
        break;
      default:
        if (c.unicode() < 0x20) {
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
          out += c;
        }
    }
  }
  return out + QLatin1Char('"');
}

// Blocks the requests whose answers change neither a page's text nor its links.
// Accepts or rejects the certificate the page asks about (the error object is a handle on the
// page's question, so a copy answers it).
void AnswerCertificate(QWebEngineCertificateError error, bool accept) {
  if (accept) {
    error.acceptCertificate();
  } else {
    error.rejectCertificate();
  }
}

// Runs `code` in the page's script world and waits, pumping events, until it answers or
// `timeout_ms` passes. Raises when the page did not answer.
QVariant RunAndWait(QWebEnginePage& page, const QString& code, int timeout_ms) {
  struct Answer {
    bool done = false;
    QVariant value;
    QEventLoop* loop = nullptr;
  };
  auto answer = std::make_shared<Answer>();
  QEventLoop loop;
  answer->loop = &loop;
  page.runJavaScript(code, kWorld, [answer](const QVariant& value) {
    answer->done = true;
    answer->value = value;
    if (answer->loop) answer->loop->quit();
  });
  if (!answer->done) {
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    loop.exec();
  }
  answer->loop = nullptr;
  if (!answer->done) throw BrowserError("The browser did not answer");
  return answer->value;
}

class LightLoads final : public QWebEngineUrlRequestInterceptor {
 public:
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    switch (info.resourceType()) {
      case QWebEngineUrlRequestInfo::ResourceTypeImage:
      case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
      case QWebEngineUrlRequestInfo::ResourceTypeObject:
      case QWebEngineUrlRequestInfo::ResourceTypeMedia:
      case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
      case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
      case QWebEngineUrlRequestInfo::ResourceTypePing:
      case QWebEngineUrlRequestInfo::ResourceTypeCspReport:
      case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
        info.block(true);
        break;
      default:
        break;
    }
  }
};

// Title, links and the body's rendered text in one call; the text is what a text range over
// the whole body gives (text_ranges.js).
const char kReadDocument[] =
    "(function(){var b=document.body||document.documentElement;"
    "if(!b)return{ok:false,e:'no document'};"
    "return{ok:true,t:document.title,l:Array.from(document.links,function(a){return a.href;}),"
    "x:b.innerText};})()";

// A page of the browser's profile in a view that is never shown, so never painted (the view
// gives the page its size: a page without a view loads markedly slower). The view and its
// page are made at the first load and replaced after a stop, so that no signal of an abandoned
// load reaches a later one.
class WebLoaderPage final : public LoaderPage {
 public:
  using CertificateRule = std::function<bool(const QWebEngineCertificateError&)>;
  WebLoaderPage(QWebEngineProfile* profile, QWebEngineUrlRequestInterceptor* interceptor,
                std::shared_ptr<int> dialogs, CertificateRule accepts)
      : profile_(profile),
        interceptor_(interceptor),
        dialogs_(std::move(dialogs)),
        accepts_(std::move(accepts)) {}
  ~WebLoaderPage() override { Drop(); }
  WebLoaderPage(const WebLoaderPage&) = delete;
  WebLoaderPage& operator=(const WebLoaderPage&) = delete;

  void Load(const std::string& url) override {
    QUrl target(QString::fromStdString(url));
    if (!target.isValid()) throw BrowserError("Invalid address " + url);
    if (!page_) Make();
    asked_url_ = target.toString();
    asked_ = true;
    page_->load(target);
  }

  void Stop() override {
    if (!Ready()) Drop();
  }

  bool Ready() override { return !asked_ && running_ == 0; }

  void WaitReady(int max_ms) override {
    if (Ready() || max_ms <= 0) return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(max_ms);
    waiting_ = &loop;
    loop.exec();
    waiting_ = nullptr;
  }

  PageDocument Read() override {
    if (!page_) throw BrowserError("No document");
    const QVariantMap map =
        RunAndWait(*page_, QString::fromLatin1(kReadDocument), WebBrowser::kScriptTimeoutMs)
            .toMap();
    if (!map.value(QStringLiteral("ok")).toBool()) {
      const QString error = map.value(QStringLiteral("e")).toString();
      throw BrowserError("Browser script failed: " +
                         (error.isEmpty() ? std::string("no document") : error.toStdString()));
    }
    PageDocument doc;
    doc.url = page_->url().toString().toStdString();
    doc.title = map.value(QStringLiteral("t")).toString().toStdString();
    for (const QVariant& link : map.value(QStringLiteral("l")).toList()) {
      doc.links.push_back(link.toString().toStdString());
    }
    doc.text = map.value(QStringLiteral("x")).toString().toStdString();
    return doc;
  }

 private:
  void Make() {
    view_ = new QWebEngineView();
    view_->resize(kViewWidth, kViewHeight);
    page_ = new QuietPage(profile_, view_);
    view_->setPage(page_);
    page_->countInto(dialogs_);
    page_->setUrlRequestInterceptor(interceptor_);
    QWebEngineSettings* settings = page_->settings();
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    QObject::connect(page_, &QWebEnginePage::loadStarted, page_, [this] {
      ++running_;
      asked_ = false;
    });
    QObject::connect(page_, &QWebEnginePage::loadFinished, page_, [this](bool) {
      running_ = std::max(0, running_ - 1);
      asked_ = false;
      Wake();
    });
    // A jump inside the document may change the address without a load of its own.
    QObject::connect(page_, &QWebEnginePage::urlChanged, page_, [this](const QUrl& url) {
      if (asked_ && running_ == 0 && url.toString() == asked_url_) {
        asked_ = false;
        Wake();
      }
    });
    // The shown page's certificate rule.
    QObject::connect(page_, &QWebEnginePage::certificateError, page_,
                     [this](const QWebEngineCertificateError& error) {
                       AnswerCertificate(error, accepts_(error));
                     });
  }

  void Wake() {
    if (waiting_ && Ready()) waiting_->quit();
  }

  void Drop() {
    if (view_) {
      page_->disconnect();
      delete view_;
      view_ = nullptr;
      page_ = nullptr;
    }
    asked_ = false;
    running_ = 0;
    if (waiting_) waiting_->quit();
  }

  QWebEngineProfile* profile_;
  QWebEngineUrlRequestInterceptor* interceptor_;
  std::shared_ptr<int> dialogs_;
  CertificateRule accepts_;
  // The size of the browser window's page.
  static constexpr int kViewWidth = 900;
  static constexpr int kViewHeight = 600;
  QWebEngineView* view_ = nullptr;  // owns page_
  QuietPage* page_ = nullptr;
  QString asked_url_;
  bool asked_ = false;
  int running_ = 0;
  QEventLoop* waiting_ = nullptr;
};

}  // namespace

QuietPage::QuietPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {}

void QuietPage::answered() {
  ++dialogs_;
  if (total_) ++*total_;
}

void QuietPage::javaScriptAlert(const QUrl&, const QString&) { answered(); }

bool QuietPage::javaScriptConfirm(const QUrl&, const QString& message) {
  answered();
  // The engine asks before leaving a page that wants to hold the user through this call, with
  // its own text: leaving is allowed, a page's own question is cancelled.
  return message == QCoreApplication::translate("QWebEnginePage",
                                                "Are you sure you want to leave this page? "
                                                "Changes that you made may not be saved.");
}

bool QuietPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) {
  answered();
  return false;
}

QStringList QuietPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) {
  return {};
}

QWebEnginePage* QuietPage::createWindow(WebWindowType) { return nullptr; }

BrowserWindow::BrowserWindow(QWebEngineProfile* profile, QWidget* parent)
    : QMainWindow(parent), view_(new QWebEngineView(this)), address_(new QLineEdit(this)) {
  setObjectName(QStringLiteral("BrowserWindow"));
  setWindowTitle(QStringLiteral("Vellumark Browser"));
  view_->setPage(new QuietPage(profile, view_));
  setCentralWidget(view_);

  auto* bar = addToolBar(QStringLiteral("Navigation"));
  bar->setMovable(false);
  back_ = bar->addAction(QStringLiteral("Back"), view_, &QWebEngineView::back);
  forward_ = bar->addAction(QStringLiteral("Forward"), view_, &QWebEngineView::forward);
  reload_stop_ = bar->addAction(QStringLiteral("Reload"), this, [this] {
    if (loading_)
      view_->stop();
    else
      view_->reload();
  });
  back_->setObjectName(QStringLiteral("btBack"));
  forward_->setObjectName(QStringLiteral("btForward"));
  reload_stop_->setObjectName(QStringLiteral("btReloadStop"));
  address_->setObjectName(QStringLiteral("edAddress"));
  bar->addWidget(address_);
  back_->setEnabled(false);
  forward_->setEnabled(false);

  connect(address_, &QLineEdit::returnPressed, this, [this] {
    QUrl url = QUrl::fromUserInput(address_->text().trimmed());
    if (url.isValid()) view_->load(url);
  });
  connect(view_, &QWebEngineView::urlChanged, this, [this](const QUrl& url) {
    address_->setText(url.toString());
    back_->setEnabled(view_->history()->canGoBack());
    forward_->setEnabled(view_->history()->canGoForward());
  });
  connect(view_, &QWebEngineView::titleChanged, this, [this](const QString& title) {
    setWindowTitle(title.isEmpty() ? QStringLiteral("Vellumark Browser")
                                   : title + QStringLiteral(" - Vellumark Browser"));
  });
  connect(view_, &QWebEngineView::loadStarted, this, [this] { setLoading(true); });
  connect(view_, &QWebEngineView::loadFinished, this, [this](bool) {
    setLoading(false);
    back_->setEnabled(view_->history()->canGoBack());
    forward_->setEnabled(view_->history()->canGoForward());
  });
  // Below the search bar, which sits at the top of the screen.
  setGeometry(40, 90, 900, 640);
}

QuietPage* BrowserWindow::page() const { return static_cast<QuietPage*>(view_->page()); }

void BrowserWindow::setLoading(bool loading) {
  loading_ = loading;
  reload_stop_->setText(loading ? QStringLiteral("Stop") : QStringLiteral("Reload"));
}

namespace {

// The engine lowers the priority of the renderers of pages nobody sees (nice +5 on Linux), and
// every page the indexer loads is one: on a busy machine its loads then wait for every other
// program. The flag must be in place before the engine starts, at the first profile.
void KeepRenderersAtFullPriority() {
  static const char kFlag[] = "--disable-renderer-backgrounding";
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains(kFlag)) return;
  if (!flags.isEmpty()) flags += ' ';
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + kFlag);
}

}  // namespace

WebBrowser::WebBrowser(int start_ms) {
  KeepRenderersAtFullPriority();
  const QString script = RangeScript();
  if (script.isEmpty()) throw BrowserError("The text range script is missing");

  profile_ = std::make_unique<QWebEngineProfile>();  // off the record: nothing on disk
  profile_->settings()->setDefaultTextEncoding(QStringLiteral("utf-8"));
  // A script's window.open gets no window (and sees none): pages are read one at a time.
  profile_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  window_ = std::make_unique<BrowserWindow>(profile_.get());
  QWebEnginePage* page = window_->page();

  QWebEngineScript ranges;
  ranges.setName(QStringLiteral("vellumark-text-ranges"));
  ranges.setSourceCode(script);
  ranges.setInjectionPoint(QWebEngineScript::DocumentCreation);
  ranges.setWorldId(kWorld);
  ranges.setRunsOnSubFrames(false);
  page->scripts().insert(ranges);

  QObject::connect(page, &QWebEnginePage::loadStarted, window_.get(), [this] {
    ++loads_running_;
    navigation_asked_ = false;
  });
  QObject::connect(page, &QWebEnginePage::loadFinished, window_.get(), [this](bool) {
    loads_running_ = std::max(0, loads_running_ - 1);
    navigation_asked_ = false;
  });
  // A jump inside the shown document may change the address without a load of its own.
  QObject::connect(page, &QWebEnginePage::urlChanged, window_.get(), [this](const QUrl& url) {
    if (navigation_asked_ && loads_running_ == 0 && url.toString() == asked_url_) {
      navigation_asked_ = false;
    }
  });

  QObject::connect(page, &QWebEnginePage::certificateError, window_.get(),
                   [this](const QWebEngineCertificateError& error) {
                     AnswerCertificate(error, AcceptsCertificate(error));
                   });

  // The engine has started once a blank page has loaded and answers a script.
  Navigate("about:blank");
  WaitWhileBusy(start_ms);
  if (Busy()) throw BrowserError("The browser engine did not start");
  if (Run(QStringLiteral("1+1"), start_ms).toInt() != 2) {
    throw BrowserError("The browser engine does not run scripts");
  }
}

WebBrowser::~WebBrowser() {
  // The page belongs to the view; it must go before the profile it uses.
  window_.reset();
  profile_.reset();
}

bool WebBrowser::AcceptsCertificate(const QWebEngineCertificateError& error) const {
  // Only an unknown authority is what an extra trusted one can cure; a wrong name, a date out
  // of range or a revoked certificate stays an error whoever issued it.
  if (trusted_ca_file_.empty() || !error.isOverridable() ||
      error.type() != QWebEngineCertificateError::CertificateAuthorityInvalid) {
    return false;
  }
  std::vector<std::string> chain;
  for (const QSslCertificate& cert : error.certificateChain()) {
    const QByteArray der = cert.toDer();
    chain.emplace_back(der.constData(), static_cast<std::size_t>(der.size()));
  }
  // The host as certificates carry it: an international name in its ASCII form.
  const std::string host = error.url().host(QUrl::FullyEncoded).toStdString();
  return ChainVerifiesByTrustedCA(chain, host, trusted_ca_file_).empty();
}

QString WebBrowser::CoveredBand() const {
  const QString none = QStringLiteral("0,0");
  if (!covered_area_ || !window_->isVisible()) return none;
  QWebEngineView* view = window_->view();
  const QRect shown(view->mapToGlobal(QPoint(0, 0)), view->size());
  const QRect covered = covered_area_() & shown;
  if (covered.isEmpty()) return none;
  const qreal zoom = view->zoomFactor() > 0 ? view->zoomFactor() : 1.0;
  return QStringLiteral("%1,%2")
      .arg((covered.top() - shown.top()) / zoom)
      .arg((covered.bottom() + 1 - shown.top()) / zoom);
}

void WebBrowser::SetVisible(bool visible) {
  if (visible) {
    window_->show();
    window_->raise();
  } else {
    window_->hide();
  }
}

bool WebBrowser::Visible() { return window_->isVisible(); }

void WebBrowser::Navigate(const std::string& url) {
  QUrl target(QString::fromStdString(url));
  if (!target.isValid()) throw BrowserError("Invalid address " + url);
  asked_url_ = target.toString();
  navigation_asked_ = true;
  window_->view()->load(target);
}

bool WebBrowser::Busy() { return navigation_asked_ || loads_running_ > 0; }

void WebBrowser::WaitWhileBusy(int max_ms) {
  if (!Busy() || max_ms <= 0) return;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  // Busy ends with a finished load or with a jump inside the document (no load of its own);
  // a short check covers both.
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [this, &loop] {
    if (!Busy()) loop.quit();
  });
  deadline.start(max_ms);
  check.start(10);
  loop.exec();
}

QVariant WebBrowser::Run(const QString& code, int timeout_ms) {
  return RunAndWait(*window_->page(), code, timeout_ms);
}

// Calls a member of the page's text-range script. A document the script has not reached
// (a page that is not HTML, say) gets it installed first.
QVariant WebBrowser::CallRanges(const QString& call) {
  const QString code = QStringLiteral(
                           "(function(){try{if(!window.__vmr)return{missing:true};"
                           "return{ok:true,v:window.__vmr.%1};}"
                           "catch(e){return{ok:false,e:String(e)};}})()")
                           .arg(call);
  QVariantMap answer = Run(code, kScriptTimeoutMs).toMap();
  if (answer.value(QStringLiteral("missing")).toBool()) {
    Run(RangeScript(), kScriptTimeoutMs);
    answer = Run(code, kScriptTimeoutMs).toMap();
  }
  if (!answer.value(QStringLiteral("ok")).toBool()) {
    QString error = answer.value(QStringLiteral("e")).toString();
    throw BrowserError("Browser script failed: " +
                       (error.isEmpty() ? std::string("no document") : error.toStdString()));
  }
  return answer.value(QStringLiteral("v"));
}

void WebBrowser::ForgetRange(const QString& id) {
  // Fire and forget: a range being freed needs no answer.
  if (window_) {
    window_->page()->runJavaScript(
        QStringLiteral("window.__vmr&&window.__vmr.free(\"%1\")").arg(id), kWorld);
  }
}

int WebBrowser::AnsweredDialogs() { return window_->page()->dialogs() + *loader_dialogs_; }

std::unique_ptr<LoaderPage> WebBrowser::CreateLoaderPage() {
  if (!light_loads_) light_loads_ = std::make_unique<LightLoads>();
  return std::make_unique<WebLoaderPage>(
      profile_.get(), light_loads_.get(), loader_dialogs_,
      [this](const QWebEngineCertificateError& error) { return AcceptsCertificate(error); });
}

std::string WebBrowser::DocumentUrl() { return window_->page()->url().toString().toStdString(); }

std::string WebBrowser::DocumentTitle() {
  return CallRanges(QStringLiteral("title()")).toString().toStdString();
}

std::vector<std::string> WebBrowser::DocumentLinks() {
  std::vector<std::string> links;
  for (const QVariant& link : CallRanges(QStringLiteral("links()")).toList()) {
    links.push_back(link.toString().toStdString());
  }
  return links;
}

std::unique_ptr<TextRange> WebBrowser::CreateBodyTextRange() {
  QString id = CallRanges(QStringLiteral("body()")).toString();
  if (id.isEmpty()) throw BrowserError("The document has no body");
  return std::make_unique<WebTextRange>(*this, id);
}

WebTextRange::WebTextRange(WebBrowser& browser, QString id)
    : browser_(browser), id_(std::move(id)) {}

WebTextRange::~WebTextRange() { browser_.ForgetRange(id_); }

WebTextRange& WebTextRange::Peer(TextRange& other) {
  auto* peer = dynamic_cast<WebTextRange*>(&other);
  if (!peer || &peer->browser_ != &browser_) throw BrowserError("Range of another browser");
  return *peer;
}

QVariant WebTextRange::Call(const QString& member, const QString& args) {
  QString call = member + QStringLiteral("(\"") + id_ + QLatin1Char('"');
  if (!args.isEmpty()) call += QLatin1Char(',') + args;
  return browser_.CallRanges(call + QLatin1Char(')'));
}

std::string WebTextRange::Text() { return Call(QStringLiteral("text")).toString().toStdString(); }

void WebTextRange::SetEndPoint(const std::string& how, TextRange& other) {
  WebTextRange& peer = Peer(other);
  Call(QStringLiteral("setEndPoint"),
       JsString(how) + QStringLiteral(",\"") + peer.id_ + QLatin1Char('"'));
}

bool WebTextRange::findText(const std::string& text) {
  return Call(QStringLiteral("findText"), JsString(text)).toBool();
}

int WebTextRange::CompareEndPoints(const std::string& how, TextRange& other) {
  WebTextRange& peer = Peer(other);
  return Call(QStringLiteral("compareEndPoints"),
              JsString(how) + QStringLiteral(",\"") + peer.id_ + QLatin1Char('"'))
      .toInt();
}

// In the active selection colours: the search bar keeps the focus while F3 steps through a page,
// and an inactive selection would hardly show.
void WebTextRange::select() {
  const QPalette palette = browser_.window()->palette();
  const QString background = palette.color(QPalette::Active, QPalette::Highlight).name();
  const QString text = palette.color(QPalette::Active, QPalette::HighlightedText).name();
  Call(QStringLiteral("select"),
       JsString(background.toStdString()) + QLatin1Char(',') + JsString(text.toStdString()));
}

void WebTextRange::scrollIntoView() {
  Call(QStringLiteral("scrollIntoView"), browser_.CoveredBand());
}

}  // namespace vellumark
