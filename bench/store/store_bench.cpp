// Recording speed of the word tables and decoding speed of a page list.
//
// A synthetic corpus (fixed seed): a vocabulary of 50,000 words drawn with a Zipf
// distribution, 300 to 3,000 words per page. Every page goes through StoreWords into a real
// location folder, one transaction per page. Reported: pages per second over the first and
// the last 1,000 pages, and the size of Index.db. The second benchmark decodes the page list
// of the most frequent word.
//
//   store_bench                 2,000 pages (quick)
//   store_bench --pages=20000   the full corpus
//   store_bench --dir=/path     where the root folder is made (default /tmp)
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "store/data_module.h"
#include "store/page_list.h"
#include "store/word_store.h"
#include "support/corpus.h"

namespace vellumark {
namespace {

int g_pages = 2000;
std::string g_dir = "/tmp";

class NoDialogs final : public Dialogs {
 public:
  MessageButton Message(MessageKind, const std::string&, MessageButtons) override {
    return kButtonOk;
  }
  std::optional<std::string> OpenFileName(const std::string&) override { return {}; }
  std::optional<std::string> SaveFileName(const std::string&) override { return {}; }
};

class NoProgress final : public StoreWordsProgress {
 public:
  bool CheckStop() override { return false; }
  void ShowStatus(const std::string&) override {}
};

std::string g_root;           // root folder of the last corpus run
std::string g_frequent_word;  // its most frequent word

void BM_StoreWordsCorpus(benchmark::State& state) {
  for (auto _ : state) {
    char pattern[4096];
    std::snprintf(pattern, sizeof pattern, "%s/vm_store_bench_XXXXXX", g_dir.c_str());
    if (!mkdtemp(pattern)) {
      state.SkipWithError("cannot make the root folder");
      return;
    }
    if (!g_root.empty()) std::filesystem::remove_all(g_root);
    g_root = std::string(pattern) + "/";
    ProgramContext context;
    context.db_root_folder = g_root;
    NoDialogs dialogs;
    NoProgress progress;
    Corpus corpus;
    g_frequent_word = corpus.Word(0);
    double first = 0, last = 0, total = 0;
    std::int64_t words_total = 0;
    {
      TdmKiv dm(context, dialogs);
      const std::string folder = dm.LocationFolder(1);
      if (!dm.CreateLocationTables(folder) || !dm.OpenLocation(folder)) {
        state.SkipWithError("cannot create the location");
        return;
      }
      for (int page = 1; page <= g_pages; ++page) {
        std::int64_t length = 0;
        std::vector<std::string> words = corpus.NextPage(length);
        words_total += static_cast<std::int64_t>(words.size());
        auto t0 = std::chrono::steady_clock::now();
        TTransaction tx(dm.dbKiv);
        StoreWords(dm, words, page, length, "page", progress);
        tx.Commit();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        total += s;
        if (page <= 1000) first += s;
        if (page > g_pages - 1000) last += s;
        if (page % 1000 == 0) std::fprintf(stderr, "  %d pages, %.1f s\n", page, total);
      }
    }  // closing the location checkpoints the WAL into Index.db
    state.SetIterationTime(total);
    const int window = std::min(g_pages, 1000);
    state.counters["pages"] = g_pages;
    state.counters["first1000_pages_per_s"] = window / first;
    state.counters["last1000_pages_per_s"] = window / last;
    state.counters["all_pages_per_s"] = g_pages / total;
    state.counters["words_per_page"] = static_cast<double>(words_total) / g_pages;
    state.counters["index_db_MB"] =
        std::filesystem::file_size(g_root + "1/Index.db") / (1024.0 * 1024.0);
  }
}

void BM_DecodeMostFrequentList(benchmark::State& state) {
  if (g_root.empty()) {
    state.SkipWithError("run after the corpus benchmark");
    return;
  }
  ProgramContext context;
  context.db_root_folder = g_root;
  NoDialogs dialogs;
  TdmKiv dm(context, dialogs);
  if (!dm.OpenLocation(dm.LocationFolder(1))) {
    state.SkipWithError("cannot open the location");
    return;
  }
  TTable& table = dm.WordTable(WordTableNumber(g_frequent_word));
  if (!table.FindKey({WordKey(g_frequent_word)})) {
    state.SkipWithError("word not found");
    return;
  }
  const std::string list = table.Fields(1).AsBlob();
  std::int64_t postings = 0, sum = 0;
  for (auto _ : state) {
    TPageListDecoder decoder(list);
    TPosting p;
    while (decoder.Next(p)) {
      sum += p.file_no + p.weight;
      ++postings;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(postings);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
  state.counters["list_bytes"] = static_cast<double>(list.size());
}

BENCHMARK(BM_StoreWordsCorpus)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_DecodeMostFrequentList)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  // Our own options first; the rest go to the benchmark library.
  std::vector<char*> rest =
      vellumark::TakeCorpusOptions(argc, argv, vellumark::g_pages, vellumark::g_dir);
  vellumark::RunBenchmarks(std::move(rest));
  if (!vellumark::g_root.empty()) std::filesystem::remove_all(vellumark::g_root);
  return 0;
}
