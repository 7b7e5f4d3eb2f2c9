// F3 from the search bar on a page of the real browser, headless: text out of sight is passed
// over, and the found text ends up in the view, clear of the always-on-top bar that covers the
// top of the page.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTest>
#include <QWebEngineView>

#include "app/search_bar_window.h"
#include "browser/web_browser.h"
#include "shell/recording_search_bar_view.h"
#include "store/data_module.h"
#include "support/scripted_dialogs.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

class NoStatus final : public StatusView {
 public:
  void ShowStatus(const std::string&) override {}
};

// Four places of the sample that a reader cannot see, before the one that shows far down.
constexpr char kPage[] =
    "<html><head><style>p{margin:0 0 12px}"
    ".menu{height:0;overflow:hidden}</style></head><body>"
    "<nav style='display:none'>logging menu</nav>"
    "<div style='visibility:hidden'>logging hidden</div>"
    "<details><summary>More</summary>logging folded <b>logging</b></details>"
    "<ul class='menu'><li>logging collapsed</li></ul>"
    "%1<p id='target'>the logging module</p>%1</body></html>";

}  // namespace

class FindInPageWindowTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder folder_;
  ProgramContext context_;
  testing::ScriptedDialogs dialogs_;
  testing::ScriptedDesktop desktop_;
  NoStatus status_;
  std::unique_ptr<WebBrowser> browser_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<TfmKivMain> bar_;

 private slots:
  void initTestCase() {
    context_.program_folder = context_.db_root_folder = folder_.path();
    browser_ = std::make_unique<WebBrowser>();
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    bar_ = std::make_unique<TfmKivMain>(context_, dialogs_, desktop_);
    bar_->handlers().Attach(*dm_, *browser_);
    bar_->handlers().StartSearch(status_);
    browser_->SetCoveredArea([this] { return bar_->frameGeometry(); });
  }
  void cleanupTestCase() {
    bar_.reset();
    browser_.reset();
    dm_.reset();
  }

  void f3SelectsTheFirstVisibleMatchAndKeepsItClearOfTheBar() {
    QString filler;
    for (int i = 0; i < 60; ++i) filler += QStringLiteral("<p>filler line %1</p>").arg(i);
    QFile page(QString::fromStdString(folder_.path() + "page.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write(QString::fromLatin1(kPage).arg(filler).toUtf8());
    page.close();

    BrowserWindow* window = browser_->window();
    window->setGeometry(0, 0, 800, 500);
    browser_->SetVisible(true);
    browser_->Navigate("file://" + folder_.path() + "page.html");
    browser_->WaitWhileBusy(20000);
    QVERIFY(!browser_->Busy());
    // The bar lies over the top of the page.
    const QPoint view_top = window->view()->mapToGlobal(QPoint(0, 0));
    bar_->move(view_top + QPoint(60, 10));
    bar_->show();
    QVERIFY(QTest::qWaitForWindowExposed(bar_.get()));
    const int covered_bottom = bar_->frameGeometry().bottom() + 1 - view_top.y();

    auto* box = bar_->findChild<QComboBox*>(QStringLiteral("edSearchText"));
    box->setEditText(QStringLiteral("logging"));
    QTest::keyClick(box, Qt::Key_F3);
    QCOMPARE(dialogs_.Texts(), std::vector<std::string>{});

    const QVariantMap shown =
        browser_
            ->Run(QStringLiteral(
                "(function(){const s=getSelection();const "
                "r=s.getRangeAt(0).getBoundingClientRect();"
                "return {text:s.toString(),id:s.anchorNode.parentElement.id,top:r.top,"
                "bottom:r.bottom,height:innerHeight,"
                "colour:getComputedStyle(document.body,'::selection').backgroundColor};})()"))
            .toMap();
    QCOMPARE(shown.value("text").toString(), QStringLiteral("logging"));
    QCOMPARE(shown.value("id").toString(), QStringLiteral("target"));
    const double zoom = window->view()->zoomFactor();
    QVERIFY2(shown.value("top").toDouble() * zoom >= covered_bottom,
             qPrintable(QStringLiteral("top %1, bar ends at %2")
                            .arg(shown.value("top").toDouble())
                            .arg(covered_bottom)));
    QVERIFY(shown.value("bottom").toDouble() <= shown.value("height").toDouble());
    // Shown in the active highlight colour, whichever window has the focus.
    const QColor highlight = window->palette().color(QPalette::Active, QPalette::Highlight);
    QCOMPARE(shown.value("colour").toString(), QStringLiteral("rgb(%1, %2, %3)")
                                                   .arg(highlight.red())
                                                   .arg(highlight.green())
                                                   .arg(highlight.blue()));
  }
};

}  // namespace vellumark

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  vellumark::FindInPageWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "find_in_page_window_test.moc"
