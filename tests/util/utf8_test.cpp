#include "util/utf8.h"

#include <gtest/gtest.h>

namespace vellumark {
namespace {

// Byte strings split where a hex escape would swallow the next letter; kept as written.
// clang-format off
TEST(Utf8, PrefixNeverSplitsASequence) {
  const std::string text = "ab\xC3\xA9" "cd";  // "abécd": é is two bytes
  EXPECT_EQ(Utf8Prefix(text, 2), "ab");
  EXPECT_EQ(Utf8Prefix(text, 3), "ab");            // would split é
  EXPECT_EQ(Utf8Prefix(text, 4), "ab\xC3\xA9");
  EXPECT_EQ(Utf8Prefix(text, 100), text);
  EXPECT_EQ(Utf8Prefix("\xE2\x82\xAC\xE2\x82\xAC", 5), "\xE2\x82\xAC");  // two euro signs
  // A stray continuation byte counts as one unit of its own.
  EXPECT_EQ(Utf8Prefix("a\x80" "b", 2), "a\x80");
}

TEST(Utf8, CodePointsRoundTripAndBadBytesAdvance) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF" "z";
  std::size_t pos = 0;
  std::u32string cps;
  while (pos < text.size()) cps += NextCodePoint(text, pos);
  EXPECT_EQ(cps, (std::u32string{U'A', 0xE9, 0x20AC, 0x1F600, 0xFFFD, U'z'}));
  std::string back;
  for (char32_t cp : cps) AppendUtf8(back, cp);
  EXPECT_EQ(back, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD" "z");
  // Overlong forms and surrogates are not well formed.
  pos = 0;
  EXPECT_EQ(NextCodePoint("\xC0\xAF", pos), 0xFFFDu);
  EXPECT_EQ(pos, 1u);
  pos = 0;
  EXPECT_EQ(NextCodePoint("\xED\xA0\x80", pos), 0xFFFDu);
}

TEST(Utf8, LowerAsciiChangesOnlyAToZ) {
  EXPECT_EQ(LowerAscii("AbZ\xC3\x89[@"), "abz\xC3\x89[@");  // É stays
}

// clang-format on

}  // namespace
}  // namespace vellumark
