// The Find command: checks and messages, the word lists of the three modes, the word table
// queries, the scores and their order.
#include "search_fixture.h"

namespace vellumark::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FindTest : public SearchTest {};

TEST_F(FindTest, AnyWordsWeighsEarlierWordsMore) {
  AddLocation();
  AddPage(1, {{"cat", 3}, {"dog", 5}});
  AddPage(2, {{"cat", 1}});
  AddPage(3, {{"dog", 4}});
  AddPage(4, {{"bird", 7}});
  // "cat" counts twice, "dog" once: 3 x 2 + 5 x 1 = 11 for page 1.
  Find("Cat, dog");
  EXPECT_THAT(Ranking(), ElementsAre("1:11", "3:4", "2:2"));
  EXPECT_THAT(dialogs_.Texts(), IsEmpty());
  EXPECT_FALSE(dm_->dbKiv.InTransaction());  // the search's reads leave no lock behind
}

TEST_F(FindTest, AllWordsKeepsOnlyPagesWithEveryWord) {
  AddLocation();
  AddPage(1, {{"cat", 3}, {"dog", 5}});
  AddPage(2, {{"cat", 1}});
  AddPage(3, {{"dog", 4}, {"cat", 2}});
  Find("cat dog", smAllWords);
  EXPECT_THAT(Ranking(), ElementsAre("1:11", "3:8"));

  // A second word found nowhere empties the result, though the first word occurs.
  Find("cat zebra", smAllWords);
  EXPECT_THAT(Ranking(), IsEmpty());
  EXPECT_THAT(PageLines(), ::testing::Contains("<BR>Found 0 matches.<BR><BR>"));
  // So does a later word found nowhere after an earlier intersection.
  Find("cat dog zebra", smAllWords);
  EXPECT_THAT(Ranking(), IsEmpty());
}

TEST_F(FindTest, RepeatedWordsAndSeveralMatchingRecordsAccumulate) {
  AddLocation();
  AddPage(1, {{"index", 2}, {"indexing", 3}});
  // Prefix "index" matches both records of page 1: 2 + 3, times the multiplier 2 for the
  // first of two words, plus the same again for the repeated word with multiplier 1.
  Find("index index");
  EXPECT_THAT(Ranking(), ElementsAre("1:15"));
}

TEST_F(FindTest, PrefixAndSubWordMatching) {
  AddLocation();
  AddPage(1, {{"index", 1}});
  AddPage(2, {{"indexes", 1}});
  AddPage(3, {{"indexing", 1}});
  AddPage(4, {{"reindex", 1}});
  AddPage(5, {{"indexingstrategies", 1}});  // 18 characters: Words3
  Find("index");
  EXPECT_THAT(Ranking(), ElementsAre("1:1", "2:1", "3:1", "5:1"));
  view_.sub_word = true;
  Find("index");
  EXPECT_THAT(Ranking(), ElementsAre("1:1", "2:1", "3:1", "4:1", "5:1"));
}

TEST_F(FindTest, LongWordsAreSearchedByTheirFirst24InTheTablesThatCanHoldThem) {
  AddLocation();
  const std::string word30 = "abcdefghijklmnopqrstuvwxyz1234";
  AddPage(1, {{word30, 1}});  // stored under its first 24 characters in Words3
  // Planted records that only a query of a table for shorter words would find.
  std::string list2, list3;
  AppendPosting(list2, 2, 1);
  AppendPosting(list3, 3, 1);
  PutWordRecord(1, word30.substr(0, 24), list2);
  PutWordRecord(2, word30.substr(0, 24), list3);
  // Another 30-character word sharing the first 24 matches the same record, and only that.
  Find("abcdefghijklmnopqrstuvwx999999");
  EXPECT_THAT(Ranking(), ElementsAre("1:1"));
  Find("abcdefghijklmnopqrstuvwQ99999");
  EXPECT_THAT(Ranking(), IsEmpty());

  // A word of 7 to 12 characters reads Words2 and Words3, not Words1.
  std::string list4;
  AppendPosting(list4, 4, 1);
  PutWordRecord(1, "lengthy", list4);
  AddPage(5, {{"lengthy", 2}});
  Find("lengthy", smExactPhrase);
  EXPECT_THAT(Ranking(), ElementsAre("5:2"));
}

TEST_F(FindTest, ExactPhraseComparesTheWordAsTyped) {
  AddLocation();
  AddPage(1, {{"search", 2}});
  AddPage(2, {{"searching", 1}});
  Find("Search", smExactPhrase);  // stored words are lower case
  EXPECT_THAT(Ranking(), IsEmpty());
  Find("search", smExactPhrase);
  EXPECT_THAT(Ranking(), ElementsAre("1:2"));
  view_.sub_word = true;  // "Included" has no effect on Exact Phrase
  Find("search", smExactPhrase);
  EXPECT_THAT(Ranking(), ElementsAre("1:2"));
}

TEST_F(FindTest, ExactPhraseRefusesTheLocationsDelimiters) {
  AddLocation("http://example.com/", " \t\n\r,;-");
  AddPage(1, {{"e-mail", 1}});
  Find("two words", smExactPhrase);
  Find("e-mail", smExactPhrase);
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Search sample contains search delimiters symbols.",
                                            "Search sample contains search delimiters symbols."));
  EXPECT_FALSE(std::filesystem::exists(PagePath()));
  // The same sample is fine where "-" is no delimiter.
  dm_->tbTasks.Edit();
  dm_->tbTasks.FieldByName("SearchDelimiters").SetString(" \t\n\r,;");
  dm_->tbTasks.Post();
  Find("e-mail", smExactPhrase);
  EXPECT_THAT(Ranking(), ElementsAre("1:1"));
}

TEST_F(FindTest, QuotesAndLikeCharactersInTheSampleMatchThemselves) {
  AddLocation();
  AddPage(1, {{"50%", 1}});
  AddPage(2, {{"500", 1}});
  AddPage(3, {{"o'neil", 1}});
  AddPage(4, {{"a_b", 1}});
  AddPage(5, {{"axb", 1}});
  Find("50%");
  EXPECT_THAT(Ranking(), ElementsAre("1:1"));
  Find("%");  // no page has a word starting with "%"
  EXPECT_THAT(Ranking(), IsEmpty());
  view_.sub_word = true;
  Find("%");
  EXPECT_THAT(Ranking(), ElementsAre("1:1"));
  Find("o'neil");
  EXPECT_THAT(Ranking(), ElementsAre("3:1"));
  Find("a_b");
  EXPECT_THAT(Ranking(), ElementsAre("4:1"));
  Find("x' OR '1'='1");
  EXPECT_THAT(Ranking(), IsEmpty());
  EXPECT_THAT(dialogs_.Texts(), IsEmpty());
}

TEST_F(FindTest, EqualScoresComeInPageNumberOrder) {
  AddLocation();
  for (int no : {7, 3, 9, 5}) AddPage(no, {{"tie", 2}});
  AddPage(8, {{"tie", 3}});
  AddPage(2, {{"tie", 1}});
  Find("tie");
  EXPECT_THAT(Ranking(), ElementsAre("8:3", "3:2", "5:2", "7:2", "9:2", "2:1"));
}

TEST_F(FindTest, PagesAboveTheShortFormDecode) {
  AddLocation();
  for (int no : {4096, 4097, 1048576}) AddPage(no, {{"far", 1}});
  Find("far");
  EXPECT_THAT(Ranking(), ElementsAre("4096:1", "4097:1", "1048576:1"));
}

TEST_F(FindTest, SampleChecksAndTheirMessages) {
  AddLocation();
  view_.text = "";
  search_->bbFindClick();
  EXPECT_EQ(view_.focused, 1);
  view_.history = {"Old"};
  Find(" , ,, ");
  Find("x", smInvalid);
  EXPECT_THAT(dialogs_.Texts(),
              ElementsAre("Enter search sample in the text field.", "Cannot recognize search text.",
                          "Error in search options."));
  for (const auto& m : dialogs_.messages) EXPECT_EQ(m.kind, MessageKind::kError);
  // The history got each new sample once, in front, even when it was refused later.
  EXPECT_THAT(view_.history, ElementsAre("x", " , ,, ", "Old"));
  Find("x", smInvalid);
  Find("X", smInvalid);
  EXPECT_THAT(view_.history, ElementsAre("X", "x", " , ,, ", "Old"));
  EXPECT_FALSE(std::filesystem::exists(PagePath()));
}

TEST_F(FindTest, LocationChecksAndTheirMessages) {
  Find("cat");
  EXPECT_EQ(context_.CurrentLocationNumber, -1);
  int no = AddLocation("http://example.com/", " ", false);
  Find("cat");
  EXPECT_EQ(context_.CurrentLocationNumber, no);
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("No tasks to search.", "Index not created."));
  dialogs_.messages.clear();

  // An indexed location whose folder is gone cannot be opened.
  dm_->tbTasks.Edit();
  dm_->tbTasks.FieldByName("Time_End").SetString("11:00:00");
  dm_->tbTasks.Post();
  dm_->dbKiv.Disconnect();
  std::filesystem::remove_all(dm_->LocationFolder(no));
  Find("cat");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Cannot connect to Database", "Cannot open database."));
  EXPECT_FALSE(std::filesystem::exists(PagePath()));
}

TEST_F(FindTest, OutputFileThatCannotBeCreated) {
  AddLocation();
  AddPage(1, {{"cat", 1}});
  context_.program_folder = root_ + "missing/";
  Find("cat");
  EXPECT_THAT(dialogs_.Texts(), ElementsAre("Cannot create output file."));
  EXPECT_THAT(browser_.navigations, IsEmpty());
}

TEST_F(FindTest, ShowsTheResultPageAndReenablesTheSearchBar) {
  AddLocation();
  AddPage(1, {{"cat", 1}});
  // A page that never finishes loading does not hold the Find.
  browser_.busy_polls = -1;
  Find("cat");
  EXPECT_THAT(browser_.navigations, ElementsAre("file://" + root_ + "SrchRes.htm"));
  EXPECT_TRUE(browser_.Visible());
  EXPECT_THAT(view_.enabled_log, ElementsAre(false, true));
  EXPECT_FALSE(search_->FindRunning());
  EXPECT_EQ(search_->BaseAddress(), "http://example.com/site/");
}

TEST_F(FindTest, NextRightAfterFindWaitsForTheResultPage) {
  AddLocation();
  AddPage(1, {{"cat", 1}});
  browser_.pages["file://" + root_ + "SrchRes.htm"] = {"Result", {}, "1. a cat"};
  browser_.busy_polls = 3;
  Find("cat");
  search_->bbNextClick();
  EXPECT_THAT(dialogs_.Texts(), IsEmpty());  // not "IE Browser busy."
  EXPECT_EQ(browser_.selections, 1);
}

TEST_F(FindTest, NoSecondFindNextOrIndexingWhileAListingRuns) {
  AddLocation();
  AddPage(1, {{"cat", 1}}, "One", "cat one");
  AddPage(2, {{"cat", 1}}, "Two", "cat two");
  view_.show = true;
  browser_.busy_polls = 1;
  int inner = 0;
  status_.on_status = [&](const std::string&) {
    // Events that run while a listed page loads.
    EXPECT_TRUE(search_->FindRunning());
    EXPECT_TRUE(context_.find_running);  // what the indexer looks at
    EXPECT_FALSE(view_.enabled);
    ++inner;
    view_.text = "dog";
    search_->bbFindClick();
    search_->bbNextClick();
    view_.text = "cat";
  };
  Find("cat");
  EXPECT_EQ(inner, 2);
  EXPECT_FALSE(context_.find_running);
  EXPECT_THAT(dialogs_.Texts(), IsEmpty());  // the refused commands said nothing
  EXPECT_THAT(Ranking(), ElementsAre("1:1", "2:1"));
  EXPECT_EQ(browser_.navigations.size(), 3u);
  EXPECT_TRUE(view_.enabled);

  // During an indexing run both commands are refused and the bar stays as the run left it.
  context_.indexing_state = kIndexingRunning;
  view_.enabled_log.clear();
  search_->bbFindClick();
  search_->bbNextClick();
  EXPECT_THAT(view_.enabled_log, IsEmpty());
  EXPECT_EQ(browser_.navigations.size(), 3u);
}

TEST(BaseAddress, DirectoryOfTheStartingUrl) {
  EXPECT_EQ(BaseAddressOf("http://example.com/docs/index.html#top"), "http://example.com/docs/");
  EXPECT_EQ(BaseAddressOf("http://example.com:8080/a/b?x=/c/d"), "http://example.com:8080/a/");
  EXPECT_EQ(BaseAddressOf("http://example.com:80/"), "http://example.com/");
  EXPECT_EQ(BaseAddressOf("http://example.com/a/p=1/q"), "http://example.com/a/");
  EXPECT_EQ(BaseAddressOf("/local/file.html"), "");
}

}  // namespace
}  // namespace vellumark::testing
