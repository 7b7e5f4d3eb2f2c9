// vellumark-cli search [--location N] [--mode any|all|exact] [--included] [--show] SAMPLE: the
// search bar's Find on location N (default: the current location of the settings file). It
// writes "SrchRes.htm" in the program folder as the program does and prints the listed pages,
// best first, one per line: rank, score, page number, address and title, tab-separated. The
// stop questions of a long listing are answered No. With --show every listed page is opened in
// the headless browser for its text sample; without it no browser is started.
#include <unistd.h>

#include <iostream>
#include <memory>
#include <optional>

#include "cli/command.h"
#include "cli/progress_view.h"
#include "search/search.h"
#include "shell/options.h"
#include "store/data_module.h"
#include "util/inifile.h"
#include "util/settings_names.h"

namespace vellumark::cli {

namespace {

// The search bar's controls, set from the arguments.
class ArgumentsSearchView final : public SearchView {
 public:
  ArgumentsSearchView(std::string sample, TSearchMode mode, bool included, bool show)
      : sample_(std::move(sample)), mode_(mode), included_(included), show_(show) {}
  std::string SearchText() override { return sample_; }
  void FocusSearchText() override {}
  std::vector<std::string> History() override { return {}; }
  void SetHistory(const std::vector<std::string>&) override {}
  TSearchMode SearchMode() override { return mode_; }
  bool SubWord() override { return included_; }
  bool ShowSample() override { return show_; }
  void SetFindEnabled(bool) override {}

 private:
  std::string sample_;
  TSearchMode mode_;
  bool included_;
  bool show_;
};

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

void AddSearchCommand(CLI::App& app, CliSession& session) {
  struct Args {
    std::optional<int> location;
    std::string mode = "any";
    bool included = false;
    bool show = false;
    std::string sample;
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub = app.add_subcommand(
      "search",
      "Find SAMPLE in a location's index; print the pages found, best first: rank, "
      "score, page number, address, title");
  sub->add_option("--location", args->location,
                  "Location number (default: the current location of the settings file)")
      ->check(CLI::NonNegativeNumber);
  sub->add_option("--mode", args->mode, "Search mode")
      ->check(CLI::IsMember({"any", "all", "exact"}))
      ->default_val("any");
  sub->add_flag("--included", args->included, "Match the words inside longer words too");
  sub->add_flag("--show", args->show, "Open every page found for the sample text around the match");
  sub->add_option("SAMPLE", args->sample, "The search sample")->required();

  OnChosen(sub, session, [args, &session] {
    ProgramContext& context = session.Context();
    TdmKiv& dm = session.DataModule();
    if (args->location) {
      session.SelectLocation(*args->location);
    } else {
      // As at program start: the stored location when it exists; otherwise the current
      // record stays where the table put it.
      const int stored = context.settings->ReadInteger(kTaskFolderSetting, 1);
      if (!dm.tbTasks.IsEmpty()) dm.tbTasks.FindKey({std::to_string(stored)});
    }
    // The result page's header lines, as the options window loads them at start (a relative
    // file name is taken from the program folder, the current directory).
    OptionsFormCreate(context, *context.settings);

    const TSearchMode mode = args->mode == "all"     ? smAllWords
                             : args->mode == "exact" ? smExactPhrase
                                                     : smAnyWords;
    ArgumentsSearchView view(args->sample, mode, args->included, args->show);
    CliDialogs& dialogs = session.Dialogs();
    dialogs.answer = [](const std::string& text, MessageButtons) -> std::optional<MessageButton> {
      if (text.rfind("Found more then ", 0) == 0) return kButtonNo;
      return std::nullopt;
    };
    ProgressView status(session.Pump(), isatty(STDERR_FILENO) == 1);
    dialogs.before_output = [&status] { status.MakeRoom(); };
    // Without --show the result page is only written: there is no window to show it in.
    NoBrowser no_browser;
    Browser& browser = args->show ? session.WebBrowser() : no_browser;

    TSearch search(context, dm, browser, dialogs, view, status);
    search.bbFindClick();

    status.MakeRoom();
    dialogs.before_output = nullptr;
    dialogs.answer = nullptr;
    for (const TResultEntry& e : search.Entries()) {
      std::cout << e.rank << '\t' << e.score << '\t' << e.file_no << '\t' << OneLine(e.address)
                << '\t' << OneLine(e.title) << '\n';
    }
    std::cout.flush();
    return session.ExitStatus();
  });
}

}  // namespace vellumark::cli
