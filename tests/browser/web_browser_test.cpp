// The WebEngine browser, headless, on local pages: the document members and the text ranges
// the indexer and find-in-page rely on; pages over TLS from a loopback server, accepted only
// with a certificate from an extra trusted authority.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "browser/web_browser.h"
#include "indexer/site_server.h"
#include "support/loopback_http_server.h"
#include "support/test_certificates.h"

namespace vellumark {

class WebBrowserTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<WebBrowser> browser_;
  QTemporaryDir dir_;
  testing::TestCertificates certs_;

  std::string Write(const QString& name, const QByteArray& html) {
    QFile f(dir_.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(html);
    f.close();
    return QUrl::fromLocalFile(dir_.filePath(name)).toString().toStdString();
  }

  // Loads a page from a TLS server showing `cert` and tells whether the page itself arrived.
  bool LoadsOverTls(const std::string& cert) {
    testing::LoopbackHttpServer server;
    server.UseTls(cert, certs_.key);
    server.SetDefault(testing::ServerReply::Text(testing::HttpResponse(
        "200 OK", {"Content-Type: text/html"},
        "<html><head><title>Secure</title></head><body>over tls</body></html>")));
    bool ok = false;
    auto finished = QObject::connect(browser_->window()->page(), &QWebEnginePage::loadFinished,
                                     [&ok](bool loaded) { ok = loaded; });
    browser_->Navigate("https://127.0.0.1:" + std::to_string(server.port()) + "/");
    browser_->WaitWhileBusy(20000);
    QObject::disconnect(finished);
    if (browser_->Busy() || !ok) return false;
    return browser_->DocumentTitle() == "Secure" &&
           browser_->CreateBodyTextRange()->Text() == "over tls";
  }

  void Load(const std::string& url) {
    browser_->Navigate(url);
    QVERIFY(browser_->Busy());
    browser_->WaitWhileBusy(20000);
    QVERIFY(!browser_->Busy());
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    browser_ = std::make_unique<WebBrowser>();
  }
  void cleanupTestCase() { browser_.reset(); }

  // The engine remembers a certificate it once accepted for a host, so the refusals come
  // before the one page that is accepted.
  void tlsPagesLoadOnlyFromTheExtraTrustedAuthority() {
    std::string log;
    QVERIFY2(testing::MakeTestCertificates(&certs_, &log), log.c_str());
    QVERIFY(!LoadsOverTls(certs_.localhost));  // no extra authorities named
    browser_->SetTrustedCAFile(certs_.ca);
    QVERIFY(!LoadsOverTls(certs_.untrusted));
    QVERIFY(!LoadsOverTls(certs_.other_host));
    QVERIFY(!LoadsOverTls(certs_.expired));
    QVERIFY(LoadsOverTls(certs_.localhost));
    browser_->SetTrustedCAFile({});
  }

  void readsTitleLinksAndRenderedText() {
    std::string url = Write("page.html",
                            "<html><head><title>Test Page</title>"
                            "<style>p{color:red}</style></head><body>"
                            "<p>Gr\xc3\xbc\xc3\x9f"
                            "e <a href='a.html'>one</a></p>"
                            "<a href='sub/b.html#x'>two</a><a href='http://127.0.0.1:9/c'>x</a>"
                            "<script>var notText = 'scripted';</script>"
                            "<div style='display:none'>hidden words</div></body></html>");
    Load(url);
    QCOMPARE(browser_->DocumentUrl(), url);
    QCOMPARE(browser_->DocumentTitle(), std::string("Test Page"));
    std::string base = QUrl::fromLocalFile(dir_.path() + "/").toString().toStdString();
    std::vector<std::string> expected = {base + "a.html", base + "sub/b.html#x",
                                         "http://127.0.0.1:9/c"};
    QCOMPARE(browser_->DocumentLinks(), expected);
    std::string text = browser_->CreateBodyTextRange()->Text();
    QVERIFY2(text.find("Gr\xc3\xbc\xc3\x9f"
                       "e one") != std::string::npos,
             text.c_str());
    QVERIFY(text.find("scripted") == std::string::npos);
    QVERIFY(text.find("hidden") == std::string::npos);
  }

  void findsWordsContinuesAfterThemAndComparesEndPoints() {
    Load(Write("find.html",
               "<html><body><p>beta Alpha</p><p>gamma <b>alp</b>ha  beta</p>"
               "<div style='display:none'>alpha</div><script>x='alpha'</script>"
               "<p>last</p></body></html>"));
    auto doc = browser_->CreateBodyTextRange();
    auto found = browser_->CreateBodyTextRange();
    QVERIFY(found->findText("ALPHA"));
    QCOMPARE(found->Text(), std::string("Alpha"));
    QCOMPARE(doc->CompareEndPoints("StartToStart", *found), -1);
    QCOMPARE(found->CompareEndPoints("StartToStart", *doc), 1);
    QCOMPARE(found->CompareEndPoints("StartToStart", *found), 0);

    // Continue after the occurrence: the range becomes the rest of the body.
    found->SetEndPoint("StartToEnd", *found);
    found->SetEndPoint("EndToEnd", *doc);
    QCOMPARE(found->CompareEndPoints("EndToEnd", *doc), 0);
    QVERIFY(found->findText("alpha"));  // spread over two elements
    QCOMPARE(found->Text(), std::string("alpha"));
    found->select();
    found->scrollIntoView();
    found->SetEndPoint("StartToEnd", *found);
    found->SetEndPoint("EndToEnd", *doc);
    QVERIFY(!found->findText("alpha"));  // neither hidden nor script text counts
    QVERIFY(found->findText("last"));

    // Runs of white space and the change of paragraph read as one blank.
    auto phrase = browser_->CreateBodyTextRange();
    QVERIFY(phrase->findText("alpha beta"));
    QCOMPARE(phrase->Text(), std::string("alpha  beta"));
    auto across = browser_->CreateBodyTextRange();
    QVERIFY(across->findText("Alpha gamma"));

    // The earliest of two words, the way find-in-page chooses: "beta" starts first.
    auto earliest = browser_->CreateBodyTextRange();
    auto probe = browser_->CreateBodyTextRange();
    earliest->SetEndPoint("StartToEnd", *probe);
    QCOMPARE(earliest->CompareEndPoints("StartToStart", *doc), 1);
    QVERIFY(probe->findText("alpha"));
    QCOMPARE(probe->CompareEndPoints("StartToStart", *earliest), -1);
    earliest->SetEndPoint("StartToStart", *probe);
    auto beta = browser_->CreateBodyTextRange();
    QVERIFY(beta->findText("beta"));
    QCOMPARE(beta->CompareEndPoints("StartToStart", *earliest), -1);

    QVERIFY(!browser_->CreateBodyTextRange()->findText("missing"));
    QVERIFY(!browser_->CreateBodyTextRange()->findText(""));
    QVERIFY_THROWS_EXCEPTION(BrowserError, doc->SetEndPoint("Sideways", *found));
  }

  void rangesOfAnEarlierDocumentFail() {
    Load(Write("one.html", "<html><body>one</body></html>"));
    auto old = browser_->CreateBodyTextRange();
    Load(Write("two.html", "<html><body>two</body></html>"));
    QVERIFY_THROWS_EXCEPTION(BrowserError, old->Text());
    QCOMPARE(browser_->CreateBodyTextRange()->Text(), std::string("two"));
  }

  void visibleShowsAndHidesTheWindow() {
    browser_->SetVisible(true);
    QVERIFY(browser_->Visible());
    browser_->SetVisible(false);
    QVERIFY(!browser_->Visible());
  }

  void aJumpInsideTheDocumentEndsBusy() {
    std::string url =
        Write("anchors.html", "<html><body><p>top</p><p id='x'>there</p></body></html>");
    Load(url);
    browser_->Navigate(url + "#x");
    browser_->WaitWhileBusy(10000);
    QVERIFY(!browser_->Busy());
    QCOMPARE(browser_->DocumentUrl(), url + "#x");
  }

  void aPageThatAsksBeforeLeavingIsLeft() {
    const std::string stay = Write(
        "stay.html",
        "<html><body>stay<script>window.onbeforeunload = function(e) {"
        "e.preventDefault(); e.returnValue = 'stay'; return 'stay'; };</script></body></html>");
    Load(stay);
    // The engine asks before leaving only a page the user has touched.
    browser_->SetVisible(true);
    QWidget* page = browser_->window()->view()->focusProxy();
    QVERIFY(page != nullptr);
    QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::qWait(200);
    const int answered = browser_->AnsweredDialogs();
    const std::string left = Write("left.html", "<html><body>left</body></html>");
    browser_->Navigate(left);
    browser_->WaitWhileBusy(20000);
    browser_->SetVisible(false);
    QVERIFY(!browser_->Busy());
    QCOMPARE(browser_->DocumentUrl(), left);
    QCOMPARE(browser_->AnsweredDialogs(), answered + 1);
  }

  // Loader pages load side by side and read what the shown page reads, in one call; they fetch
  // no images or fonts, answer script dialogs (counted with the browser's) and open no windows.
  void loaderPagesReadAsTheShownPageWithoutImagesOrDialogs() {
    testing::SiteServer site;
    const std::string html =
        "<html><head><title>Loaded</title><style>@font-face{font-family:f;src:url(/f.woff)}"
        "body{font-family:f}</style></head><body><p>Seen <b>text</b></p><img src='/i.png'>"
        "<a href='/x.html#y'>x</a><div hidden>not seen</div>"
        "<script>alert('hi'); window.open('/w.html');</script></body></html>";
    site.SetPage("/a.html", testing::SitePage{"text/html", html});
    site.SetPage("/b.html", testing::SitePage{"text/html", html});
    const int answered = browser_->AnsweredDialogs();
    std::unique_ptr<LoaderPage> a = browser_->CreateLoaderPage();
    std::unique_ptr<LoaderPage> b = browser_->CreateLoaderPage();
    QVERIFY(a && b && a->Ready());
    a->Load(site.Origin() + "/a.html");
    b->Load(site.Origin() + "/b.html");
    QVERIFY(!a->Ready() && !b->Ready());
    for (int i = 0; i < 200 && !(a->Ready() && b->Ready()); ++i) a->WaitReady(100);
    QVERIFY(a->Ready() && b->Ready());
    const PageDocument read = a->Read();
    QCOMPARE(b->Read().text, read.text);

    Load(site.Origin() + "/a.html");
    QCOMPARE(read.url, browser_->DocumentUrl());
    QCOMPARE(read.title, browser_->DocumentTitle());
    QCOMPARE(read.links, browser_->DocumentLinks());
    QCOMPARE(read.text, browser_->CreateBodyTextRange()->Text());
    QCOMPARE(browser_->AnsweredDialogs(), answered + 3);  // two loader pages, the shown one
    QCOMPARE(site.Count("GET /w.html"), 0);
    // The shown page fetched the image and the font once; the loader pages never did.
    QVERIFY(site.Count("GET /i.png") <= 1);
    QVERIFY(site.Count("GET /f.woff") <= 1);

    // A stopped load leaves the page ready for the next one.
    site.SetPage("/hang.html", testing::SitePage{"text/html", "", true});
    a->Load(site.Origin() + "/hang.html");
    a->WaitReady(200);
    QVERIFY(!a->Ready());
    a->Stop();
    QVERIFY(a->Ready());
    a->Load(site.Origin() + "/b.html");
    for (int i = 0; i < 200 && !a->Ready(); ++i) a->WaitReady(100);
    QCOMPARE(a->Read().title, std::string("Loaded"));
  }

  void aFailedLoadEndsBusy() {
    browser_->Navigate("http://127.0.0.1:9/nothing-listens-here");
    browser_->WaitWhileBusy(20000);
    QVERIFY(!browser_->Busy());
  }
};

}  // namespace vellumark

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  vellumark::WebBrowserTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "web_browser_test.moc"
