// The delimiter text: parsing, its saved form read back, and loading it from the settings.
#include <gtest/gtest.h>

#include "util/delimiter_text.h"
#include "util/inifile.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

const std::u32string kDefaultSet = U" \t\n\r,;";

TEST(ParseDelimiters, DefaultAndLooseSpacingGiveTheSameSet) {
  std::u32string set;
  ASSERT_TRUE(ParseDelimiters(kDefaultDelimiterText, set));
  EXPECT_EQ(set, kDefaultSet);
  ASSERT_TRUE(ParseDelimiters("' '  09  10  13  ','  ';'", set));
  EXPECT_EQ(set, kDefaultSet);
  ASSERT_TRUE(ParseDelimiters("44\t\n','  300  '''", set));  // 300 & 255 = 44; a quote
  EXPECT_EQ(set, std::u32string(U" \t\n\r,'"));
  ASSERT_TRUE(ParseDelimiters("' ' 9", set));  // only fixed ones: still valid
  EXPECT_EQ(set, std::u32string(U" \t\n\r"));
  ASSERT_TRUE(ParseDelimiters("'\xe2\x82\xac' -1", set));  // a multi-byte character; 255
  EXPECT_EQ(set, std::u32string(U" \t\n\r\u20ac\u00ff"));
}

TEST(ParseDelimiters, FailuresLeaveTheFourFixedCharacters) {
  for (const char* bad : {"", "   \n\t ", "','  'x", "'ab'", "12x", "','  abc", "99999999999"}) {
    std::u32string set = U"junk";
    EXPECT_FALSE(ParseDelimiters(bad, set)) << bad;
    EXPECT_EQ(set, std::u32string(U" \t\n\r")) << bad;
  }
}

TEST(CanonicalDelimiters, CodesForControlsQuotesForTheRestAndReadsBack) {
  std::u32string set;
  ASSERT_TRUE(ParseDelimiters(kDefaultDelimiterText, set));
  EXPECT_EQ(CanonicalDelimiters(set), "' '     9     10     13     ','     ';'");
  ASSERT_TRUE(ParseDelimiters("1 '\xc3\xa9' 127", set));
  std::string canon = CanonicalDelimiters(set);
  EXPECT_EQ(canon, "' '     9     10     13     1     '\xc3\xa9'     127");
  std::u32string again;
  ASSERT_TRUE(ParseDelimiters(canon, again));
  EXPECT_EQ(again, set);
}

TEST(LoadDelimiters, MissingAndBadTextsGiveTheDefaultSet) {
  testing::TempFolder dir;
  TPIniFile settings(dir.path() + "vellumark.ini");
  std::u32string set;
  EXPECT_EQ(LoadDelimiters(settings, set), kDefaultDelimiterText);
  EXPECT_EQ(set, kDefaultSet);
  settings.WriteString("Options", "SearchDelimiters", "'x");
  EXPECT_EQ(LoadDelimiters(settings, set), "'x");
  EXPECT_EQ(set, kDefaultSet);
  settings.WriteString("Options", "SearchDelimiters", "\"'.'     46\"");  // as saved
  LoadDelimiters(settings, set);
  EXPECT_EQ(set, std::u32string(U" \t\n\r."));
}

}  // namespace
}  // namespace vellumark
