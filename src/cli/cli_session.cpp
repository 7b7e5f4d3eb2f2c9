#include "cli/cli_session.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "cli/browser_loader.h"
#include "net/http_client.h"
#include "shell/program_shell.h"
#include "shell/trusted_authorities.h"
#include "store/data_module.h"
#include "util/delimiter_text.h"
#include "util/startup.h"

namespace vellumark::cli {

namespace {

// Set by the signal handler, read by the pump: the only state a handler may touch.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

}  // namespace

void CliEventPump::CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The second Ctrl-C finds the default handler again and ends the process.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

void CliEventPump::CheckInterrupt() {
  if (!interrupted) return;
  interrupted = 0;
  if (on_interrupt) on_interrupt();
}

void CliEventPump::ProcessEvents() {
  if (engine) engine->ProcessEvents();
  CheckInterrupt();
}

void CliEventPump::ProcessEventsFor(int max_ms) {
  if (engine) {
    engine->ProcessEventsFor(max_ms);
  } else if (max_ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(max_ms));
  }
  CheckInterrupt();
}

CliSession::CliSession(std::string program) : program_(std::move(program)) {}

CliSession::~CliSession() {
  http_.reset();
  dm_.reset();
  // The browser and the Qt application go last, with the engine.
  pump_.engine = nullptr;
  engine_.reset();
}

void CliSession::Start() {
  StartupEnvironment env = StartupEnvironment::FromProcess();
  if (home) env.vellumark_home = std::filesystem::absolute(*home).string();
  // The same program folder and settings file as the program beside it ("vellumark.ini").
  const std::filesystem::path exe(env.executable_path);
  env.executable_path = (exe.parent_path() / "vellumark").string();
  try {
    settings_ = StartUnit(env, context_);
  } catch (const std::exception& e) {
    dialogs_.PrintError(e.what());
    throw CommandFailed{};
  }
  // The delimiter characters, as the options window loads them at start.
  LoadDelimiters(*settings_, context_.DelimiterChars);
}

TdmKiv& CliSession::DataModule() {
  if (!dm_) {
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    if (dm_->TerminateRequested()) throw CommandFailed{};
  }
  return *dm_;
}

void CliSession::SelectLocation(int task_no) {
  TdmKiv& dm = DataModule();
  if (!dm.tbTasks.FindKey({std::to_string(task_no)})) {
    dialogs_.PrintError("No location " + std::to_string(task_no) + ".");
    throw CommandFailed{};
  }
}

Browser& CliSession::WebBrowser() {
  if (!engine_) {
    std::string error;
    engine_ = LoadBrowserEngine(StartupEnvironment::FromProcess().executable_path, program_,
                                TrustedCAFileSetting(*settings_, context_.program_folder), error);
    if (!engine_) {
      dialogs_.PrintError("Cannot start the browser: " + error);
      throw CommandFailed{};
    }
    pump_.engine = &engine_->Pump();
  }
  return engine_->GetBrowser();
}

THttpClient& CliSession::HttpClient() {
  // As in the program: the program shell's client, with the settings' trusted authorities.
  if (!http_)
    http_ = MakeHttpClient(pump_, TrustedCAFileSetting(*settings_, context_.program_folder));
  return *http_;
}

}  // namespace vellumark::cli
