// The search bar's handlers, without widgets: the keyboard table, the options panel toggle,
// the mode combo, the history, the caption, the help command and the close rule. The Qt window
// TfmKivMain implements SearchBarView and forwards each of its events here.
//
// The search itself belongs to the search layer: bbFindClick does the first steps of Find here
// (FindActive, the empty sample, the history) and hands the rest to the `find` hook;
// bbNextClick hands find-in-page to the `next` hook.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "util/context.h"
#include "util/keys.h"
#include "util/search_mode.h"

namespace vellumark {

// The items of the mode combo boxes of the search bar and the options window, in order.
inline constexpr const char* kSearchModeItems[] = {"Any Words", "All Words", "Exact Phrase"};

// Key codes as the keyboard table names them (the classic virtual-key numbers; letters and
// digits are their upper-case character codes).
enum VirtualKey : int {
  kVkReturn = 13,
  kVkEscape = 27,
  kVkLeft = 37,
  kVkUp = 38,
  kVkRight = 39,
  kVkDown = 40,
  kVkF1 = 112,
  kVkF2 = 113,
  kVkF3 = 114,
  kVkF10 = 121,
  kVkF12 = 123,
};

struct KeyModifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

// The hot key as read at start (util/keys.h): HotKeyModifier and HotKeyCode.
using HotKeySetting = HotKey;

enum class SearchBarCommand { kNone, kHelp, kShowMore, kNext, kIndex, kMove };

// What a key press on the search bar does. A key with a command, or one that hides the bar,
// is swallowed.
struct SearchBarKey {
  SearchBarCommand command = SearchBarCommand::kNone;
  int dx = 0, dy = 0;  // for kMove
  bool hide = false;   // the hot key pressed while the bar has the focus
  bool handled() const { return command != SearchBarCommand::kNone || hide; }
};

// The keyboard table. Modifier sets must match exactly: Alt alone; Shift and Ctrl together
// without Alt; the function keys with none.
SearchBarKey SearchBarKeyDown(int key, KeyModifiers modifiers, const HotKeySetting& hot_key);

// The history rule: a non-empty sample not equal (exactly) to any item is inserted as the
// first item. Returns true when it was inserted.
bool AddToHistory(std::vector<std::string>& items, const std::string& sample);

// "KIV", or "KIV: " + the location's name when there is a current location with a name.
std::string SearchBarCaption(int current_location_number, const std::string& task_name);

// The operations of the search bar window the handlers use.
class SearchBarView {
 public:
  virtual ~SearchBarView() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual bool OptionsPanelVisible() = 0;
  virtual void SetOptionsPanelVisible(bool visible) = 0;
  virtual int OptionsPanelHeight() = 0;
  virtual int WindowHeight() = 0;
  virtual void SetWindowHeight(int height) = 0;
  virtual void MoveWindowBy(int dx, int dy) = 0;
  virtual void HideWindow() = 0;
  virtual void ShowIndexWindow() = 0;
  virtual void HideIndexWindow() = 0;
  virtual std::string SearchText() = 0;
  virtual void FocusSearchText() = 0;
  virtual std::vector<std::string> History() = 0;
  virtual void SetHistory(const std::vector<std::string>& items) = 0;
  virtual bool SubWord() = 0;  // cbSubWord, "Included"
  virtual void SetSubWord(bool checked) = 0;
  virtual bool ShowSample() = 0;  // cbShowSample, "Show"
  virtual std::string ModeText() = 0;
  virtual void SetModeText(const std::string& text) = 0;
  // bbFind, bbNext and edSearchText together; an indexing run disables them.
  virtual void SetFindEnabled(bool enabled) = 0;
};

class SearchBar final {
 public:
  // `context`, `view` and `dialogs` must outlive the search bar.
  SearchBar(ProgramContext& context, SearchBarView& view, Dialogs& dialogs);
  SearchBar(const SearchBar&) = delete;
  SearchBar& operator=(const SearchBar&) = delete;

  // Hooks to the layers that own the rest of the work. Unset hooks do nothing.
  std::function<void()> find;        // the search, after the sample went into the history
  std::function<void()> next;        // find in page
  std::function<bool()> check_stop;  // the indexer's CheckStop
  std::function<std::string()> current_task_name;  // CurrentTaskName of the data module
  // Opens a file or address with the desktop; false when that fails.
  std::function<bool(const std::string&)> shell_open;

  void FormActivate();
  // Whether the window may close: refused (silently) while an indexing run is active, after
  // CheckStop has run.
  bool FormClose();
  // Runs the keyboard table; returns what it did so the window can swallow the key.
  SearchBarKey FormKeyDown(int key, KeyModifiers modifiers);
  // A character typed into the sample box; returns true when it was swallowed (Enter).
  bool edSearchTextKeyPress(char c);
  void edSearchTextChange();
  void cbSearchOptionsChange();
  void bbFindClick();
  void bbNextClick();
  void bbShowMoreClick();
  void bbIndexClick();
  void bbHelpClick();
  void UpdateCaption();

  // The window, for the search layer's handlers (sample, check boxes, history, caption).
  SearchBarView& view() { return view_; }

  TSearchMode search_mode = smAnyWords;
  HotKeySetting hot_key;
  std::string help_page = "Help.htm";  // the program folder's help page

 private:
  ProgramContext& context_;
  SearchBarView& view_;
  Dialogs& dialogs_;
};

}  // namespace vellumark
