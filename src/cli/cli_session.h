// What every command of vellumark-cli works with: the unit start-up on the program folder
// (--home, else VELLUMARK_HOME, else the folder of the program, as for vellumark itself), the
// settings file "vellumark.ini" and its delimiter characters, the message lines, the event
// pump, the data module over the same tables as the program, and on demand the browser engine
// and the HTTP client.
//
// The browser engine (browser/browser_engine.h) is loaded only when a command asks for the
// browser; the other commands never load Qt. The pump lets the engine's events run once it is
// there and turns Ctrl-C into the session's interrupt hook: the first Ctrl-C calls it, a second
// one ends the process.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "browser/browser_engine.h"
#include "cli/cli_dialogs.h"
#include "platform/browser.h"
#include "platform/event_pump.h"
#include "util/context.h"

namespace vellumark {
class TdmKiv;
class TPIniFile;
class THttpClient;
}  // namespace vellumark

namespace vellumark::cli {

// Ends a command with the exit status 1 after its message was shown.
struct CommandFailed {};

class CliEventPump final : public EventPump {
 public:
  void ProcessEvents() override;
  // With the browser engine loaded, runs its events for `max_ms`; without it there are no
  // events to wait for, and it sleeps.
  void ProcessEventsFor(int max_ms) override;
  // Called (once per Ctrl-C) from the pump when the user pressed Ctrl-C.
  std::function<void()> on_interrupt;
  // The browser engine's pump, once the engine is loaded (null before).
  EventPump* engine = nullptr;

  // Installs the Ctrl-C handler.
  static void CatchInterrupt();

 private:
  void CheckInterrupt();
};

class CliSession final {
 public:
  // `program` is the path the tool was started as (argv[0]).
  explicit CliSession(std::string program);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // --home: the program folder named on the command line.
  std::optional<std::string> home;

  // The start-up; on failure shows the error and throws CommandFailed.
  void Start();

  ProgramContext& Context() { return context_; }
  CliDialogs& Dialogs() { return dialogs_; }
  CliEventPump& Pump() { return pump_; }
  // The data module, created on first use (throws CommandFailed when the root tables cannot
  // be opened; the messages were shown).
  TdmKiv& DataModule();
  // Makes location `task_no` the current Tasks record; shows an error and throws
  // CommandFailed when there is none.
  void SelectLocation(int task_no);
  // The browser (offscreen WebEngine), with the browser engine loaded on first use; shows
  // "Cannot start the browser: " and the reason and throws CommandFailed when the library
  // cannot be loaded or the engine does not start.
  Browser& WebBrowser();
  THttpClient& HttpClient();

  // 0, or 1 when an error message was shown.
  int ExitStatus() const { return dialogs_.ErrorShown() ? 1 : 0; }
  // The status the command returned (OnChosen), and the tool's exit status: the command's when
  // it is not 0, else ExitStatus(); 2 when no command ran.
  void SetCommandStatus(int status) { command_status_ = status; }
  int ToolStatus() const {
    if (!command_status_) return 2;
    return *command_status_ != 0 ? *command_status_ : ExitStatus();
  }

 private:
  std::string program_;
  ProgramContext context_;
  std::unique_ptr<TPIniFile> settings_;
  CliDialogs dialogs_;
  CliEventPump pump_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<BrowserEngine> engine_;
  std::unique_ptr<THttpClient> http_;
  std::optional<int> command_status_;
};

}  // namespace vellumark::cli
