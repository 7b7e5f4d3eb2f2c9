// The location commands of the index window: "New", "Edit" and "Delete" on the rows of Tasks,
// and the location dialog's two browser buttons. The dialog that takes a location's URL,
// description and page loader is a seam (LocationDialog): the Qt window shows TfmKivDialog, the
// command-line tool passes its arguments, tests script it. Each command leaves the program's
// CurrentLocationNumber on the current Tasks record.
//
// The page loader is kept per location in the settings file (indexer/loader_settings.h): "New"
// offers the default for new locations and stores the choice, "Edit" offers and stores the
// location's own, "Delete" removes it. Without a settings file in the context the choice is
// offered as the browser and not kept.
//
// The data module and the dialogs must outlive the commands. `update_caption` is the search
// bar's UpdateCaption (may be empty).
#pragma once

#include <functional>
#include <string>

#include "indexer/loader_settings.h"
#include "platform/browser.h"
#include "platform/dialogs.h"

namespace vellumark {

class TdmKiv;

class LocationDialog {
 public:
  virtual ~LocationDialog() = default;
  // Shows the dialog with `caption`, the given texts and loader choice, which the user may
  // change. True when the user chose OK.
  virtual bool Execute(const std::string& caption, std::string& url, std::string& description,
                       LoaderKind& loader) = 0;
};

class TLocationCommands final {
 public:
  TLocationCommands(TdmKiv& dm, Dialogs& dialogs, std::function<void()> update_caption = {})
      : dm_(dm), dialogs_(dialogs), update_caption_(std::move(update_caption)) {}

  // "New": a new Tasks record, its location folder and its loader choice. Returns the new
  // Task_No, or -1 when nothing was stored. The texts entered are remembered for the next
  // "New"; the loader offered is always the default for new locations.
  int bbNewClick(LocationDialog& dialog);
  // "Edit": the current record's URL, description and loader choice ("New" when Tasks is
  // empty). True when the record was changed (or a new one stored).
  bool bbEditClick(LocationDialog& dialog);
  // "Delete": the current record, its folder and its loader choice, after the question. True
  // when deleted.
  bool bbDeleteClick();

  const std::string& RememberedURL() const { return remembered_url_; }
  const std::string& RememberedDescription() const { return remembered_description_; }

 private:
  void UpdateCaption() {
    if (update_caption_) update_caption_();
  }

  TdmKiv& dm_;
  Dialogs& dialogs_;
  std::function<void()> update_caption_;
  std::string remembered_url_;  // the last "New" dialog's texts
  std::string remembered_description_;
};

// "Browse ...": shows the browser window; "Cannot find IE." when that fails (or there is no
// browser).
void btBrowseClick(Browser* browser, Dialogs& dialogs);
// "Get from IE": the address of the page the browser shows into `url`; "Cannot get current IE
// URL." (and `url` unchanged) when that fails.
void btGetUrlClick(Browser* browser, Dialogs& dialogs, std::string& url);

}  // namespace vellumark
