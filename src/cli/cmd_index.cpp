// vellumark-cli index N [--overwrite | --continue] [--loader browser|fast]: the indexing run on
// location N, as the index window's "Index" button. The URL question is answered Yes, the
// overwrite question by the flag; Ctrl-C requests a stop and confirms it. A run with the fast
// loader never loads the browser library.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/command.h"
#include "cli/location_args.h"
#include "cli/progress_view.h"
#include "indexer/index_run.h"
#include "store/data_module.h"

namespace vellumark::cli {

namespace {

double Seconds(RunTimings::Duration d) { return std::chrono::duration<double>(d).count(); }

void PrintTimings(const RunTimings& t) {
  char line[256];
  std::snprintf(line, sizeof line,
                "timings: pages %lld, total %.2f s, %.1f pages/s, HEAD %.2f s, load %.2f s, "
                "text extraction %.2f s, words %.2f s (%.2f s of these on reading threads)",
                static_cast<long long>(t.pages), Seconds(t.total), t.PagesPerSecond(),
                Seconds(t.head), Seconds(t.load), Seconds(t.reading), Seconds(t.words),
                Seconds(t.ahead));
  std::cerr << line << std::endl;
}

}  // namespace

void AddIndexCommand(CLI::App& app, CliSession& session) {
  struct Args {
    int task_no = 0;
    bool overwrite = false;
    bool keep = false;
    int browser_wait = 60;
    bool timings = false;
    std::optional<std::string> loader;
    int pages_in_flight = 0;
  };
  auto args = std::make_shared<Args>();
  CLI::App* sub = app.add_subcommand("index", "Index location N");
  sub->add_option("N", args->task_no, "Location number")->required()->check(CLI::NonNegativeNumber);
  CLI::Option* overwrite =
      sub->add_flag("--overwrite", args->overwrite, "When an index exists, start afresh");
  CLI::Option* keep = sub->add_flag("--continue", args->keep,
                                    "When an index exists, go on with it (its pages are kept)");
  overwrite->excludes(keep);
  sub->add_option("--browser-wait", args->browser_wait,
                  "Seconds one page may take to load before it counts as not opened")
      ->check(CLI::PositiveNumber)
      ->default_val(60);
  sub->add_flag("--timings", args->timings, "Print where the run's time went");
  AddLoaderOption(sub, args->loader,
                  "Page loader of this run only: the browser (runs scripts) or the fast loader "
                  "(no scripts); default: the location's own");
  sub->add_option("--pages-in-flight", args->pages_in_flight,
                  "Pages the browser loads at once (default " +
                      std::to_string(IndexerOptions::kPagesInFlight) + ")")
      ->check(CLI::Range(1, 8));

  OnChosen(sub, session, [args, &session] {
    session.SelectLocation(args->task_no);
    TdmKiv& dm = session.DataModule();
    CliDialogs& dialogs = session.Dialogs();
    bool must_choose = false;
    dialogs.answer = [&](const std::string& text, MessageButtons) -> std::optional<MessageButton> {
      if (text.rfind("Do you wish to index URL '", 0) == 0) return kButtonYes;
      if (text == "Index exists. Do you wish to overwrite it?") {
        if (args->overwrite) return kButtonYes;
        if (args->keep) return kButtonNo;
        must_choose = true;
        return kButtonCancel;
      }
      if (text == "Do you wish to stop index process?") return kButtonYes;
      return std::nullopt;
    };
    ProgressView view(session.Pump(), isatty(STDERR_FILENO) == 1);
    dialogs.before_output = [&view] { view.MakeRoom(); };
    IndexerOptions options;
    options.browser_wait_ms = args->browser_wait * 1000;
    options.pages_in_flight = args->pages_in_flight;
    options.loader = ChosenLoader(args->loader);
    const LoaderKind kind = options.loader.value_or(
        ReadLoaderSettings(*session.Context().settings, args->task_no).kind);
    // The fast loader needs no browser: the run gets one that loads nothing, and the browser
    // library (Qt, WebEngine) stays unloaded.
    NoBrowser no_browser;
    Browser& browser = kind == LoaderKind::kFast ? no_browser : session.WebBrowser();
    TIndexer indexer(session.Context(), dm, dialogs, browser, session.HttpClient(), view, {},
                     options);
    session.Pump().on_interrupt = [&indexer] { indexer.bbStopClick(); };
    CliEventPump::CatchInterrupt();

    indexer.bbGoClick();

    session.Pump().on_interrupt = nullptr;
    view.MakeRoom();
    dialogs.before_output = nullptr;
    dialogs.answer = nullptr;
    if (must_choose) {
      dialogs.PrintError(
          "Index exists. Choose --overwrite to start afresh or --continue to "
          "go on with it.");
    }
    if (args->timings) PrintTimings(indexer.Timings());
    return session.ExitStatus();
  });
}

}  // namespace vellumark::cli
