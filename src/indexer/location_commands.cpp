#include "indexer/location_commands.h"

#include <filesystem>

#include "store/data_module.h"
#include "store/records.h"
#include "store/table.h"
#include "util/inifile.h"

namespace vellumark {

namespace {

std::string NotValid(const std::string& url) { return "URL Location '" + url + "' not valid."; }

LoaderKind OfferedLoader(const TPIniFile* settings, std::optional<int> task_no) {
  if (!settings) return LoaderKind::kBrowser;
  return task_no ? ReadLoaderSettings(*settings, *task_no).kind : ReadLoaderOptions(*settings).kind;
}

}  // namespace

int TLocationCommands::bbNewClick(LocationDialog& dialog) {
  int task_no = -1;
  if (remembered_url_.empty()) remembered_url_ = "http://www.";
  std::string url = remembered_url_;
  std::string description = remembered_description_;
  TPIniFile* settings = dm_.Context().settings;
  LoaderKind loader = OfferedLoader(settings, std::nullopt);
  if (dialog.Execute("Define New Location", url, description, loader)) {
    if (url.find("://") == std::string::npos) url = "http://" + url;
    remembered_url_ = url;
    remembered_description_ = description;
    if (url == "http://" || url == "http://www.") {
      dialogs_.Error(NotValid(url));
    } else {
      TTable& tasks = dm_.tbTasks;
      TTaskFields task(tasks);
      tasks.First();
      tasks.Insert();
      task.TaskURL().SetString(url);
      task.TaskDescription().SetString(description);
      tasks.Post();
      // The posted record is the current location now (posting does not scroll).
      task_no = dm_.CurrentTaskNo();
      dm_.Context().CurrentLocationNumber = task_no;
      const std::string folder = dm_.LocationFolder(task_no);
      if (!dm_.CreateLocationTables(folder)) {
        tasks.Delete();
        task_no = -1;
        // The table may now be empty, when no record becomes current to report its number.
        dm_.Context().CurrentLocationNumber = dm_.CurrentTaskNo();
        dialogs_.Error("Cannot create database in directory '" + folder + "'");
      } else if (settings) {
        WriteLocationLoader(*settings, task_no, loader);
      }
    }
  }
  UpdateCaption();
  return task_no;
}

bool TLocationCommands::bbEditClick(LocationDialog& dialog) {
  TTable& tasks = dm_.tbTasks;
  if (tasks.IsEmpty()) return bbNewClick(dialog) != -1;
  TTaskFields task(tasks);
  bool changed = false;
  std::string url = task.TaskURL().AsString();
  std::string description = task.TaskDescription().AsString();
  TPIniFile* settings = dm_.Context().settings;
  const int task_no = dm_.CurrentTaskNo();
  LoaderKind loader = OfferedLoader(settings, task_no);
  if (dialog.Execute("Edit Location", url, description, loader)) {
    if (url.empty() || url == "http://www.") {
      dialogs_.Error(NotValid(url));
    } else {
      tasks.Edit();
      task.TaskURL().SetString(url);
      task.TaskDescription().SetString(description);
      tasks.Post();
      if (settings) WriteLocationLoader(*settings, task_no, loader);
      changed = true;
    }
  }
  UpdateCaption();
  return changed;
}

bool TLocationCommands::bbDeleteClick() {
  TTable& tasks = dm_.tbTasks;
  bool deleted = false;
  if (tasks.IsEmpty()) {
    dialogs_.Information("No tasks do delete.");
  } else if (dialogs_.Confirm("Do you wish to delete task '" + dm_.CurrentTaskName() + "'?",
                              kYesNo) == kButtonYes) {
    const int number = dm_.CurrentTaskNo();
    tasks.Delete();
    dm_.Context().CurrentLocationNumber = dm_.CurrentTaskNo();
    // Its success is not reported: the location is gone from the list either way.
    dm_.RemoveLocationFolder(number);
    // A later location may get the same number; it must not inherit this one's choice.
    if (TPIniFile* settings = dm_.Context().settings) EraseLocationLoader(*settings, number);
    deleted = true;
  }
  UpdateCaption();
  return deleted;
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

}  // namespace vellumark
