#include "app/core/program_shell.h"

#include <chrono>

#include "app/core/trusted_authorities.h"
#include "store/records.h"
#include "util/keys.h"

namespace vellumark {

ProgramShell::ProgramShell(ProgramContext& context, Dialogs& dialogs, EventPump& pump,
                           SearchBar& search_bar, SearchBarView& view)
    : context_(context),
      settings_(*context.settings),
      dialogs_(dialogs),
      pump_(pump),
      search_bar_(search_bar),
      view_(view) {}

ProgramShell::~ProgramShell() {
  // The browser goes before the data module, as at the end of a run.
  browser_.reset();
  data_.reset();
  http_.reset();
}

bool ProgramShell::FormCreate() {
  search_bar_.hot_key = HotKey{};
  if (load_placement) load_placement();
  trusted_ca_file_ = TrustedCAFileSetting(settings_, context_.program_folder);

  try {
    if (!create_browser) throw BrowserError("no browser engine");
    browser_ = create_browser();
    if (!browser_) throw BrowserError("no browser engine");
  } catch (const std::exception&) {
    dialogs_.Error(kBrowserStartError);
    return false;
  }

  // The data module's components in their order: the HTTP client first, with its design-time
  // settings (body and header kept in memory under these names, ports from the address).
  http_ = std::make_unique<THttpClient>(pump_);
  http_->Body = "Default.htm";
  http_->Header = "Head.txt";
  http_->Port = 0;
  http_->ReportLevel = 0;
  http_->InputFileMode = false;
  http_->OutputFileMode = false;
  http_->ProxyPort = 0;
  http_->TrustedCAFile = trusted_ca_file_;
  data_ = std::make_unique<TdmKiv>(context_, dialogs_, [this] { search_bar_.UpdateCaption(); });
  if (data_->TerminateRequested()) return false;
  search_bar_.current_task_name = [this] { return data_->CurrentTaskName(); };

  context_.CurrentLocationNumber = settings_.ReadInteger("Folders", "TaskFolder", 1);
  task_folder_read_ = true;
  database_open_ = false;
  OpenStartLocation();
  search_bar_.UpdateCaption();

  try {
    browser_->SetVisible(true);
    if (database_open_) {
      browser_->Navigate(TTaskFields(data_->tbTasks).TaskURL().AsString());
    }
    // Waits while the start page loads, bounded so that a page that never finishes cannot
    // hold the start-up.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(start_page_wait_ms);
    while (browser_->Busy() && std::chrono::steady_clock::now() < deadline) {
      browser_->WaitWhileBusy(100);
    }
  } catch (const std::exception&) {
    // A start page that cannot be shown leaves the browser as it is.
  }

  context_.HeaderLines.clear();

  HotKey hot_key = ParseHotKey(settings_.ReadString("Interface", "HotKey", ""));
  if (hot_key.code > 0 && hot_key.modifier_flags >= 0) {
    if (!register_hot_key || !register_hot_key(hot_key.modifier_flags, hot_key.code)) {
      hot_key.code = 0;
    }
  }
  search_bar_.hot_key = hot_key;

  http_->InputFileMode = false;
  http_->OutputFileMode = false;
  http_->ReportLevel = 2;
  http_->TimeOut = kHttpTimeOutMs;

  std::string included = settings_.ReadString("Options", "Included", "FALSE");
  for (char& c : included) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  view_.SetSubWord(included == "TRUE");
  const std::string mode = settings_.ReadString("Options", "SearchOptions", "Any Words");
  for (const char* item : kSearchModeItems) {
    if (mode == item) {
      view_.SetModeText(mode);
      search_bar_.cbSearchOptionsChange();
    }
  }
  context_.FindActive = false;
  return true;
}

void ProgramShell::OpenStartLocation() {
  TTable& tasks = data_->tbTasks;
  const int stored = context_.CurrentLocationNumber;
  if (tasks.RecordCount() == 0 || !tasks.FindKey({std::to_string(stored)})) return;
  if (data_->OpenLocation(data_->LocationFolder(stored))) {
    database_open_ = true;
    return;
  }
  // The stored location cannot be opened: the first one in table order that can be.
  tasks.First();
  while (!tasks.IsEmpty()) {
    context_.CurrentLocationNumber = data_->CurrentTaskNo();
    if (data_->OpenLocation(data_->LocationFolder(context_.CurrentLocationNumber))) {
      database_open_ = true;
      return;
    }
    tasks.Next();
    if (tasks.Eof()) return;
  }
}

void ProgramShell::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // A settings file that cannot be written is reported; the browser is released anyway.
  try {
    if (save_placement) save_placement();
    if (task_folder_read_) {
      settings_.WriteInteger("Folders", "TaskFolder", context_.CurrentLocationNumber);
    }
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
  }
  try {
    if (release_find) release_find();
  } catch (...) {
  }
  try {
    if (browser_) browser_->SetVisible(false);
  } catch (...) {
  }
  browser_.reset();
}

}  // namespace vellumark
