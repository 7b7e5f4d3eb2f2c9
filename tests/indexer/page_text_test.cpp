// Lower-casing, word splitting, excerpts and the collation order of the run's lists.
#include <gtest/gtest.h>

#include "indexer/delimiters.h"
#include "indexer/page_text.h"
#include "indexer/sorted_list.h"

namespace vellumark {
namespace {

// Blank, tab, LF, CR, comma and semicolon: the options' default set.
std::u32string DefaultDelimiters() { return U" \t\n\r,;"; }

TEST(PageWords, DefaultDelimitersKeepFullStops) {
  std::vector<std::string> words;
  const std::string text = LowerPageText("Alpha, beta;BETA gamma.delta");
  ASSERT_TRUE(SplitPageWords(text, DefaultDelimiters(), words));
  EXPECT_EQ(words, (std::vector<std::string>{"alpha", "beta", "beta", "gamma.delta"}));
}

TEST(PageWords, OnlyWhiteSpaceGivesNoWordsAndOneBlankExcerpt) {
  std::vector<std::string> words{"stale"};
  EXPECT_FALSE(SplitPageWords("  \r\n \n ", DefaultDelimiters(), words));
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(MakeExcerpt("  \r\n \n "), " ");
}

TEST(PageWords, AccentedCapitalsStayAsTheyAre) {
  // "É" is outside A to Z: it is not lower-cased, so "Été" and "été" are different words,
  // though they compare equal in the list order and so stand side by side.
  const std::string text = LowerPageText("\xC3\x89t\xC3\xA9 \xC3\xA9t\xC3\xA9 ABC");
  EXPECT_EQ(text, "\xC3\x89t\xC3\xA9 \xC3\xA9t\xC3\xA9 abc");
  std::vector<std::string> words;
  SplitPageWords(text, DefaultDelimiters(), words);
  ASSERT_EQ(words.size(), 3u);
  EXPECT_EQ(words[0], "abc");
  EXPECT_NE(words[1], words[2]);
}

TEST(PageWords, EqualWordsOfOtherBytesStandInRunsOfTheirOwn) {
  // Equal under the collation, different bytes: each distinct word forms one run, so that it is
  // counted and recorded once for the page.
  const std::string upper = "\xC3\x89t\xC3\xA9", lower = "\xC3\xA9t\xC3\xA9",
                    ellipsis = "\xE2\x80\xA6";
  std::vector<std::string> words{upper, "...", lower, ellipsis, upper, "...", lower};
  SortWordList(words);
  std::vector<std::string> runs;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i == 0 || words[i] != words[i - 1]) runs.push_back(words[i]);
  }
  EXPECT_EQ(runs.size(), 4u);
  std::vector<std::string> plain{"b", "a", "c", "a"};
  SortWordList(plain);
  EXPECT_EQ(plain, (std::vector<std::string>{"a", "a", "b", "c"}));
}

TEST(Excerpt, WhiteSpaceRunsBecomeOneBlank) {
  EXPECT_EQ(MakeExcerpt(LowerPageText("  A\r\n\r\nB")), " a b");
  EXPECT_EQ(MakeExcerpt("a\t\tb"), "a b");
}

TEST(Excerpt, LongTextIsCutAt200BytesOnASequenceBoundary) {
  const std::string text(10000, 'x');
  EXPECT_EQ(MakeExcerpt(text), std::string(200, 'x'));
  // 199 bytes, then a two-byte character that does not fit.
  const std::string utf = std::string(199, 'y') + "\xC3\xA9" + "zzz";
  EXPECT_EQ(MakeExcerpt(utf), std::string(199, 'y'));
}

TEST(TrimExcerptTest, CutsAtFirstDifferencePlus100) {
  const std::string previous = std::string(29, 'a') + std::string(121, 'b');
  const std::string excerpt = std::string(29, 'a') + std::string(121, 'c');
  EXPECT_EQ(TrimExcerpt(excerpt, previous).size(), 130u);
  // Equal excerpts: P is one more than the length, so nothing is cut.
  EXPECT_EQ(TrimExcerpt(previous, previous), previous);
  // A shorter previous excerpt: running past its end is the difference.
  EXPECT_EQ(TrimExcerpt(std::string(200, 'q'), std::string(10, 'q')).size(), 111u);
  // P is at most 256, so excerpts of 200 bytes with 200 equal bytes stay whole.
  EXPECT_EQ(TrimExcerpt(std::string(200, 'q'), std::string(200, 'q')).size(), 200u);
}

TEST(SortedListTest, IgnoresCaseAndKeepsTheFirstAdded) {
  TSortedList list;
  EXPECT_TRUE(list.Add("b.html"));
  EXPECT_TRUE(list.Add("C.html"));
  EXPECT_FALSE(list.Add("B.HTML"));
  EXPECT_TRUE(list.Add("a.html"));
  EXPECT_TRUE(list.Add(""));
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"", "a.html", "b.html", "C.html"}));
  EXPECT_TRUE(list.Contains("c.HTML"));
  EXPECT_EQ(list.TakeFirst(), "");
  EXPECT_EQ(list.First(), "a.html");
  EXPECT_EQ(list.Count(), 3u);
}

TEST(SortedListTest, AccentsAndPunctuationStillCount) {
  TSortedList list;
  EXPECT_TRUE(list.Add("cafe.html"));
  EXPECT_TRUE(list.Add("caf\xC3\xA9.html"));
  EXPECT_TRUE(list.Add("a-b.html"));
  EXPECT_TRUE(list.Add("ab.html"));
  EXPECT_TRUE(list.Add("a?x=1"));
  EXPECT_TRUE(list.Add("a?x=2"));
  EXPECT_EQ(list.Count(), 6u);
}

TEST(Delimiters, StoredTextRoundTrips) {
  EXPECT_EQ(DelimitersToText(U" \t\n\r,\u00E9"), " \t\n\r,\xC3\xA9");
  EXPECT_EQ(DelimitersFromText(DelimitersToText(U" \t\n\r,\u00E9")), U" \t\n\r,\u00E9");
}

}  // namespace
}  // namespace vellumark
