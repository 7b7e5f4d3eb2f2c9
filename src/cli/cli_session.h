// What every command of vellumark-cli works with: the unit start-up on the program folder
// (--home, else VELLUMARK_HOME, else the folder of the program, as for vellumark itself), the
// settings file "vellumark.ini" and its delimiter characters, the message lines, the event
// pump, the data module over the same tables as the program, and on demand the headless
// browser and the HTTP client.
//
// The pump lets Qt's events run (the browser's among them) and turns Ctrl-C into the
// session's interrupt hook: the first Ctrl-C calls it, a second one ends the process.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

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
  void ProcessEventsFor(int max_ms) override;
  // Called (once per Ctrl-C) from the pump when the user pressed Ctrl-C.
  std::function<void()> on_interrupt;

  // Installs the Ctrl-C handler.
  static void CatchInterrupt();

 private:
  void CheckInterrupt();
};

class CliSession final {
 public:
  explicit CliSession(std::optional<std::string> home);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

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
  // The browser (offscreen WebEngine), created on first use; throws CommandFailed when the
  // engine does not start.
  Browser& WebBrowser();
  THttpClient& HttpClient();

  // 0, or 1 when an error message was shown.
  int ExitStatus() const { return dialogs_.ErrorShown() ? 1 : 0; }

 private:
  std::optional<std::string> home_;
  ProgramContext context_;
  std::unique_ptr<TPIniFile> settings_;
  CliDialogs dialogs_;
  CliEventPump pump_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<Browser> browser_;
  std::unique_ptr<THttpClient> http_;
};

}  // namespace vellumark::cli
