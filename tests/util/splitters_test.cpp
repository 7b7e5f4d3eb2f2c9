#include "util/splitters.h"

#include <gtest/gtest.h>

namespace vellumark {
namespace {

using Words = std::vector<PositionedWord>;
using Items = std::vector<std::string>;

TEST(SplitWords, RunsWithTheirBytePositions) {
  Words words{{"stale", 9}};
  EXPECT_TRUE(SplitWords("  red, green,,blue ", U" ,", words));
  EXPECT_EQ(words, (Words{{"red", 3}, {"green", 8}, {"blue", 15}}));
  EXPECT_FALSE(SplitWords(" ,, ", U" ,", words));
  EXPECT_TRUE(words.empty());
  EXPECT_FALSE(SplitWords("", U" ", words));
  EXPECT_TRUE(SplitWords("one", U"", words));
  EXPECT_EQ(words, (Words{{"one", 1}}));
}

TEST(SplitWords, PositionsCountBytesAndMultiByteCharactersStayWhole) {
  Words words;
  // "é" is two bytes, so "x" starts at byte 7.
  EXPECT_TRUE(SplitWords("\xC3\xA9t\xC3\xA9 x", U" ", words));
  EXPECT_EQ(words, (Words{{"\xC3\xA9t\xC3\xA9", 1}, {"x", 7}}));
  // A multi-byte delimiter (the em dash U+2014) splits, and an é never matches the
  // delimiter U+00C3 whose code is its first byte.
  EXPECT_TRUE(SplitWords("a\xE2\x80\x94\x62\xC3\xA9", std::u32string{0x2014, 0xC3}, words));
  EXPECT_EQ(words, (Words{{"a", 1}, {"b\xC3\xA9", 5}}));
}

TEST(SplitAtChars, PageTextAtTheDelimiterSet) {
  Items items{"stale"};
  const std::u32string delimiters = U" \t\n\r,;";
  EXPECT_TRUE(SplitAtChars("one two\tthree\r\nfour;five,,six", delimiters, items));
  EXPECT_EQ(items, (Items{"one", "two", "three", "four", "five", "six"}));
  EXPECT_FALSE(SplitAtChars("\r\n ;", delimiters, items));
  EXPECT_TRUE(items.empty());
  // Punctuation that is not a delimiter stays in the word; a stray byte is kept as it is.
  EXPECT_TRUE(SplitAtChars("e-mail.\xFF!", delimiters, items));
  EXPECT_EQ(items, (Items{"e-mail.\xFF!"}));
  // The non-breaking space U+00A0 as a delimiter splits the UTF-8 sequence C2 A0 only.
  EXPECT_TRUE(SplitAtChars("a\xC2\xA0\x62 \xC3\xA0", std::u32string{0xA0, U' '}, items));
  EXPECT_EQ(items, (Items{"a", "b", "\xC3\xA0"}));
}

TEST(SplitQuoted, QuotesProtectDelimitersAndAreDropped) {
  Items items;
  EXPECT_TRUE(SplitQuoted("10,\"a,b\",c", U',', items));
  EXPECT_EQ(items, (Items{"10", "a,b", "c"}));
  EXPECT_TRUE(SplitQuoted("x\"y\"z,\"\"", U',', items));
  EXPECT_EQ(items, (Items{"xyz"}));  // the final item is empty once its quotes are dropped
  EXPECT_TRUE(SplitQuoted("\"open,to the end", U',', items));
  EXPECT_EQ(items, (Items{"open,to the end"}));
}

TEST(SplitQuoted, EmptyItemsInsideAreKeptButNotAtTheEnd) {
  Items items{"stale"};
  EXPECT_TRUE(SplitQuoted(",a,,b,", U',', items));
  EXPECT_EQ(items, (Items{"", "a", "", "b"}));
  EXPECT_FALSE(SplitQuoted("", U',', items));
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(SplitQuoted(",", U',', items));
  EXPECT_EQ(items, (Items{""}));
  EXPECT_TRUE(SplitQuoted("5000,10,400,300,2", U',', items));
  EXPECT_EQ(items, (Items{"5000", "10", "400", "300", "2"}));
}

TEST(LastPos, LastOccurrenceEndingWithinTheLimit) {
  EXPECT_EQ(LastPos("/", "/a/b.htm", 100), 3u);  // limit past the end
  EXPECT_EQ(LastPos("/", "/a/b.htm", 3), 3u);
  EXPECT_EQ(LastPos("/", "/a/b.htm", 2), 1u);
  EXPECT_EQ(LastPos("ab", "abab", 3), 1u);  // the second "ab" ends at 4
  EXPECT_EQ(LastPos("ab", "abab", 4), 3u);
  EXPECT_EQ(LastPos("ab", "abab", 1), 0u);
  EXPECT_EQ(LastPos("/", "abc", 3), 0u);
  EXPECT_EQ(LastPos("/", "/abc", 0), 0u);
  EXPECT_EQ(LastPos("", "abc", 3), 0u);
  EXPECT_EQ(LastPos("a", "", 3), 0u);
  EXPECT_EQ(LastPos("abcd", "abc", 3), 0u);
  EXPECT_EQ(LastPos("/", "/cgi/find?dir=/a/b", 10), 5u);
}

}  // namespace
}  // namespace vellumark
