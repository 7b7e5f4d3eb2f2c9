// The naive floor of a browser crawl: loads the addresses of a list in Qt WebEngine one by one,
// headless, and reads each page's title, links and body text with one script call; nothing is
// recorded. The indexing run with pages in flight is measured against it.
//
// Usage: naive_floor URL_FILE [--view | --show] [--light]
//   URL_FILE  one address a line
//   --view    load in a (hidden) view, as the browser window does, instead of a page alone
//   --show    load in a view that is shown (painted; offscreen under a headless platform)
//   --light   keep images, media and fonts out, as the indexer's loader pages do
// Prints the pages, the seconds, the pages per second, and the bytes of text read.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <cstdio>
#include <memory>

namespace {

class Light final : public QWebEngineUrlRequestInterceptor {
 public:
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    switch (info.resourceType()) {
      case QWebEngineUrlRequestInfo::ResourceTypeImage:
      case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
      case QWebEngineUrlRequestInfo::ResourceTypeMedia:
      case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
        info.block(true);
        break;
      default:
        break;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: naive_floor URL_FILE [--view | --show] [--light]\n");
    return 2;
  }
  bool view_mode = false, light = false, show = false;
  for (int i = 2; i < argc; ++i) {
    if (QString(argv[i]) == "--view") view_mode = true;
    if (QString(argv[i]) == "--show") show = view_mode = true;
    if (QString(argv[i]) == "--light") light = true;
  }
  QFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::ReadOnly)) return 2;
  QStringList urls;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (!line.trimmed().isEmpty()) urls << QString::fromUtf8(line.trimmed());
  }

  QWebEngineProfile profile;
  Light interceptor;
  std::unique_ptr<QWebEngineView> view;
  QWebEnginePage* page = nullptr;
  std::unique_ptr<QWebEnginePage> own_page;
  if (view_mode) {
    view = std::make_unique<QWebEngineView>();
    view->setPage(new QWebEnginePage(&profile, view.get()));
    view->resize(900, 600);
    if (show) view->show();
    page = view->page();
  } else {
    own_page = std::make_unique<QWebEnginePage>(&profile);
    page = own_page.get();
  }
  if (light) {
    page->setUrlRequestInterceptor(&interceptor);
    page->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
  }

  QElapsedTimer clock;
  clock.start();
  qint64 text_bytes = 0;
  for (const QString& url : urls) {
    QEventLoop loop;
    auto finished = QObject::connect(page, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
    page->load(QUrl(url));
    loop.exec();
    QObject::disconnect(finished);
    QVariant answer;
    page->runJavaScript(
        "(function(){var b=document.body||document.documentElement;return{t:document.title,"
        "l:Array.from(document.links,function(a){return a.href;}),x:b?b.innerText:''};})()",
        [&](const QVariant& v) {
          answer = v;
          loop.quit();
        });
    loop.exec();
    text_bytes += answer.toMap().value("x").toString().toUtf8().size();
  }
  const double seconds = clock.elapsed() / 1000.0;
  std::printf("pages %lld seconds %.2f pages/s %.2f text %lld\n",
              static_cast<long long>(urls.size()), seconds, urls.size() / seconds,
              static_cast<long long>(text_bytes));
  own_page.reset();
  view.reset();
  return 0;
}
