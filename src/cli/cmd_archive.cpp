// vellumark-cli export N FILE [--force] and vellumark-cli import FILE: the index window's
// "Export" and "Import" buttons. FILE answers the file dialog (export applies its extension
// rule); an existing file is overwritten only with --force. Import prints the new location's
// number. On a terminal the progress shows in one live line; Ctrl-C cancels as Esc does.
#include <unistd.h>

#include <iostream>
#include <memory>

#include "archive/index_archive.h"
#include "cli/command.h"
#include "store/data_module.h"

namespace vellumark::cli {

namespace {

// The index window's status line and progress bar on stderr.
class ArchiveProgressView final : public TArchiveView {
 public:
  ArchiveProgressView(EventPump& pump, bool live) : pump_(pump), live_(live) {}

  void ShowStatus(const std::string& text) override {
    if (text != shown_) {
      shown_ = text;
      if (!text.empty()) {
        MakeRoom();
        std::cerr << text << std::endl;
        Redraw();
      }
    }
    pump_.ProcessEvents();
  }
  void SetProgress(int position) override {
    if (position == progress_) return;
    progress_ = position;
    Redraw();
  }
  int Progress() const override { return progress_; }
  void SetProgressVisible(bool visible) override {
    visible_ = visible;
    if (visible)
      Redraw();
    else
      MakeRoom();
  }
  bool ProgressVisible() const override { return visible_; }
  bool CancelFlag() const override { return cancel_; }
  void SetCancelFlag(bool cancel) override { cancel_ = cancel; }

  void MakeRoom() {
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
    drawn_ = false;
  }

 private:
  void Redraw() {
    if (!live_ || !visible_) return;
    std::cerr << "\r\033[K" << progress_ << "%" << std::flush;
    drawn_ = true;
  }

  EventPump& pump_;
  bool live_;
  std::string shown_;
  int progress_ = 0;
  bool visible_ = false;
  bool cancel_ = false;
  bool drawn_ = false;
};

// Runs one archive handler with the view, Ctrl-C as Esc and the session's dialogs.
template <typename Run>
bool RunArchive(CliSession& session, Run run) {
  ArchiveProgressView view(session.Pump(), isatty(STDERR_FILENO) == 1);
  CliDialogs& dialogs = session.Dialogs();
  dialogs.before_output = [&view] { view.MakeRoom(); };
  TIndexArchive archive(session.Context(), session.DataModule(), dialogs, session.Pump(), view);
  session.Pump().on_interrupt = [&view] { ArchiveEscapeKey(view); };
  CliEventPump::CatchInterrupt();
  bool ok = run(archive);
  session.Pump().on_interrupt = nullptr;
  view.MakeRoom();
  dialogs.before_output = nullptr;
  return ok;
}

}  // namespace

void AddExportCommand(CLI::App& app, CliSession& session) {
  struct Args {
    int task_no = 0;
    std::string file;
    bool force = false;
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub = app.add_subcommand("export", "Export the index of location N to FILE (.kvx)");
  sub->add_option("N", args->task_no, "Location number")->required()->check(CLI::NonNegativeNumber);
  sub->add_option("FILE", args->file, "Archive file; its extension becomes .kvx")->required();
  sub->add_flag("--force", args->force, "Overwrite FILE when it exists");

  OnChosen(sub, session, [args, &session] {
    session.SelectLocation(args->task_no);
    CliDialogs& dialogs = session.Dialogs();
    bool refused = false;
    dialogs.save_file = [args](const std::string&) -> std::optional<std::string> {
      return args->file;
    };
    dialogs.answer = [&](const std::string& text, MessageButtons) -> std::optional<MessageButton> {
      if (text.rfind("Do you wish to overwrite ", 0) == 0) {
        if (args->force) return kButtonYes;
        refused = true;
        return kButtonNo;
      }
      return std::nullopt;
    };
    bool ok = RunArchive(session, [](TIndexArchive& a) { return a.bbExportClick(); });
    dialogs.answer = nullptr;
    dialogs.save_file = nullptr;
    if (refused) {
      dialogs.PrintError(ArchiveFileName(args->file) + " exists; --force overwrites it.");
    }
    return ok ? 0 : 1;
  });
}

void AddImportCommand(CLI::App& app, CliSession& session) {
  auto file = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("import", "Import the archive FILE as a new location");
  sub->add_option("FILE", *file, "Archive file")->required();

  OnChosen(sub, session, [file, &session] {
    session.DataModule();
    CliDialogs& dialogs = session.Dialogs();
    dialogs.open_file = [file](const std::string&) -> std::optional<std::string> { return *file; };
    int task_no = -1;
    bool ok = RunArchive(session, [&](TIndexArchive& a) {
      bool imported = a.bbImportClick();
      task_no = a.ImportedTaskNo();
      return imported;
    });
    dialogs.open_file = nullptr;
    if (!ok) return 1;
    std::cout << task_no << std::endl;
    return 0;
  });
}

}  // namespace vellumark::cli
