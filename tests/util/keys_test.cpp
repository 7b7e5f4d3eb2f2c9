#include "util/keys.h"

#include <gtest/gtest.h>

#include "util/search_mode.h"

namespace vellumark {
namespace {

TEST(KeyNameToVirtualKey, OneCharacterOrF1ToF12) {
  EXPECT_EQ(KeyNameToVirtualKey(""), -1);
  EXPECT_EQ(KeyNameToVirtualKey("X"), 88);
  EXPECT_EQ(KeyNameToVirtualKey("x"), 120);  // the caller upper-cases first
  EXPECT_EQ(KeyNameToVirtualKey("7"), 55);
  EXPECT_EQ(KeyNameToVirtualKey("F1"), 112);
  EXPECT_EQ(KeyNameToVirtualKey("F9"), 120);
  EXPECT_EQ(KeyNameToVirtualKey("F10"), 121);
  EXPECT_EQ(KeyNameToVirtualKey("F12"), 123);
  EXPECT_EQ(KeyNameToVirtualKey("F13"), -1);
  EXPECT_EQ(KeyNameToVirtualKey("F0"), -1);
  EXPECT_EQ(KeyNameToVirtualKey("f5"), -1);
  EXPECT_EQ(KeyNameToVirtualKey("F05"), -1);
  EXPECT_EQ(KeyNameToVirtualKey("HOME"), -1);
  EXPECT_EQ(KeyNameToVirtualKey("\xC3\xA9"), 0xE9);        // one character of two bytes
  EXPECT_EQ(KeyNameToVirtualKey("\xF0\x9F\x98\x80"), -1);  // beyond 16 bits
}

TEST(ParseHotKey, SettingValues) {
  HotKey k = ParseHotKey("ctrl/f5");  // upper-cased first
  EXPECT_EQ(k.modifier, "CTRL");
  EXPECT_EQ(k.code, 116);
  EXPECT_EQ(k.modifier_flags, kModControl);
  EXPECT_TRUE(k.Registrable());

  k = ParseHotKey("WIN/F5");
  EXPECT_EQ(k.modifier, "WIN");
  EXPECT_EQ(k.code, 116);
  EXPECT_FALSE(k.Registrable());

  k = ParseHotKey("F13");
  EXPECT_EQ(k.code, -1);
  EXPECT_FALSE(k.Registrable());

  k = ParseHotKey("x");
  EXPECT_EQ(k.modifier, "");
  EXPECT_EQ(k.code, 88);
  EXPECT_EQ(k.modifier_flags, kModNone);
  EXPECT_TRUE(k.Registrable());

  k = ParseHotKey("/F9");
  EXPECT_EQ(k.modifier, "");
  EXPECT_EQ(k.code, 120);
  EXPECT_TRUE(k.Registrable());

  EXPECT_EQ(ParseHotKey("Alt/k").modifier_flags, kModAlt);
  EXPECT_EQ(ParseHotKey("Alt/k").code, 75);
  EXPECT_EQ(ParseHotKey("SHIFT/F12").modifier_flags, kModShift);
  EXPECT_FALSE(ParseHotKey("CTRL/").Registrable());
  EXPECT_FALSE(ParseHotKey("ALT/A/B").Registrable());  // key name "A/B"
  EXPECT_EQ(ParseHotKey("").code, 0);
  EXPECT_FALSE(ParseHotKey("").Registrable());
}

TEST(SearchModeFromText, ExactComboTextsOnly) {
  EXPECT_EQ(SearchModeFromText("Any Words"), smAnyWords);
  EXPECT_EQ(SearchModeFromText("All Words"), smAllWords);
  EXPECT_EQ(SearchModeFromText("Exact Phrase"), smExactPhrase);
  EXPECT_EQ(SearchModeFromText("any words"), smInvalid);
  EXPECT_EQ(SearchModeFromText("Any Words "), smInvalid);
  EXPECT_EQ(SearchModeFromText(""), smInvalid);
}

}  // namespace
}  // namespace vellumark
