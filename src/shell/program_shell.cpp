#include "shell/program_shell.h"

#include <chrono>

#include "shell/trusted_authorities.h"
#include "store/records.h"
#include "util/keys.h"
#include "util/settings_names.h"

namespace vellumark {

std::unique_ptr<THttpClient> MakeHttpClient(EventPump& pump, const std::string& trusted_ca_file) {
  auto http = std::make_unique<THttpClient>(pump);
  http->InputFileMode = false;
  http->OutputFileMode = false;
  http->ReportLevel = 2;
  http->TimeOut = kHttpTimeOutMs;
  http->TrustedCAFile = trusted_ca_file;
  return http;
}

ProgramShell::ProgramShell(ProgramContext& context, Dialogs& dialogs, EventPump& pump,
                           SearchBar& search_bar, Desktop& desktop)
    : context_(context),
      settings_(*context.settings),
      dialogs_(dialogs),
      pump_(pump),
      search_bar_(search_bar),
      view_(search_bar.view()),
      desktop_(desktop) {}

ProgramShell::~ProgramShell() {
  search_bar_.Detach();
  // The browser goes before the data module, as at the end of a run.
  browser_.reset();
  data_.reset();
  http_.reset();
}

bool ProgramShell::FormCreate() {
  search_bar_.hot_key = HotKey{};
  view_.LoadFormStatus();
  trusted_ca_file_ = TrustedCAFileSetting(settings_, context_.program_folder);

  try {
    browser_ = desktop_.CreateBrowser(trusted_ca_file_);
    if (!browser_) throw BrowserError("no browser engine");
  } catch (const std::exception&) {
    dialogs_.Error(kBrowserStartError);
    return false;
  }

  // The data module's components in their order: the HTTP client first.
  http_ = MakeHttpClient(pump_, trusted_ca_file_);
  data_ = std::make_unique<TdmKiv>(context_, dialogs_, [this] { search_bar_.UpdateCaption(); });
  if (data_->TerminateRequested()) return false;
  search_bar_.Attach(*data_, *browser_);

  context_.CurrentLocationNumber = settings_.ReadInteger(kTaskFolderSetting, 1);
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

  HotKey hot_key = ParseHotKey(settings_.ReadString(kHotKeySetting, ""));
  if (hot_key.Registrable() && !desktop_.RegisterHotKey(hot_key.modifier_flags, hot_key.code)) {
    hot_key.code = 0;
  }
  search_bar_.hot_key = hot_key;

  std::string included = settings_.ReadString(kIncludedSetting, "FALSE");
  for (char& c : included) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  view_.SetSubWord(included == "TRUE");
  const std::string mode = settings_.ReadString(kSearchOptionsSetting, "Any Words");
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
    view_.SaveFormStatus();
    if (task_folder_read_)
      settings_.WriteInteger(kTaskFolderSetting, context_.CurrentLocationNumber);
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
  }
  search_bar_.Detach();
  try {
    if (browser_) browser_->SetVisible(false);
  } catch (...) {
  }
  browser_.reset();
}

}  // namespace vellumark
