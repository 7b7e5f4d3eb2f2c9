#include "app/core/locations.h"

namespace vellumark {

LocationCommands::LocationCommands(TdmKiv& data, Dialogs& dialogs, LocationDialogView& dialog)
    : data_(data), dialogs_(dialogs), dialog_(dialog) {}

void LocationCommands::UpdateCaption() {
  if (update_caption) update_caption();
}

void LocationCommands::bbNewClick() {
  if (remembered_url.empty()) remembered_url = "http://www.";
  std::string url = remembered_url;
  std::string description = remembered_description;
  if (dialog_.Execute("Define New Location", url, description)) {
    if (url.find("://") == std::string::npos) url = "http://" + url;
    remembered_url = url;
    remembered_description = description;
    if (url == "http://" || url == "http://www.") {
      dialogs_.Error("URL Location '" + url + "' not valid.");
    } else {
      TTable& tasks = data_.tbTasks;
      tasks.First();
      tasks.Insert();
      tasks.FieldByName("Task_URL").SetString(url);
      tasks.FieldByName("Task_Description").SetString(description);
      tasks.Post();
      // The posted record is the current location now.
      const int number = data_.CurrentTaskNo();
      data_.Context().CurrentLocationNumber = number;
      const std::string folder = data_.LocationFolder(number);
      if (!data_.CreateLocationTables(folder)) {
        tasks.Delete();
        data_.Context().CurrentLocationNumber = data_.CurrentTaskNo();
        dialogs_.Error("Cannot create database in directory '" + folder + "'");
      }
    }
  }
  UpdateCaption();
}

void LocationCommands::bbEditClick() {
  TTable& tasks = data_.tbTasks;
  if (tasks.RecordCount() == 0) {
    bbNewClick();
    return;
  }
  std::string url = tasks.FieldByName("Task_URL").AsString();
  std::string description = tasks.FieldByName("Task_Description").AsString();
  if (dialog_.Execute("Edit Location", url, description)) {
    if (url.empty() || url == "http://www.") {
      dialogs_.Error("URL Location '" + url + "' not valid.");
    } else {
      tasks.Edit();
      tasks.FieldByName("Task_URL").SetString(url);
      tasks.FieldByName("Task_Description").SetString(description);
      tasks.Post();
    }
  }
  UpdateCaption();
}

void LocationCommands::bbDeleteClick() {
  TTable& tasks = data_.tbTasks;
  if (tasks.RecordCount() == 0) {
    dialogs_.Information("No tasks do delete.");
  } else if (dialogs_.Confirm("Do you wish to delete task '" + data_.CurrentTaskName() + "'?",
                              kYesNo) == kButtonYes) {
    const int number = data_.CurrentTaskNo();
    tasks.Delete();
    // The table may now be empty, when no record becomes current to report its number.
    data_.Context().CurrentLocationNumber = data_.CurrentTaskNo();
    data_.RemoveLocationFolder(number);  // its success is not reported
  }
  UpdateCaption();
}

void btBrowseClick(Browser* browser, Dialogs& dialogs) {
  try {
    if (!browser) throw BrowserError("no browser");
    browser->SetVisible(true);
  } catch (const std::exception&) {
    dialogs.Error("Cannot find IE.");
  }
}

void btGetUrlClick(Browser* browser, Dialogs& dialogs, std::string& url) {
  try {
    if (!browser) throw BrowserError("no browser");
    url = browser->DocumentUrl();
  } catch (const std::exception&) {
    dialogs.Error("Cannot get current IE URL.");
  }
}

IndexKeyAction IndexWindowKeyDown(int key, KeyModifiers m, bool progress_visible,
                                  bool search_bar_visible) {
  if (m.shift || m.ctrl || m.alt) return IndexKeyAction::kNone;
  switch (key) {
    case kVkEscape:
      return progress_visible ? IndexKeyAction::kCancelArchive : IndexKeyAction::kClose;
    case kVkF1:
      return IndexKeyAction::kHelp;
    case kVkF10:
      return search_bar_visible ? IndexKeyAction::kFocusSearchBar : IndexKeyAction::kNone;
    default:
      return IndexKeyAction::kNone;
  }
}

}  // namespace vellumark
