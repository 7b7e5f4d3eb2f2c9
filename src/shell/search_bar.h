// The search bar's handlers, without widgets: the keyboard table, the options panel toggle,
// the mode combo, the caption, the help command and the close rule. The Qt window TfmKivMain
// implements SearchBarView and forwards each of its events here.
//
// Find and Next are the search's own (TSearch): the search bar owns the TSearch of the run,
// which works on the window as its SearchView, and hands the two commands to it unchanged. The
// data module and the browser it searches with are the program shell's (shell/program_shell.h),
// lent to the search bar for the run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/view.h"
#include "search/search.h"
#include "search/search_view.h"
#include "shell/desktop.h"
#include "store/data_module.h"
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

enum class SearchBarCommand { kNone, kHelp, kAbout, kShowMore, kNext, kIndex, kMove };

// What a key press on the search bar does. A key with a command, or one that hides the bar,
// is swallowed.
struct SearchBarKey {
  SearchBarCommand command = SearchBarCommand::kNone;
  int dx = 0, dy = 0;  // for kMove
  bool hide = false;   // the hot key pressed while the bar has the focus
  bool handled() const { return command != SearchBarCommand::kNone || hide; }
};

// The keyboard table. Modifier sets must match exactly: Alt alone; Shift and Ctrl together
// without Alt; the function keys with none, and Shift+F1 for the about box.
SearchBarKey SearchBarKeyDown(int key, KeyModifiers modifiers, const HotKeySetting& hot_key);

// Why Find is disabled and a close is refused while an indexing run is active.
inline constexpr const char* kRunActiveNote = "Indexing \u2014 press Stop first";

// "KIV", or "KIV: " + the location's name when there is a current location with a name; while
// an indexing run is active, "KIV: " + kRunActiveNote.
std::string SearchBarCaption(int current_location_number, const std::string& task_name,
                             bool indexing = false);

// The search bar window as its handlers use it: besides what Find and Next use (SearchView),
// the caption, the options panel, the window's size, place and placement, and the mode combo's
// text.
class SearchBarView : public SearchView {
 public:
  virtual void SetCaption(const std::string& caption) = 0;
  virtual bool OptionsPanelVisible() = 0;
  virtual void SetOptionsPanelVisible(bool visible) = 0;
  virtual int OptionsPanelHeight() = 0;
  virtual int WindowHeight() = 0;
  virtual void SetWindowHeight(int height) = 0;
  virtual void MoveWindowBy(int dx, int dy) = 0;
  virtual void HideWindow() = 0;
  virtual void ShowAbout() = 0;               // the about box
  virtual void SetSubWord(bool checked) = 0;  // cbSubWord, "Included"
  virtual std::string ModeText() = 0;         // cbSearchOptions
  virtual void SetModeText(const std::string& text) = 0;
  // LoadFormStatus and SaveFormStatus of the window ("FormStatus" / "MainForm").
  virtual void LoadFormStatus() = 0;
  virtual void SaveFormStatus() = 0;
};

// The index window as the search bar's handlers reach it.
class IndexWindowControl {
 public:
  virtual ~IndexWindowControl() = default;
  virtual void ShowIndexWindow() = 0;  // bbIndexClick
  virtual void HideIndexWindow() = 0;  // FormActivate while no run is active
  // The indexing run's CheckStop, when the bar is closed during a run. True when the run must
  // end.
  virtual bool CheckStop() = 0;
  // A close was refused because a run is active: the index window says why (kRunActiveNote).
  virtual void ShowCloseRefused() = 0;
};

class SearchBar final {
 public:
  // `context`, `view`, `dialogs` and `desktop` must outlive the search bar.
  SearchBar(ProgramContext& context, SearchBarView& view, Dialogs& dialogs, Desktop& desktop);
  ~SearchBar();
  SearchBar(const SearchBar&) = delete;
  SearchBar& operator=(const SearchBar&) = delete;

  // The run's data module and browser, lent by the program shell once it has made them: the
  // caption names the current location from then on, and help falls back on the browser.
  // They must stay until Detach.
  void Attach(TdmKiv& data, Browser& browser);
  // Find and Next from now on: the search over the attached data module and browser, whose
  // "Show" listing reports on `status` (the index window's status line, which must outlive the
  // search). REQUIRES: Attach.
  void StartSearch(StatusView& status);
  // At shutdown, before the browser goes: drops the search (releasing its find-in-page ranges)
  // and forgets the data module and the browser. Find and Next do nothing afterwards.
  void Detach();
  // The index window, once it exists (null: none). It must outlive the search bar or be unset.
  void SetIndexWindow(IndexWindowControl* index) { index_window_ = index; }

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
  // An indexing run started or ended: the caption says why Find is disabled while it runs.
  void SetIndexing(bool running);

  // Opens a file of the program folder or an address with the desktop's program; a desktop
  // without one for web pages gets the page in Vellumark's own browser. False when neither
  // could.
  bool ShellOpen(const std::string& target);

  // The window, for the search layer's handlers (sample, check boxes, history, caption).
  SearchBarView& view() { return view_; }
  // The search of the run; null before StartSearch and after Detach.
  TSearch* search() { return search_.get(); }

  TSearchMode search_mode = smAnyWords;
  HotKeySetting hot_key;
  std::string help_page = "Help.htm";  // the program folder's help page

 private:
  ProgramContext& context_;
  SearchBarView& view_;
  Dialogs& dialogs_;
  Desktop& desktop_;
  TdmKiv* data_ = nullptr;      // lent by the program shell
  Browser* browser_ = nullptr;  // lent by the program shell
  IndexWindowControl* index_window_ = nullptr;
  std::unique_ptr<TSearch> search_;
  bool indexing_ = false;  // between SetIndexing(true) and SetIndexing(false)
};

}  // namespace vellumark
