// The search bar's start-up and shutdown, without widgets: the browser, the data module and
// the HTTP client, the current location with its fall-back walk, the start page, the hot key
// and the search settings.
//
// Ownership: ProgramShell owns the browser, the data module and the HTTP client for the whole
// run. The HTTP client is the program shell's, not the data module's, because the store layer
// lies below the network layer: the shell makes it (MakeHttpClient) and hands it to the data
// module's users, the indexing run among them. The shell lends the data module and the browser
// to the search bar (SearchBar::Attach) and takes them back at shutdown.
//
// The search bar window (its placement) and the desktop (the browser engine, the system hot
// key) do what only they can; tests pass doubles.
#pragma once

#include <memory>
#include <string>

#include "net/http_client.h"
#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "shell/desktop.h"
#include "shell/search_bar.h"
#include "store/data_module.h"
#include "util/context.h"
#include "util/inifile.h"

namespace vellumark {

inline constexpr const char* kBrowserStartError =
    "Cannot start Internet Explorer. Please check you have installed Microsoft IE Version 4.0 "
    "or higher.";

// Time-out of every waiting operation of the HTTP client, so that a server that neither
// answers nor closes cannot hold the program.
inline constexpr int kHttpTimeOutMs = 30000;

// The HTTP client as the program makes it for the data module's users: bodies and headers kept
// in memory, status reports up to level 2, kHttpTimeOutMs, and the extra trusted authorities of
// `trusted_ca_file` (empty: none) beside the system's store. `pump` must outlive it.
std::unique_ptr<THttpClient> MakeHttpClient(EventPump& pump, const std::string& trusted_ca_file);

class ProgramShell final {
 public:
  // Everything passed must outlive the shell; `context.settings` must be set.
  ProgramShell(ProgramContext& context, Dialogs& dialogs, EventPump& pump, SearchBar& search_bar,
               Desktop& desktop);
  // Takes the data module and the browser back from the search bar, then releases them.
  ~ProgramShell();
  ProgramShell(const ProgramShell&) = delete;
  ProgramShell& operator=(const ProgramShell&) = delete;

  // The longest the start page may take to load.
  int start_page_wait_ms = 30000;

  // The search bar's FormCreate. False when the program must end (no browser, or the root
  // tables could not be opened); the messages have been shown.
  bool FormCreate();
  // The search bar's FormDestroy: placement, "TaskFolder", the search bar's search dropped, the
  // browser hidden and released.
  void FormDestroy();

  Browser* browser() { return browser_.get(); }
  TdmKiv* data() { return data_.get(); }
  // The data module's HTTP client; exists once FormCreate got past the browser.
  THttpClient* http_client() { return http_.get(); }
  // The extra trusted authorities ("Options" / "TrustedCA"), read by FormCreate before it
  // creates the browser; the HTTP client gets them too. Empty when none are named.
  const std::string& trusted_ca_file() const { return trusted_ca_file_; }

  bool database_open() const { return database_open_; }

 private:
  void OpenStartLocation();

  ProgramContext& context_;
  TPIniFile& settings_;
  Dialogs& dialogs_;
  EventPump& pump_;
  SearchBar& search_bar_;
  SearchBarView& view_;
  Desktop& desktop_;
  std::unique_ptr<Browser> browser_;
  std::unique_ptr<THttpClient> http_;
  std::unique_ptr<TdmKiv> data_;
  std::string trusted_ca_file_;
  bool task_folder_read_ = false;  // start-up got as far as reading "TaskFolder"
  bool database_open_ = false;
  bool destroyed_ = false;
};

}  // namespace vellumark
