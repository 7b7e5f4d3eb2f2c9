// A SearchBarView double that keeps what the handlers set.
#pragma once

#include <string>
#include <vector>

#include "app/core/search_bar.h"

namespace vellumark::testing {

struct RecordingSearchBarView final : SearchBarView {
  void SetCaption(const std::string& c) override { caption = c; }
  bool OptionsPanelVisible() override { return panel; }
  void SetOptionsPanelVisible(bool v) override { panel = v; }
  int OptionsPanelHeight() override { return 51; }
  int WindowHeight() override { return height; }
  void SetWindowHeight(int h) override { height = h; }
  void MoveWindowBy(int dx, int dy) override { x += dx, y += dy; }
  void HideWindow() override { hidden = true; }
  void ShowIndexWindow() override { ++index_shown; }
  void HideIndexWindow() override { ++index_hidden; }
  std::string SearchText() override { return text; }
  void FocusSearchText() override {}
  std::vector<std::string> History() override { return history; }
  void SetHistory(const std::vector<std::string>& h) override { history = h; }
  bool SubWord() override { return sub_word; }
  void SetSubWord(bool c) override { sub_word = c; }
  bool ShowSample() override { return show_sample; }
  std::string ModeText() override { return mode; }
  void SetModeText(const std::string& m) override { mode = m; }
  void SetFindEnabled(bool e) override { find_enabled = e; }

  std::string caption = "KIV", text, mode = "Any Words";
  std::vector<std::string> history;
  bool panel = false, hidden = false, sub_word = false, show_sample = false, find_enabled = true;
  int height = 24, x = 0, y = 0, index_shown = 0, index_hidden = 0;
};

}  // namespace vellumark::testing
