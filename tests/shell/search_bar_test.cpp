// The search bar's rules that need no window: key table, hot key, history, caption; and the
// index window's keys.
#include <gtest/gtest.h>

#include "shell/index_keys.h"
#include "shell/search_bar.h"

namespace vellumark {
namespace {

TEST(SearchBarRules, KeyTableNeedsExactModifierSets) {
  const HotKeySetting none;
  const KeyModifiers plain, alt{false, false, true}, shift_ctrl{true, true, false},
      all{true, true, true}, ctrl{false, true, false};
  EXPECT_EQ(SearchBarKeyDown(kVkF1, plain, none).command, SearchBarCommand::kHelp);
  EXPECT_EQ(SearchBarKeyDown(kVkF1, {true, false, false}, none).command, SearchBarCommand::kAbout);
  EXPECT_FALSE(SearchBarKeyDown(kVkF1, ctrl, none).handled());
  EXPECT_EQ(SearchBarKeyDown(kVkF3, plain, none).command, SearchBarCommand::kNext);
  EXPECT_FALSE(SearchBarKeyDown(kVkF2, ctrl, none).handled());
  EXPECT_EQ(SearchBarKeyDown(kVkReturn, alt, none).command, SearchBarCommand::kIndex);
  EXPECT_EQ(SearchBarKeyDown(kVkReturn, shift_ctrl, none).command, SearchBarCommand::kIndex);
  EXPECT_FALSE(SearchBarKeyDown(kVkReturn, plain, none).handled());  // Enter is Find's
  EXPECT_FALSE(SearchBarKeyDown(kVkReturn, all, none).handled());
  SearchBarKey up = SearchBarKeyDown(kVkUp, shift_ctrl, none);
  EXPECT_EQ(up.command, SearchBarCommand::kMove);
  EXPECT_EQ(up.dy, -20);
  EXPECT_EQ(SearchBarKeyDown(kVkLeft, alt, none).dx, -1);
  EXPECT_FALSE(SearchBarKeyDown(kVkLeft, plain, none).handled());
}

TEST(SearchBarRules, HotKeyHidesOnlyWithItsOneModifier) {
  HotKeySetting alt_k, bare;
  alt_k.modifier = "ALT";
  alt_k.code = 'K';
  bare.code = kVkF12;
  EXPECT_TRUE(SearchBarKeyDown('K', {false, false, true}, alt_k).hide);
  EXPECT_FALSE(SearchBarKeyDown('K', {true, false, true}, alt_k).hide);
  EXPECT_FALSE(SearchBarKeyDown('J', {false, false, true}, alt_k).hide);
  // Without a modifier word the bar never hides itself.
  EXPECT_FALSE(SearchBarKeyDown(kVkF12, {}, bare).hide);
}

TEST(SearchBarRules, HistoryAndCaption) {
  std::vector<std::string> items;
  EXPECT_TRUE(AddToHistory(items, "cat"));
  EXPECT_FALSE(AddToHistory(items, "cat"));
  EXPECT_TRUE(AddToHistory(items, "Cat"));
  EXPECT_FALSE(AddToHistory(items, ""));
  EXPECT_EQ(items, (std::vector<std::string>{"Cat", "cat"}));

  EXPECT_EQ(SearchBarCaption(-1, "Docs"), "KIV");
  EXPECT_EQ(SearchBarCaption(0, ""), "KIV");
  EXPECT_EQ(SearchBarCaption(0, "Docs"), "KIV: Docs");
}

TEST(IndexWindowKeys, OnlyWithoutModifiers) {
  const KeyModifiers none, shift{true, false, false};
  EXPECT_EQ(IndexWindowKeyDown(kVkEscape, none, false, true), IndexKeyAction::kClose);
  EXPECT_EQ(IndexWindowKeyDown(kVkEscape, none, true, true), IndexKeyAction::kCancelArchive);
  EXPECT_EQ(IndexWindowKeyDown(kVkEscape, shift, false, true), IndexKeyAction::kNone);
  EXPECT_EQ(IndexWindowKeyDown(kVkF1, none, false, false), IndexKeyAction::kHelp);
  EXPECT_EQ(IndexWindowKeyDown(kVkF10, none, false, true), IndexKeyAction::kFocusSearchBar);
  EXPECT_EQ(IndexWindowKeyDown(kVkF10, none, false, false), IndexKeyAction::kNone);
}

}  // namespace
}  // namespace vellumark
