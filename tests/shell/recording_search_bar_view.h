// Doubles of the search bar window and of the desktop that keep what the handlers do.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "shell/desktop.h"
#include "shell/search_bar.h"

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
  void ShowAbout() override { ++abouts; }
  std::string SearchText() override { return text; }
  void FocusSearchText() override {}
  std::vector<std::string> History() override { return history; }
  void SetHistory(const std::vector<std::string>& h) override { history = h; }
  TSearchMode SearchMode() override { return smAnyWords; }
  bool SubWord() override { return sub_word; }
  void SetSubWord(bool c) override { sub_word = c; }
  bool ShowSample() override { return show_sample; }
  std::string ModeText() override { return mode; }
  void SetModeText(const std::string& m) override { mode = m; }
  void SetFindEnabled(bool e) override { find_enabled = e; }
  void LoadFormStatus() override { steps.push_back("placement"); }
  void SaveFormStatus() override { steps.push_back("save placement"); }

  std::string caption = "KIV", text, mode = "Any Words";
  std::vector<std::string> history;
  std::vector<std::string> steps;  // placement loaded and saved, in order
  bool panel = false, hidden = false, sub_word = false, show_sample = false, find_enabled = true;
  int height = 24, x = 0, y = 0, abouts = 0;
};

// A desktop whose browser, hot key and opener are scripted: `create_browser` makes the browser
// (null: the engine does not start), `register_hot_key` answers registrations, `open` answers
// the opener.
struct ScriptedDesktop final : Desktop {
  std::unique_ptr<Browser> CreateBrowser(const std::string& trusted_ca_file) override {
    if (!create_browser) throw BrowserError("no engine");
    return create_browser(trusted_ca_file);
  }
  bool RegisterHotKey(int modifiers, int code) override {
    return register_hot_key && register_hot_key(modifiers, code);
  }
  bool OpenWithDesktop(const std::string& target) override { return open && open(target); }

  std::function<std::unique_ptr<Browser>(const std::string& trusted_ca_file)> create_browser;
  std::function<bool(int modifiers, int code)> register_hot_key;
  std::function<bool(const std::string& target)> open;
};

}  // namespace vellumark::testing
