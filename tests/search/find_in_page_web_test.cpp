// Find in page and the whole Find with the real browser (WebEngine, offscreen): which
// occurrence is selected, the not-found message and the wrap-around, restarts, the busy
// message, and F3 over the result page a Find has just shown.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "browser/web_browser.h"
#include "search/find_in_page.h"
#include "search_fixture.h"
#include "shell/options.h"

namespace vellumark::testing {
namespace {

using ::testing::ElementsAre;

WebBrowser* g_browser = nullptr;  // one engine for the whole binary

class WebFindTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  // Writes a page whose words stand in spans with ids, and shows it.
  std::string Show(const QString& name, const QByteArray& body) {
    QFile f(dir_.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write("<html><head><title>t</title></head><body>" + body + "</body></html>");
    f.close();
    std::string url = QUrl::fromLocalFile(dir_.filePath(name)).toString().toStdString();
    Load(url);
    return url;
  }
  void Load(const std::string& url) {
    g_browser->Navigate(url);
    while (g_browser->Busy()) g_browser->WaitWhileBusy(100);
  }

  // Presses Next; returns the id of the element holding the selection and its text, or "-".
  std::string Press(const std::string& sample) {
    view_.text = sample;
    dialogs_.messages.clear();
    find_.bbNextClick();
    if (!dialogs_.messages.empty()) return "-";
    QVariant v = g_browser->Run(
        "(() => { const s = window.getSelection();"
        " return s.rangeCount ? s.anchorNode.parentElement.id + ':' + s.toString() : ''; })()");
    return v.toString().toStdString();
  }

  QTemporaryDir dir_;
  ProgramContext context_;
  ScriptedDialogs dialogs_;
  RecordingSearchView view_;
  TFindInPage find_{context_, *g_browser, dialogs_, view_};
};

TEST_F(WebFindTest, TheWordThatComesFirstAfterTheLastOccurrence) {
  Show("ab.html",
       "<p><span id=b1>beta</span> one <span id=a1>Alpha</span></p>"
       "<p>two <span id=b2>BETA</span></p>");
  EXPECT_EQ(Press("alpha beta"), "b1:beta");
  EXPECT_EQ(Press("alpha beta"), "a1:Alpha");
  EXPECT_EQ(Press("alpha beta"), "b2:BETA");
  EXPECT_EQ(Press("alpha beta"), "-");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Text 'alpha beta' not found."));
  EXPECT_EQ(Press("alpha beta"), "b1:beta");
}

TEST_F(WebFindTest, TwoOccurrencesTheMessageAndAroundAgain) {
  Show("two.html", "<span id=x1>alpha</span> and <b><span id=x2>alpha</span></b>");
  EXPECT_EQ(Press("alpha"), "x1:alpha");
  EXPECT_EQ(Press("alpha"), "x2:alpha");
  EXPECT_EQ(Press("alpha"), "-");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Text 'alpha' not found."));
  EXPECT_EQ(Press("alpha"), "x1:alpha");
  // Editing the sample (which clears FindActive) starts at the top again.
  EXPECT_EQ(Press("alpha"), "x2:alpha");
  context_.FindActive = false;
  EXPECT_EQ(Press("alpha"), "x1:alpha");
}

TEST_F(WebFindTest, BusyBrowserThenATopStart) {
  Show("busy.html", "<span id=y1>gamma</span> <span id=y2>gamma</span>");
  EXPECT_EQ(Press("gamma"), "y1:gamma");
  g_browser->Navigate(QUrl::fromLocalFile(dir_.filePath("busy.html")).toString().toStdString());
  view_.text = "gamma";
  find_.bbNextClick();
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("IE Browser busy."));
  EXPECT_FALSE(context_.FindActive);
  while (g_browser->Busy()) g_browser->WaitWhileBusy(100);
  EXPECT_EQ(Press("gamma"), "y1:gamma");
}

// The whole path a user takes: Find shows the result page, F3 steps through it.
class WebSearchTest : public SearchTest {
 protected:
  void SetUp() override {
    SearchTest::SetUp();
    search_ = std::make_unique<TSearch>(context_, *dm_, *g_browser, dialogs_, view_, status_);
  }
};

TEST_F(WebSearchTest, FindShowsTheResultPageAndNextFindsTheSampleInIt) {
  AddLocation();
  AddPage(1, {{"kiwi", 1}}, "Kiwi <fruit>", "a kiwi a day");
  AddPage(2, {{"kiwi", 3}}, "More kiwi", "kiwi kiwi kiwi");
  context_.HeaderLines = DefaultHeaderLines();
  Find("kiwi");
  ASSERT_THAT(Ranking(), ElementsAre("2:3", "1:1"));
  // F3 at once: Find did not wait for the page to load, F3 does.
  dialogs_.messages.clear();
  search_->bbNextClick();  // the first "kiwi" on the page, in entry 1's title
  EXPECT_THAT(dialogs_.Texts(), ::testing::IsEmpty());
  EXPECT_EQ(g_browser->DocumentUrl(), "file://" + PagePath());
  EXPECT_EQ(g_browser->DocumentTitle(), "Vellumark Result");
  // The title with markup shows as text.
  const std::string text = g_browser->CreateBodyTextRange()->Text();
  EXPECT_NE(text.find("2. Kiwi <fruit>"), std::string::npos) << text;
  EXPECT_EQ(g_browser->Run("window.getSelection().toString()").toString().toStdString(), "kiwi");
  EXPECT_TRUE(context_.FindActive);
}

}  // namespace
}  // namespace vellumark::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  int status = 1;
  {
    vellumark::WebBrowser browser;
    vellumark::testing::g_browser = &browser;
    status = RUN_ALL_TESTS();
    vellumark::testing::g_browser = nullptr;
  }
  return status;
}
