// The result page: its lines in order, the entries, the limits, the stop questions, the text
// sample and the escaping of what comes from pages.
#include "search_fixture.h"

namespace vellumark::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

class ResultPageTest : public SearchTest {
 protected:
  // `n` pages 1..n holding "common" with weight 1, in one word record written directly.
  void AddCommonPages(int n) {
    std::string list;
    for (int no = 1; no <= n; ++no) {
      AddPageRecord(no, "p" + std::to_string(no) + ".html", "Page " + std::to_string(no));
      AppendPosting(list, no, 1);
    }
    PutWordRecord(2, "common", list);
  }

  std::size_t CountLinks(const std::vector<std::string>& lines) {
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.rfind("<b>", 0) == 0; });
  }
};

TEST_F(ResultPageTest, LinesInOrderWithTheHeaderAsWritten) {
  AddLocation("http://example.com/site/index.html?a=1#top");
  AddPageRecord(1, "a.html", "Alpha & Beta", "alpha text");
  AddPageRecord(2, std::string(45, 'x'), "");
  std::string list;
  AppendPosting(list, 1, 2);
  AppendPosting(list, 2, 1);
  PutWordRecord(1, "alpha", list);
  context_.HeaderLines = {"<HEAD>", "<TITLE>Mine & yours</TITLE>", "</HEAD>", "<BODY>"};
  const std::string base = "http://example.com/site/";
  EXPECT_THAT(
      Find("alpha"),
      ElementsAre(kDocTypeLine, "<HTML>", "<HEAD>", "<TITLE>Mine & yours</TITLE>", "</HEAD>",
                  "<BODY>", "<BR>Found 2 matches.<BR><BR>",
                  "<b>1. <a STYLE=\"text-decoration:underline;\"href=\"" + base +
                      "a.html\">Alpha &amp; Beta</a></b><BR><BR>",
                  "<FONT COLOR=\"#003399\"><b>Started as:</b></FONT> alpha text<BR><BR>",
                  "<b>2. <a STYLE=\"text-decoration:underline;\"href=\"" + base +
                      std::string(45, 'x') + "\">" + base + std::string(45, 'x') + "</a></b><BR>",
                  "<BR>", "</BODY>", "</HTML>"));
}

TEST_F(ResultPageTest, HeaderFallbackWhenThereAreNoHeaderLines) {
  AddLocation();
  context_.HeaderLines.clear();
  EXPECT_THAT(Find("nothing"), ElementsAre(kDocTypeLine, "<HTML>", kHeaderFallbackLine,
                                           "<BR>Found 0 matches.<BR><BR>", "</BODY>", "</HTML>"));
}

TEST_F(ResultPageTest, MarkupFromPagesIsShownAsText) {
  AddLocation();
  AddPageRecord(1, "q.html?x=\"><script>", "<script>alert('t')</script> <b>bold</b>",
                "if a < b && c > d");
  std::string list;
  AppendPosting(list, 1, 1);
  PutWordRecord(1, "tag", list);
  auto lines = Find("tag");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[4],
            "<b>1. <a STYLE=\"text-decoration:underline;\"href=\"http://example.com/site/"
            "q.html?x=&quot;&gt;&lt;script&gt;\">&lt;script&gt;alert('t')&lt;/script&gt; "
            "&lt;b&gt;bold&lt;/b&gt;</a></b><BR><BR>");
  EXPECT_EQ(lines[5],
            "<FONT COLOR=\"#003399\"><b>Started as:</b></FONT> if a &lt; b &amp;&amp; c &gt; "
            "d<BR><BR>");
}

TEST_F(ResultPageTest, AThousandMatchesAreListedOneMoreAreNot) {
  AddLocation();
  AddCommonPages(1000);
  auto lines = Find("common");
  EXPECT_THAT(lines, Contains("<BR>Found 1000 matches.<BR><BR>"));
  EXPECT_EQ(CountLinks(lines), 1000u);
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Found more then 500 matches (1000). Do you wish to "
                                            "stop search process?"));

  AddPageRecord(1001, "p1001.html");
  std::string list = dm_->tbWords2.FindKey({"common"}) ? dm_->tbWords2.Fields(1).AsBlob() : "";
  AppendPosting(list, 1001, 1);
  PutWordRecord(2, "common", list);
  lines = Find("common");
  EXPECT_THAT(lines, ElementsAre(kDocTypeLine, "<HTML>", kHeaderFallbackLine,
                                 "<BR>Found more then 1000 matches (1001). Please enter more "
                                 "specific search sample!",
                                 "</BODY>", "</HTML>"));
}

TEST_F(ResultPageTest, StopQuestionsWithoutShow) {
  AddLocation();
  AddCommonPages(501);
  // Any Words without "Show": one question, before the 501st entry.
  auto lines = Find("common");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Found more then 500 matches (501). Do you wish to "
                                            "stop search process?"));
  EXPECT_EQ(CountLinks(lines), 501u);
  // Exact Phrase asks at 10, 50, 100 and 500; Yes at 50 ends the listing there.
  dialogs_.messages.clear();
  dialogs_.answers = {kButtonNo, kButtonYes};
  lines = Find("common", smExactPhrase);
  EXPECT_THAT(dialogs_.Texts(),
              ElementsAre("Found more then 10 matches (501). Do you wish to stop search process?",
                          "Found more then 50 matches (501). Do you wish to stop search "
                          "process?"));
  EXPECT_EQ(CountLinks(lines), 50u);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3],
            "<BR>Found more then 50 matches (501). Search process interrupted by user request.");
  for (const auto& m : dialogs_.messages) {
    EXPECT_EQ(m.kind, MessageKind::kConfirmation);
    EXPECT_EQ(m.buttons, kYesNo);
  }
}

TEST_F(ResultPageTest, StopQuestionsWithShow) {
  AddLocation();
  AddCommonPages(120);
  view_.show = true;
  auto lines = Find("common");
  EXPECT_THAT(dialogs_.Texts(),
              ElementsAre("Found more then 10 matches (120). Do you wish to stop search process?",
                          "Found more then 50 matches (120). Do you wish to stop search process?",
                          "Found more then 100 matches (120). Do you wish to stop search "
                          "process?"));
  EXPECT_EQ(CountLinks(lines), 120u);
  // Every listed page was visited, and the browser ends on the result page.
  EXPECT_EQ(browser_.navigations.size(), 121u);
  EXPECT_EQ(browser_.navigations.back(), "file://" + root_ + "SrchRes.htm");

  dialogs_.messages.clear();
  dialogs_.answers = {kButtonYes};
  lines = Find("common");
  EXPECT_EQ(CountLinks(lines), 10u);
  EXPECT_THAT(lines, Contains("<BR>Found more then 10 matches (120). Search process interrupted "
                              "by user request."));
}

TEST_F(ResultPageTest, MissingPagesLeaveAGapInTheNumbering) {
  AddLocation();
  AddPageRecord(1, "a.html", "A");
  AddPageRecord(3, "c.html", "C");
  std::string list;
  AppendPosting(list, 1, 3);
  AppendPosting(list, 2, 2);  // no Files record
  AppendPosting(list, 3, 1);
  PutWordRecord(1, "gap", list);
  auto lines = Find("gap");
  EXPECT_THAT(lines, Contains("<BR>Found 3 matches.<BR><BR>"));
  EXPECT_THAT(lines, Contains(::testing::StartsWith("<b>1. ")));
  EXPECT_THAT(lines, Not(Contains(::testing::StartsWith("<b>2. "))));
  EXPECT_THAT(lines, Contains(::testing::StartsWith("<b>3. ")));
}

TEST_F(ResultPageTest, ShowVisitsEachPageForItsTextSample) {
  AddLocation();
  AddPageRecord(1, "a.html", "A", "stored start");
  AddPageRecord(2, "b.html", "B", "stored start");
  AddPageRecord(3, "c.html", "", "stored start");
  std::string list;
  for (int no : {1, 2, 3}) AppendPosting(list, no, 4 - no);
  PutWordRecord(1, "cat", list);
  const std::string base = "http://example.com/site/";
  browser_.pages[base + "a.html"] = {"A", {}, "The <Cat> sat & the Cat ran."};
  browser_.pages[base + "b.html"] = {"B", {}, "No such animal here."};
  browser_.busy_polls = 4;  // two status updates per page
  view_.show = true;
  auto lines = Find("CAT");
  // Page 1: found in its lower-cased text; pages 2 and 3: not there, so no sample line and
  // no "Started as:" either.
  EXPECT_THAT(lines, ElementsAre(kDocTypeLine, kHtmlLine, kHeaderFallbackLine,
                                 "<BR>Found 3 matches.<BR><BR>", ::testing::StartsWith("<b>1. "),
                                 "<FONT COLOR=\"#003399\"><b>Text found:</b></FONT> the "
                                 "&lt;cat&gt; sat &amp; the cat ran.<BR><BR>",
                                 ::testing::StartsWith("<b>2. "),
                                 ::testing::EndsWith("</a></b><BR>"),  // 3, without title
                                 kBodyEndLine, kHtmlEndLine));
  for (const char* page : {"a.html", "b.html", "c.html"}) {
    EXPECT_EQ(
        std::count(status_.texts.begin(), status_.texts.end(), "Opening '" + base + page + "' ..."),
        2);
  }
  EXPECT_THAT(browser_.navigations, ElementsAre(base + "a.html", base + "b.html", base + "c.html",
                                                "file://" + PagePath()));

  // A browser failure while a page is visited gives "Document not found" for that page.
  browser_.busy_polls = 0;
  browser_.fail_next = true;  // the first Navigate of the listing throws
  lines = Find("cat");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[5], kDocumentNotFoundLine);
  EXPECT_THAT(lines[6], ::testing::StartsWith("<b>2. "));  // the listing went on
  EXPECT_THAT(dialogs_.Texts(), IsEmpty());
}

TEST_F(ResultPageTest, ShowGivesUpOnAPageThatNeverLoads) {
  AddLocation();
  AddPageRecord(1, "a.html", "A", "stored start");
  std::string list;
  AppendPosting(list, 1, 1);
  PutWordRecord(1, "cat", list);
  browser_.busy_polls = -1;
  view_.show = true;
  search_->SetPageWaitMs(50);
  auto lines = Find("cat");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[5], kDocumentNotFoundLine);
  EXPECT_FALSE(search_->FindRunning());
}

TEST(TextSample, WholeTextUpTo200Bytes) {
  std::string t200(200, 'a');
  EXPECT_EQ(TextSample(t200, 150), t200);
  EXPECT_EQ(TextSample("short", 1), "short");
}

TEST(TextSample, AnchorNearTheStartCutsAtABreakBetween150And200) {
  std::string t(300, 'a');
  t[169] = ' ';  // position 170
  t[179] = ',';  // position 180: the last break at or before 200
  EXPECT_EQ(TextSample(t, 99), t.substr(0, 180) + "...");
  // Without a break character the cut is at 150.
  EXPECT_EQ(TextSample(std::string(300, 'b'), 1), std::string(150, 'b') + "...");
}

TEST(TextSample, AnchorFurtherInStartsAtABreakBefore) {
  // 201 bytes, anchor at 150: the sample starts at the first break between 50 and 100.
  std::string t(201, 'a');
  t[69] = '.';  // position 70
  t[89] = ' ';  // position 90
  EXPECT_EQ(TextSample(t, 150), "..." + t.substr(69));
  // Without a break the start is at anchor - 50; with more than 200 bytes after it, cut.
  std::string u(1000, 'c');
  for (int i = 0; i < 1000; ++i) u[i] = static_cast<char>('a' + i % 26);
  EXPECT_EQ(TextSample(u, 600), "..." + u.substr(549, 200) + "...");
  // The anchor near the end: the rest of the text.
  EXPECT_EQ(TextSample(u, 990), "..." + u.substr(939));
}

TEST(TextSample, NeverCutsInsideAUtf8Sequence) {
  // "é" is two bytes: 150 bytes of them end on a boundary, 149 + 1 would not.
  std::string t = "x";
  while (t.size() < 1000) t += "\xC3\xA9";
  std::string s = TextSample(t, 1);
  EXPECT_EQ(s, t.substr(0, 149) + "...");
  s = TextSample(t, 301);  // start at 251, inside a sequence: begin at the next whole one
  EXPECT_EQ(s.substr(0, 5), "...\xC3\xA9");
  EXPECT_EQ(s.substr(s.size() - 3), "...");
  EXPECT_EQ(s.size() % 2, 0u);  // "..." twice, then whole two-byte characters only
}

TEST(TextSample, AnchorByMode) {
  const std::string text = "one dog and one cat";
  const std::vector<std::string> words = {"cat", "dog"};
  EXPECT_EQ(SampleAnchor(text, smAnyWords, words, ""), 17u);  // the first word that occurs
  EXPECT_EQ(SampleAnchor(text, smAnyWords, {"cow", "dog"}, ""), 5u);
  EXPECT_EQ(SampleAnchor(text, smAnyWords, {"cow"}, ""), std::nullopt);
  EXPECT_EQ(SampleAnchor(text, smAllWords, words, ""), 17u);
  EXPECT_EQ(SampleAnchor(text, smAllWords, {"cat", "cow"}, ""), std::nullopt);
  EXPECT_EQ(SampleAnchor(text, smExactPhrase, {}, "one cat"), 13u);
  // The page text is lower-cased, so a sample with capitals never anchors.
  EXPECT_EQ(SampleAnchor(text, smExactPhrase, {}, "Cat"), std::nullopt);
}

TEST(ResultLines, BreakCharacters) {
  std::string breaks;
  for (int c = 0; c < 256; ++c) {
    if (IsBreakChar(static_cast<char>(c))) breaks += static_cast<char>(c);
  }
  EXPECT_EQ(breaks, "\t\n\r !\"#$%&'()*,-./:;?@[\\]^{|}");
}

}  // namespace
}  // namespace vellumark::testing
