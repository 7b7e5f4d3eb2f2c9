// The location commands of the index window and its location dialog, without widgets: New,
// Edit and Delete over the Tasks table, the dialog's two browser buttons, and the index
// window's key rules. TfmKivIndex and TfmKivDialog forward to these.
#pragma once

#include <functional>
#include <string>

#include "app/core/search_bar.h"
#include "platform/browser.h"
#include "platform/dialogs.h"
#include "store/data_module.h"

namespace vellumark {

// The location dialog as the commands use it: shown modally with a caption and the two texts;
// true when closed with OK, and then `url` and `description` hold what the user left there.
class LocationDialogView {
 public:
  virtual ~LocationDialogView() = default;
  virtual bool Execute(const std::string& caption, std::string& url, std::string& description) = 0;
};

class LocationCommands final {
 public:
  // All three must outlive the commands.
  LocationCommands(TdmKiv& data, Dialogs& dialogs, LocationDialogView& dialog);
  LocationCommands(const LocationCommands&) = delete;
  LocationCommands& operator=(const LocationCommands&) = delete;

  std::function<void()> update_caption;  // the search bar's UpdateCaption

  void bbNewClick();
  void bbEditClick();
  void bbDeleteClick();

  // What the last "New" dialog held, offered again by the next one.
  std::string remembered_url;
  std::string remembered_description;

 private:
  void UpdateCaption();

  TdmKiv& data_;
  Dialogs& dialogs_;
  LocationDialogView& dialog_;
};

// "Browse ...": shows the browser window; "Cannot find IE." when that fails.
void btBrowseClick(Browser* browser, Dialogs& dialogs);
// "Get from IE": the address of the page the browser shows into `url`; "Cannot get current IE
// URL." (and `url` unchanged) when that fails.
void btGetUrlClick(Browser* browser, Dialogs& dialogs, std::string& url);

enum class IndexKeyAction { kNone, kCancelArchive, kClose, kHelp, kFocusSearchBar };

// The index window's keys, only with no Shift, Ctrl or Alt: Esc cancels a running archive
// operation (its progress bar is visible) or else closes the window; F1 is the search bar's
// help; F10 gives the search bar the focus when it is visible. The status line is cleared
// after every key press whatever this answers.
IndexKeyAction IndexWindowKeyDown(int key, KeyModifiers modifiers, bool progress_visible,
                                  bool search_bar_visible);

}  // namespace vellumark
