// The doubles are shared by every layer's tests, so their scripted behaviour is pinned here.
#include <gtest/gtest.h>

#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_event_pump.h"

namespace vellumark::testing {
namespace {

TEST(ScriptedDialogs, RecordsBoxesAndAnswersFromScriptThenAsIfClosed) {
  ScriptedDialogs d;
  d.answers.push_back(kButtonYes);
  EXPECT_EQ(d.Confirm("Overwrite?", kYesNoCancel), kButtonYes);
  EXPECT_EQ(d.Confirm("Again?", kYesNoCancel), kButtonCancel);
  EXPECT_EQ(d.Confirm("Sure?", kYesNo), kButtonNo);
  d.Error("Bad.");
  ASSERT_EQ(d.messages.size(), 4u);
  EXPECT_EQ(d.messages[3].kind, MessageKind::kError);
  EXPECT_EQ(d.Texts()[0], "Overwrite?");
  EXPECT_FALSE(d.OpenFileName(kArchiveFileFilter).has_value());
  d.file_answers.push_back("/tmp/a.kvx");
  EXPECT_EQ(d.SaveFileName(kArchiveFileFilter).value(), "/tmp/a.kvx");
}

TEST(ScriptedEventPump, HookSeesEveryPump) {
  ScriptedEventPump pump;
  long seen = 0;
  pump.on_pump = [&](long n) { seen = n; };
  pump.ProcessEvents();
  pump.ProcessEventsFor(1);
  EXPECT_EQ(seen, 2);
}

TEST(FakeBrowser, TextRangesFindCompareAndMoveEndPoints) {
  FakeBrowser b;
  b.pages["http://h/"] = {"T", {"http://h/a"}, "beta Alpha beta"};
  b.busy_polls = 1;
  b.Navigate("http://h/");
  EXPECT_TRUE(b.Busy());
  EXPECT_FALSE(b.Busy());
  EXPECT_EQ(b.DocumentTitle(), "T");
  auto doc = b.CreateBodyTextRange();
  auto r = b.CreateBodyTextRange();
  ASSERT_TRUE(r->findText("alpha"));
  EXPECT_EQ(r->Text(), "Alpha");
  EXPECT_EQ(doc->CompareEndPoints("StartToStart", *r), -1);
  r->SetEndPoint("StartToEnd", *r);
  r->SetEndPoint("EndToEnd", *doc);
  EXPECT_EQ(r->Text(), " beta");
  EXPECT_TRUE(r->findText("BETA"));
  EXPECT_FALSE(r->findText("alpha"));
  b.fail_next = true;
  EXPECT_THROW(b.DocumentUrl(), BrowserError);
}

}  // namespace
}  // namespace vellumark::testing
