// The search bar's start-up and shutdown, without widgets: the browser, the data module and
// the HTTP client, the current location with its fall-back walk, the start page, the hot key
// and the search settings. ProgramShell owns the browser, the data module and the HTTP client
// for the whole run (the client sits here, beside the data module, because the store layer
// lies below the network layer).
//
// The window supplies what only it can do through the hooks (its placement, the engine's
// browser, the system hot key); tests pass doubles.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/core/search_bar.h"
#include "net/http_client.h"
#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "store/data_module.h"
#include "util/context.h"
#include "util/inifile.h"

namespace vellumark {

inline constexpr const char* kBrowserStartError =
    "Cannot start Internet Explorer. Please check you have installed Microsoft IE Version 4.0 "
    "or higher.";

class ProgramShell final {
 public:
  // Everything passed must outlive the shell; `context.settings` must be set.
  ProgramShell(ProgramContext& context, Dialogs& dialogs, EventPump& pump, SearchBar& search_bar,
               SearchBarView& view);
  ~ProgramShell();
  ProgramShell(const ProgramShell&) = delete;
  ProgramShell& operator=(const ProgramShell&) = delete;

  std::function<void()> load_placement;  // LoadFormStatus of the search bar
  std::function<void()> save_placement;  // SaveFormStatus of the search bar
  // Creates the browser; throws when the engine cannot start.
  std::function<std::unique_ptr<Browser>()> create_browser;
  // Registers the system-wide hot key with kMod* flags; false when refused.
  std::function<bool(int modifiers, int code)> register_hot_key;
  // Releases the find-in-page document range (the search layer's).
  std::function<void()> release_find;
  // The longest the start page may take to load.
  int start_page_wait_ms = 30000;

  // The search bar's FormCreate. False when the program must end (no browser, or the root
  // tables could not be opened); the messages have been shown.
  bool FormCreate();
  // The search bar's FormDestroy: placement, "TaskFolder", the browser hidden and released.
  void FormDestroy();

  Browser* browser() { return browser_.get(); }
  TdmKiv* data() { return data_.get(); }
  // The data module's HTTP client; exists once FormCreate got past the browser.
  THttpClient* http_client() { return http_.get(); }
  // The extra trusted authorities ("Options" / "TrustedCA"), read by FormCreate before it
  // creates the browser; the HTTP client gets them too. Empty when none are named.
  const std::string& trusted_ca_file() const { return trusted_ca_file_; }

  // Time-out of every waiting operation of the HTTP client, so that a server that neither
  // answers nor closes cannot hold the program.
  static constexpr int kHttpTimeOutMs = 30000;
  bool database_open() const { return database_open_; }

 private:
  void OpenStartLocation();

  ProgramContext& context_;
  TPIniFile& settings_;
  Dialogs& dialogs_;
  EventPump& pump_;
  SearchBar& search_bar_;
  SearchBarView& view_;
  std::unique_ptr<Browser> browser_;
  std::unique_ptr<THttpClient> http_;
  std::unique_ptr<TdmKiv> data_;
  std::string trusted_ca_file_;
  bool task_folder_read_ = false;  // start-up got as far as reading "TaskFolder"
  bool database_open_ = false;
  bool destroyed_ = false;
};

}  // namespace vellumark
