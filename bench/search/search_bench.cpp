// Latency of Find over a 20,000-page location, and of writing a result page of 1,000 entries.
//
// The index is the store benchmark's corpus (same seed, vocabulary of 50,000 words drawn with
// a Zipf distribution, 300 to 3,000 words per page, same weights), written straight into the
// word tables instead of page by page through StoreWords, which gives the same page lists in
// a fraction of the time. One extra word, "thousand", is on pages 1 to 1,000, for the
// 1,000-entry result page. The location is built once per page count and kept under --dir.
//
// Every benchmark is one whole Find (bbFindClick): word queries, scoring, ranking, the result
// page file and the hand-off to a browser that does nothing. Reported: median (and minimum) of 7
// runs.
//
//   search_bench                 the 20,000-page location
//   search_bench --pages=2000    a smaller one
//   search_bench --dir=/path     where the locations are kept (default /tmp)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/search.h"
#include "store/data_module.h"
#include "store/page_list.h"
#include "store/query.h"
#include "store/word_store.h"
#include "support/corpus.h"

namespace vellumark {
namespace {

int g_pages = 20000;
std::string g_dir = "/tmp";

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

// Baseline: the same word queries and page-list decoding, scores added in a hash map instead
// of the scratch table, no result page. What Find costs beyond this is the scoring through
// Result and the page.
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

#define VM_BENCH(fn)                                                                          \
  BENCHMARK(fn)                                                                               \
      ->Unit(benchmark::kMillisecond)                                                         \
      ->Iterations(1)                                                                         \
      ->Repetitions(7)                                                                        \
      ->ComputeStatistics(                                                                    \
          "min",                                                                              \
          [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }) \
      ->ReportAggregatesOnly(true)
VM_BENCH(BM_AnyWordsOne);
VM_BENCH(BM_AnyWordsOneFrequent);
VM_BENCH(BM_BaselineDecodeOnly);
VM_BENCH(BM_AnyWordsThree);
VM_BENCH(BM_AllWordsThree);
VM_BENCH(BM_Prefix3);
VM_BENCH(BM_SubWord);
VM_BENCH(BM_ExactPhrase);
VM_BENCH(BM_ResultPage1000);

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  std::vector<char*> rest =
      vellumark::TakeCorpusOptions(argc, argv, vellumark::g_pages, vellumark::g_dir);
  if (!vellumark::BuildIndex(vellumark::Words())) {
    std::fprintf(stderr, "cannot build the location\n");
    return 1;
  }
  vellumark::RunBenchmarks(std::move(rest));
  return 0;
}
