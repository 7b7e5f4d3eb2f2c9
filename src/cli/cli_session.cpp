#include "cli/cli_session.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <filesystem>

#include "app/core/program_shell.h"
#include "app/core/trusted_authorities.h"
#include "app/web_browser.h"
#include "net/http_client.h"
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
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  CheckInterrupt();
}

void CliEventPump::ProcessEventsFor(int max_ms) {
  if (max_ms > 0 && QCoreApplication::instance()) {
    QEventLoop loop;
    QTimer::singleShot(max_ms, &loop, &QEventLoop::quit);
    loop.exec();
  } else {
    ProcessEvents();
  }
  CheckInterrupt();
}

CliSession::CliSession(std::optional<std::string> home) : home_(std::move(home)) {}

CliSession::~CliSession() {
  http_.reset();
  browser_.reset();
  dm_.reset();
}

void CliSession::Start() {
  StartupEnvironment env = StartupEnvironment::FromProcess();
  if (home_) env.vellumark_home = std::filesystem::absolute(*home_).string();
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
  if (!browser_) {
    try {
      auto browser = std::make_unique<vellumark::WebBrowser>();
      browser->SetTrustedCAFile(TrustedCAFileSetting(*settings_, context_.program_folder));
      browser_ = std::move(browser);
    } catch (const std::exception& e) {
      dialogs_.PrintError(std::string("Cannot start the browser: ") + e.what());
      throw CommandFailed{};
    }
  }
  return *browser_;
}

THttpClient& CliSession::HttpClient() {
  if (!http_) {
    http_ = std::make_unique<THttpClient>(pump_);
    http_->InputFileMode = false;
    http_->OutputFileMode = false;
    http_->ReportLevel = 2;
    // As in the program: a server that neither answers nor closes cannot hold the run.
    http_->TimeOut = ProgramShell::kHttpTimeOutMs;
    // The extra trusted authorities of the settings file, as in the program.
    http_->TrustedCAFile = TrustedCAFileSetting(*settings_, context_.program_folder);
  }
  return *http_;
}

}  // namespace vellumark::cli
