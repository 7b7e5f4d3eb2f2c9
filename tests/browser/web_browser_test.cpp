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
