// Find in page over the fake browser's text ranges: the order of words, stepping, the
// wrap-around through the message, restarts and failures.
#include "search/find_in_page.h"

#include <gtest/gtest.h>

#include "search_fixture.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"

namespace vellumark::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FindInPageTest : public ::testing::Test {
 protected:
  void Show(const std::string& url, const std::string& text) {
    browser_.pages[url] = {"", {}, text};
    browser_.Navigate(url);
  }

  // Presses Next and returns the selected text, or "-" when nothing was selected.
  std::string Press(const std::string& sample) {
    view_.text = sample;
    int before = browser_.selections;
    find_.bbNextClick();
    if (browser_.selections == before) return "-";
    const std::string& text = browser_.pages[browser_.DocumentUrl()].text;
    return std::to_string(browser_.selected_start) + ":" +
           text.substr(browser_.selected_start, browser_.selected_end - browser_.selected_start);
  }

  ProgramContext context_;
  FakeBrowser browser_;
  ScriptedDialogs dialogs_;
  RecordingSearchView view_;
  TFindInPage find_{context_, browser_, dialogs_, view_};
};

TEST_F(FindInPageTest, TheWordThatComesFirstIsSelectedEachTime) {
  Show("http://h/a", "one beta two Alpha three beta");
  EXPECT_EQ(Press("alpha beta"), "4:beta");
  EXPECT_EQ(Press("alpha beta"), "13:Alpha");
  EXPECT_EQ(Press("alpha beta"), "25:beta");
  EXPECT_EQ(Press("alpha beta"), "-");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Text 'alpha beta' not found."));
  EXPECT_EQ(dialogs_.messages[0].kind, MessageKind::kInformation);
  EXPECT_FALSE(context_.FindActive);
  EXPECT_EQ(Press("alpha beta"), "4:beta");  // round again from the top
  EXPECT_TRUE(browser_.Visible());
}

TEST_F(FindInPageTest, TwoOccurrencesThenTheMessageThenTheFirstAgain) {
  Show("http://h/a", "alpha and ALPHA");
  EXPECT_EQ(Press("alpha"), "0:alpha");
  EXPECT_TRUE(context_.FindActive);
  EXPECT_EQ(Press("alpha"), "10:ALPHA");
  EXPECT_EQ(Press("alpha"), "-");
  EXPECT_EQ(Press("alpha"), "0:alpha");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Text 'alpha' not found."));
}

TEST_F(FindInPageTest, TiesGoToTheEarlierWordOfTheSample) {
  Show("http://h/a", "xx catalog cat");
  EXPECT_EQ(Press("cat catalog"), "3:cat");
  EXPECT_EQ(Press("catalog cat"), "11:cat");  // goes on after the first "cat"
  context_.FindActive = false;
  EXPECT_EQ(Press("catalog cat"), "3:catalog");
}

TEST_F(FindInPageTest, RestartsAtTheTopAfterAnEditOrOnAnotherPage) {
  Show("http://h/a", "alpha beta alpha");
  EXPECT_EQ(Press("alpha"), "0:alpha");
  context_.FindActive = false;  // what editing the sample or changing the mode does
  EXPECT_EQ(Press("alpha"), "0:alpha");
  EXPECT_EQ(Press("alpha"), "11:alpha");
  Show("http://h/b", "gamma alpha");
  EXPECT_EQ(Press("alpha"), "6:alpha");
  EXPECT_EQ(find_.FindDocumentUrl(), "http://h/b");
}

TEST_F(FindInPageTest, ExactPhraseIsOneText) {
  Show("http://h/a", "two, words and two words");
  view_.mode = smExactPhrase;
  EXPECT_EQ(Press("two words"), "15:two words");
  view_.mode = smAnyWords;
  context_.FindActive = false;
  EXPECT_EQ(Press("two words"), "0:two");
}

TEST_F(FindInPageTest, BusyBrowserAndBrowserErrors) {
  Show("http://h/a", "alpha alpha");
  EXPECT_EQ(Press("alpha"), "0:alpha");
  browser_.busy_polls = 1;
  browser_.Navigate("http://h/a");  // the same page again, still loading
  EXPECT_EQ(Press("alpha"), "-");
  EXPECT_FALSE(context_.FindActive);
  EXPECT_EQ(Press("alpha"), "0:alpha");  // starts at the top
  browser_.fail_next = true;
  EXPECT_EQ(Press("alpha"), "-");
  EXPECT_FALSE(context_.FindActive);
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("IE Browser busy.", "Text 'alpha' not found."));
}

TEST_F(FindInPageTest, SampleChecks) {
  Show("http://h/a", "alpha");
  context_.FindActive = true;
  EXPECT_EQ(Press(""), "-");
  EXPECT_EQ(view_.focused, 1);
  EXPECT_EQ(Press(" ,, "), "-");
  EXPECT_TRUE(context_.FindActive);  // state unchanged by either
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Enter search sample in the text field.",
                                            "Cannot recognize search text."));
  EXPECT_EQ(dialogs_.messages[0].kind, MessageKind::kError);
}

}  // namespace
}  // namespace vellumark::testing
