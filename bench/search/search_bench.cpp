// Latency of Find over a 20,000-page location, of writing a result page of 1,000 entries, and of
// the command-line tool's search path over a location it indexed.
//
// The index is the store benchmark's corpus (same seed, vocabulary of 50,000 words drawn with
// a Zipf distribution, 300 to 3,000 words per page, same weights), written straight into the
// word tables instead of page by page through StoreWords, which gives the same page lists in
// a fraction of the time. One extra word, "thousand", is on pages 1 to 1,000, for the
// 1,000-entry result page. The location is built once per page count and kept under --dir.
//
// Every Find benchmark is one whole Find (bbFindClick) on an open data module, as in the
// program: word queries, scoring, ranking, the result page file and the hand-off to a browser
// that does nothing. BM_WritePage1000 writes a page of 1,000 entries from data in memory, the
// file alone. Each repetition is one run; reported: median (and minimum) of the repetitions.
//
// With --cli-home=DIR (a program folder whose location 1 the command-line tool indexed) and
// --cli-samples=FILE (lines "any|all|exact<TAB>sample"), BM_CliSearchPath runs what
// "vellumark-cli search" does in its process once the libraries are loaded, per sample: the
// unit start-up, a new data module, the location, the header file, Find, and the printed lines.
//
//   search_bench                 the 20,000-page location
//   search_bench --pages=2000    a smaller one
//   search_bench --dir=/path     where the locations are kept (default /tmp)
//   search_bench --cli-home=DIR --cli-samples=FILE   only the command-line path, per sample
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/result_page.h"
#include "search/search.h"
#include "store/data_module.h"
#include "store/page_list.h"
#include "store/query.h"
#include "store/word_store.h"
#include "support/corpus.h"
#include "util/startup.h"

namespace vellumark {
namespace {

int g_pages = 20000;
std::string g_dir = "/tmp";
std::string g_cli_home;     // --cli-home
std::string g_cli_samples;  // --cli-samples
constexpr int kRepetitions = 25;

class NoDialogs final : public Dialogs {
 public:
  MessageButton Message(MessageKind, const std::string& text, MessageButtons) override {
    last = text;
    return kButtonNo;
  }
  std::optional<std::string> OpenFileName(const std::string&) override { return {}; }
  std::optional<std::string> SaveFileName(const std::string&) override { return {}; }
  std::string last;
};

class NullStatus final : public StatusView {
 public:
  void ShowStatus(const std::string&) override {}
};

class BenchView final : public SearchView {
 public:
  std::string SearchText() override { return text; }
  void FocusSearchText() override {}
  std::vector<std::string> History() override { return {}; }
  void SetHistory(const std::vector<std::string>&) override {}
  TSearchMode SearchMode() override { return mode; }
  bool SubWord() override { return sub_word; }
  bool ShowSample() override { return false; }
  void SetFindEnabled(bool) override {}
  std::string text;
  TSearchMode mode = smAnyWords;
  bool sub_word = false;
};

std::string LocationRoot() { return g_dir + "/vm_search_bench_" + std::to_string(g_pages) + "/"; }

// Builds the location unless a complete one is there.
bool BuildIndex(const Corpus& corpus_words) {
  const std::string root = LocationRoot();
  if (std::filesystem::exists(root + "complete")) return true;
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  std::fprintf(stderr, "building a %d-page location in %s\n", g_pages, root.c_str());
  ProgramContext context;
  context.db_root_folder = root;
  context.program_folder = root;
  NoDialogs dialogs;
  TdmKiv dm(context, dialogs);
  dm.tbTasks.Insert();
  dm.tbTasks.FieldByName("Task_URL").SetString("http://bench.example/site/index.html");
  dm.tbTasks.FieldByName("Time_Start").SetString("10:00:00");
  dm.tbTasks.FieldByName("Time_End").SetString("11:00:00");
  dm.tbTasks.FieldByName("SearchDelimiters").SetString(" \t\n\r,;");
  dm.tbTasks.Post();
  const std::string folder = dm.LocationFolder(dm.CurrentTaskNo());
  if (!dm.CreateLocationTables(folder) || !dm.OpenLocation(folder)) return false;

  Corpus corpus;  // a fresh one: the pages come in the store benchmark's order
  (void)corpus_words;
  std::map<std::pair<int, std::string>, std::string> lists;  // (table, key) -> page list
  {
    TTransaction tx(dm.dbKiv);
    for (int page = 1; page <= g_pages; ++page) {
      std::int64_t length = 0;
      std::vector<std::string> words = corpus.NextPage(length);
      std::string text;
      for (const auto& w : words) {
        if (text.size() > 200) break;
        text += w + " ";
      }
      TTable& files = dm.tbFiles;
      files.Insert();
      files.Fields(0).SetInteger(page);
      files.Fields(1).SetString("page" + std::to_string(page) + ".html");
      files.Fields(3).SetInteger(1);
      files.Fields(5).SetString("Page " + std::to_string(page));
      files.Fields(6).SetString(text.substr(0, 200));
      files.Post();
      for (std::size_t i = 0; i < words.size();) {
        std::size_t j = i;
        while (j < words.size() && words[j] == words[i]) ++j;
        std::string& list = lists[{WordTableNumber(words[i]), WordKey(words[i])}];
        AppendPosting(list, page, WeightOf(static_cast<int>(j - i), length));
        i = j;
      }
      if (page <= 1000) AppendPosting(lists[{2, "thousand"}], page, 1 + page % 7);
    }
    for (const auto& [key, list] : lists) {
      TTable& table = dm.WordTable(key.first);
      table.Insert();
      table.Fields(0).SetString(key.second);
      table.Fields(1).SetBlob(list);
      table.Post();
    }
    tx.Commit();
  }
  std::fprintf(stderr, "  %zu word records\n", lists.size());
  dm.dbKiv.Disconnect();
  std::FILE* f = std::fopen((root + "complete").c_str(), "w");
  if (f) std::fclose(f);
  return true;
}

struct Setup {
  Setup() : view(), search(nullptr) {}
  ProgramContext context;
  NoDialogs dialogs;
  NoBrowser browser;
  NullStatus status;
  BenchView view;
  std::unique_ptr<TdmKiv> dm;
  std::unique_ptr<TSearch> search;
};

Setup& Shared() {
  static Setup* setup = [] {
    auto* s = new Setup;
    s->context.db_root_folder = LocationRoot();
    s->context.program_folder = LocationRoot();
    s->dm = std::make_unique<TdmKiv>(s->context, s->dialogs);
    s->search =
        std::make_unique<TSearch>(s->context, *s->dm, s->browser, s->dialogs, s->view, s->status);
    return s;
  }();
  return *setup;
}

const Corpus& Words() {
  static const Corpus corpus;
  return corpus;
}

void RunFind(benchmark::State& state, const std::string& sample, TSearchMode mode, bool sub_word) {
  Setup& s = Shared();
  s.view.text = sample;
  s.view.mode = mode;
  s.view.sub_word = sub_word;
  std::int64_t entries = 0;
  for (auto _ : state) {
    s.dialogs.last.clear();
    s.search->bbFindClick();
    entries = static_cast<std::int64_t>(s.search->Entries().size());
  }
  if (!s.dialogs.last.empty() && s.dialogs.last.find("Do you wish") == std::string::npos) {
    state.SkipWithError(s.dialogs.last.c_str());
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.SetLabel("\"" + sample + "\"");
}

// Word ranks: 10 is on nearly every page, 5,000 on about 3 % of them.
void BM_AnyWordsOne(benchmark::State& state) {
  RunFind(state, Words().Word(5000), smAnyWords, false);
}
void BM_AnyWordsOneFrequent(benchmark::State& state) {
  RunFind(state, Words().Word(10), smAnyWords, false);
}
void BM_AnyWordsThree(benchmark::State& state) {
  RunFind(state, Words().Word(5000) + " " + Words().Word(10000) + " " + Words().Word(20000),
          smAnyWords, false);
}
void BM_AllWordsThree(benchmark::State& state) {
  RunFind(state, Words().Word(10) + " " + Words().Word(100) + " " + Words().Word(1000), smAllWords,
          false);
}
void BM_Prefix3(benchmark::State& state) {
  RunFind(state, Words().Word(3000).substr(0, 3), smAnyWords, false);
}
void BM_SubWord(benchmark::State& state) {
  RunFind(state, Words().Word(3000).substr(0, 3), smAnyWords, true);
}
void BM_ExactPhrase(benchmark::State& state) {
  RunFind(state, Words().Word(5000), smExactPhrase, false);
}
void BM_ResultPage1000(benchmark::State& state) { RunFind(state, "thousand", smAnyWords, false); }

// The result page file alone: 1,000 entries with address, title and start text.
void BM_WritePage1000(benchmark::State& state) {
  const std::string path = LocationRoot() + "WritePage.htm";
  std::string text;
  for (int i = 0; i < 20; ++i) text += Words().Word(i * 7) + " ";
  std::vector<std::string> addresses;
  for (int i = 1; i <= 1000; ++i) {
    addresses.push_back("http://bench.example/site/docs/page" + std::to_string(i) + ".html");
  }
  const std::vector<std::string> header = {"<HEAD>", "<TITLE>Vellumark Result</TITLE>", "</HEAD>"};
  TResultPageFile page;
  for (auto _ : state) {
    page.Create(path);
    page.WriteLine(kDocTypeLine);
    page.WriteLine(kHtmlLine);
    for (const auto& line : header) page.WriteLine(line);
    page.WriteLine(SummaryLine(1000));
    for (int i = 0; i < 1000; ++i) {
      page.WriteLine(LinkLine(i + 1, addresses[i], "Page " + std::to_string(i + 1)));
      page.WriteLine(StartedAsLine(text));
    }
    page.WriteLine(kBodyEndLine);
    page.WriteLine(kHtmlEndLine);
    page.Close();
  }
  state.SetLabel(std::to_string(std::filesystem::file_size(path) / 1024) + " KiB");
}

// Baseline: the same word queries and page-list decoding, scores added in a hash map, no
// result page.
void BM_BaselineDecodeOnly(benchmark::State& state) {
  Setup& s = Shared();
  const std::string word = Words().Word(10);
  TdmKiv& dm = *s.dm;
  dm.OpenLocation(dm.LocationFolder(1));
  std::size_t pages = 0;
  for (auto _ : state) {
    std::unordered_map<int, std::int64_t> scores;
    for (int table = WordTableNumber(word); table <= 3; ++table) {
      TQuery& q = dm.quQuery;
      q.SetSQL(WordQuerySql(table, TWordMatch::kPrefix));
      q.SetParam(1, WordQueryParam(word, TWordMatch::kPrefix));
      for (q.Open(); !q.Eof(); q.Next()) {
        const std::string list = q.Fields(0).AsBlob();
        TPageListDecoder d(list);
        TPosting p;
        while (d.Next(p)) scores[p.file_no] += p.weight;
      }
      q.Close();
    }
    pages = scores.size();
  }
  state.counters["pages"] = static_cast<double>(pages);
  state.SetLabel("\"" + word + "\"");
}

// What "vellumark-cli search --mode MODE SAMPLE" runs once its process is up: the unit start-up
// on the program folder, a new data module (a new connection), location 1, the header file,
// Find without a browser, and the lines it prints.
void BM_CliSearchPath(benchmark::State& state, const std::string& sample, TSearchMode mode) {
  StartupEnvironment env;
  env.vellumark_home = g_cli_home;
  env.executable_path = g_cli_home + "vellumark";
  std::size_t entries = 0;
  for (auto _ : state) {
    ProgramContext context;
    std::unique_ptr<TPIniFile> settings = StartUnit(env, context);
    NoDialogs dialogs;
    TdmKiv dm(context, dialogs);
    dm.tbTasks.FindKey({"1"});
    // The header file is read as the command reads it; the default lines stand in when absent.
    std::ifstream header(context.program_folder + "SHFile.htm");
    context.HeaderLines.clear();
    for (std::string line; std::getline(header, line);) {
      if (!line.empty()) context.HeaderLines.push_back(line);
    }
    if (!header.is_open()) {
      context.HeaderLines = {"<HEAD>", "<TITLE>Vellumark Result</TITLE>", "</HEAD>"};
    }
    BenchView view;
    view.text = sample;
    view.mode = mode;
    NoBrowser browser;
    NullStatus status;
    TSearch search(context, dm, browser, dialogs, view, status);
    search.bbFindClick();
    std::ostringstream out;
    for (const TResultEntry& e : search.Entries()) {
      out << e.rank << '\t' << e.score << '\t' << e.file_no << '\t' << e.address << '\t' << e.title
          << '\n';
    }
    benchmark::DoNotOptimize(out.str());  // the printing, without the terminal
    entries = search.Entries().size();
    if (!dialogs.last.empty() && dialogs.last.find("Do you wish") == std::string::npos) {
      state.SkipWithError(dialogs.last.c_str());
      break;
    }
  }
  state.counters["entries"] = static_cast<double>(entries);
}

template <typename Benchmark>
void Configure(Benchmark* b) {
  b->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(kRepetitions)
      ->ComputeStatistics(
          "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ReportAggregatesOnly(true);
}

void RegisterFindBenchmarks() {
  const std::pair<const char*, void (*)(benchmark::State&)> benchmarks[] = {
      {"BM_AnyWordsOne", BM_AnyWordsOne},
      {"BM_AnyWordsOneFrequent", BM_AnyWordsOneFrequent},
      {"BM_BaselineDecodeOnly", BM_BaselineDecodeOnly},
      {"BM_AnyWordsThree", BM_AnyWordsThree},
      {"BM_AllWordsThree", BM_AllWordsThree},
      {"BM_Prefix3", BM_Prefix3},
      {"BM_SubWord", BM_SubWord},
      {"BM_ExactPhrase", BM_ExactPhrase},
      {"BM_ResultPage1000", BM_ResultPage1000},
      {"BM_WritePage1000", BM_WritePage1000}};
  for (const auto& [name, fn] : benchmarks) Configure(benchmark::RegisterBenchmark(name, fn));
}

// One BM_CliSearchPath per line of the samples file.
void RegisterCliSamples() {
  std::ifstream in(g_cli_samples);
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string mode = line.substr(0, tab), sample = line.substr(tab + 1);
    const TSearchMode m = mode == "all" ? smAllWords : mode == "exact" ? smExactPhrase : smAnyWords;
    Configure(benchmark::RegisterBenchmark(
        ("BM_CliSearchPath/" + std::to_string(++n) + "/" + mode + ":" + sample).c_str(),
        BM_CliSearchPath, sample, m));
  }
}

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  std::vector<char*> rest =
      vellumark::TakeCorpusOptions(argc, argv, vellumark::g_pages, vellumark::g_dir);
  std::vector<char*> args;
  for (char* arg : rest) {
    if (std::strncmp(arg, "--cli-home=", 11) == 0) {
      vellumark::g_cli_home = arg + 11;
      if (!vellumark::g_cli_home.empty() && vellumark::g_cli_home.back() != '/') {
        vellumark::g_cli_home += '/';
      }
    } else if (std::strncmp(arg, "--cli-samples=", 14) == 0) {
      vellumark::g_cli_samples = arg + 14;
    } else {
      args.push_back(arg);
    }
  }
  if (!vellumark::g_cli_home.empty()) {
    vellumark::RegisterCliSamples();
  } else {
    if (!vellumark::BuildIndex(vellumark::Words())) {
      std::fprintf(stderr, "cannot build the location\n");
      return 1;
    }
    vellumark::RegisterFindBenchmarks();
  }
  vellumark::RunBenchmarks(std::move(args));
  return 0;
}
