// Recording speed of the index store at the size of large sites.
//
// BM_StoreWordsCorpus: a synthetic corpus (fixed seed): a vocabulary of 50,000 words drawn
// with a Zipf distribution, 300 to 3,000 words per page. Every page goes through StoreWords
// into a real location folder, one transaction per page, and the word lists are written when
// the pages are done, as at the end of a run. Reported: pages per second over the first and
// the last 1,000 pages and their ratio (also in processor time, which a busy machine disturbs
// less than the clock), the time of the pages and of writing the lists, the size of Index.db
// before and after writing the lists.
//
// BM_DecodeMostFrequentList decodes the page list of the most frequent word.
//
// BM_PageRecords/shape: what the page loop does in Files per page, without the words: take
// the first address of the page queue, find its record, find or create the records of its 17
// links (ten shared navigation links, two new pages, five others) and queue the new ones, find
// the record again and mark it fetched; one transaction per page. Shape 0: short addresses
// ("doc/123.html"); shape 1: addresses whose first 40 bytes are all the same (a deep folder),
// so that F1 alone does not tell pages apart.
//
//   store_bench                 2,000 pages (quick)
//   store_bench --pages=100000  the full corpus
//   store_bench --dir=/path     where the root folder is made (default /tmp)
//   store_bench --keep          leave the root folder of the corpus run (its path is printed)
//   store_bench --pragma=SQL    run SQL on the location after opening it (settings trials)
//   store_bench --page-size=N   make the template with this page size
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "indexer/sorted_list.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/page_list.h"
#include "store/pending_postings.h"
#include "store/schema.h"
#include "store/word_store.h"
#include "support/corpus.h"

namespace vellumark {
namespace {

using Clock = std::chrono::steady_clock;

int g_pages = 2000;
std::string g_dir = "/tmp";
bool g_keep = false;
std::vector<std::string> g_pragmas;
int g_page_size = 0;

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

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A fresh root folder with one open location, removed again on destruction (unless kept).
class Location {
 public:
  explicit Location(benchmark::State& state) {
    char pattern[4096];
    std::snprintf(pattern, sizeof pattern, "%s/vm_store_bench_XXXXXX", g_dir.c_str());
    if (!mkdtemp(pattern)) {
      state.SkipWithError("cannot make the root folder");
      return;
    }
    root_ = std::string(pattern) + "/";
    context_.db_root_folder = root_;
    if (g_page_size) {
      TDatabase::CreateFile(root_ + kTasksFileName, TasksSchemaSql());
      TDatabase::CreateFile(
          root_ + kIndexFileName,
          "PRAGMA page_size = " + std::to_string(g_page_size) + ";" + IndexSchemaSql());
    }
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    folder_ = dm_->LocationFolder(1);
    if (!dm_->CreateLocationTables(folder_) || !dm_->OpenLocation(folder_)) {
      state.SkipWithError("cannot create the location");
      dm_.reset();
      return;
    }
    for (const std::string& sql : g_pragmas) dm_->dbKiv.Execute(sql);
  }
  ~Location() {
    dm_.reset();
    if (!root_.empty() && !keep_) std::filesystem::remove_all(root_);
  }
  Location(const Location&) = delete;
  Location& operator=(const Location&) = delete;

  TdmKiv* dm() { return dm_.get(); }
  // Closes the location (which checkpoints the WAL into Index.db); returns its size in MB.
  double CloseAndMeasure() {
    dm_.reset();
    return std::filesystem::file_size(folder_ + kIndexFileName) / (1024.0 * 1024.0);
  }
  void Keep() { keep_ = true; }
  const std::string& Root() const { return root_; }

 private:
  std::string root_;
  std::string folder_;
  ProgramContext context_;
  NoDialogs dialogs_;
  std::unique_ptr<TdmKiv> dm_;
  bool keep_ = false;
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Seconds per page, wall clock and processor, summed over the first and the last 1,000 pages;
// counters from them. The processor time shows what the wall clock hides on a busy machine.
struct PageTimes {
  double first = 0, last = 0, total = 0, cpu_first = 0, cpu_last = 0, cpu_total = 0;
  Clock::time_point start;
  double cpu_start = 0;
  void Start() {
    start = Clock::now();
    cpu_start = CpuSeconds();
  }
  void Stop(int page) {
    const double s = Seconds(Clock::now() - start);
    const double cpu = CpuSeconds() - cpu_start;
    total += s;
    cpu_total += cpu;
    if (page <= 1000) {
      first += s;
      cpu_first += cpu;
    }
    if (page > g_pages - 1000) {
      last += s;
      cpu_last += cpu;
    }
    if (page % 10000 == 0) {
      std::fprintf(stderr, "  %d pages, %.1f s, processor %.1f s\n", page, total, cpu_total);
    }
  }
  void Report(benchmark::State& state) const {
    const int window = std::min(g_pages, 1000);
    state.counters["pages"] = g_pages;
    state.counters["first1000_pages_per_s"] = window / first;
    state.counters["last1000_pages_per_s"] = window / last;
    state.counters["last_to_first"] = first / last;
    state.counters["cpu_last_to_first"] = cpu_first / cpu_last;
    state.counters["pages_cpu_s"] = cpu_total;
  }
};

std::string g_root;           // root folder of the last corpus run, while it exists
std::string g_frequent_word;  // its most frequent word

void BM_StoreWordsCorpus(benchmark::State& state) {
  for (auto _ : state) {
    if (!g_root.empty() && !g_keep) std::filesystem::remove_all(g_root);
    g_root.clear();
    Location location(state);
    TdmKiv* dm = location.dm();
    if (!dm) return;
    NoProgress progress;
    Corpus corpus;
    g_frequent_word = corpus.Word(0);
    PageTimes times;
    std::int64_t words_total = 0;
    for (int page = 1; page <= g_pages; ++page) {
      std::int64_t length = 0;
      std::vector<std::string> words = corpus.NextPage(length);
      words_total += static_cast<std::int64_t>(words.size());
      times.Start();
      TTransaction tx(dm->dbKiv);
      StoreWords(*dm, words, page, length, "page", progress);
      tx.Commit();
      times.Stop(page);
    }
    const double before_merge_mb = std::filesystem::file_size(dm->dbKiv.Path()) / (1024.0 * 1024.0);
    const auto t0 = Clock::now();
    const double cpu0 = CpuSeconds();
    dm->MergePendingWords(nullptr);
    const double merge = Seconds(Clock::now() - t0);
    state.counters["merge_cpu_s"] = CpuSeconds() - cpu0;
    state.SetIterationTime(times.total + merge);
    times.Report(state);
    state.counters["pages_s"] = times.total;
    state.counters["merge_s"] = merge;
    state.counters["all_pages_per_s"] = g_pages / (times.total + merge);
    state.counters["words_per_page"] = static_cast<double>(words_total) / g_pages;
    state.counters["db_before_merge_MB"] = before_merge_mb;
    state.counters["index_db_MB"] = location.CloseAndMeasure();
    g_root = location.Root();
    location.Keep();
    if (g_keep) std::fprintf(stderr, "kept %s\n", g_root.c_str());
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

// The synthetic site of BM_PageRecords: page k (0 to 2 * pages - 1) links to pages 0 to 9, to
// its children 2k + 1 and 2k + 2, and to five pages spread over the site. The run stops after
// `pages` pages, so that the last pages find new links as the first ones do.
std::string SiteAddress(int k, bool deep) {
  return (deep ? "reference/api/org/example/library/module/Class" : "doc/") + std::to_string(k) +
         ".html";
}

int SitePageOf(const std::string& address) {
  const std::size_t end = address.rfind('.');
  std::size_t begin = end;
  while (begin > 0 && address[begin - 1] >= '0' && address[begin - 1] <= '9') --begin;
  return std::stoi(address.substr(begin, end - begin));
}

std::vector<int> SiteLinks(int k) {
  std::vector<int> links;
  for (int i = 0; i < 10; ++i) links.push_back(i);
  links.push_back(2 * k + 1);
  links.push_back(2 * k + 2);
  for (int i = 1; i <= 5; ++i) {
    links.push_back(static_cast<int>((k * 7919LL + i * 104729LL) % (2LL * g_pages)));
  }
  return links;
}

void BM_PageRecords(benchmark::State& state) {
  const bool deep = state.range(0) == 1;
  constexpr int kFileNo = 0, kF1 = 1, kUrlRest = 2, kState = 3;
  for (auto _ : state) {
    Location location(state);
    TdmKiv* dm = location.dm();
    if (!dm) return;
    TTable& files = dm->tbFiles;
    TSortedList queue;
    int next_page_no = 1;
    const auto insert = [&](const std::string& relative) {
      const TPageAddress address = SplitPageAddress(relative);
      files.Insert();
      files.Fields(kFileNo).SetInteger(next_page_no++);
      files.Fields(kF1).SetString(address.head);
      if (!address.tail.empty()) files.Fields(kUrlRest).SetString(address.tail);
      files.Post();
    };
    queue.Add(SiteAddress(0, deep));
    PageTimes times;
    int page = 0;
    while (!queue.Empty() && page < g_pages) {
      times.Start();
      TTransaction pass(dm->dbKiv);
      const std::string relative = queue.TakeFirst();
      if (!FindPage(files, relative)) insert(relative);
      for (int link : SiteLinks(SitePageOf(relative))) {
        if (link >= 2 * g_pages) continue;
        const std::string address = SiteAddress(link, deep);
        if (FindPage(files, address)) continue;
        insert(address);
        queue.Add(address);
      }
      if (FindPage(files, relative)) {
        files.Edit();
        files.Fields(kState).SetInteger(1);
        files.Post();
      }
      pass.Commit();
      times.Stop(++page);
    }
    state.SetIterationTime(times.total);
    times.Report(state);
    state.counters["records"] = next_page_no - 1;
  }
}

BENCHMARK(BM_StoreWordsCorpus)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_DecodeMostFrequentList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PageRecords)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  // Our own options first; the rest go to the benchmark library.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0) {
      vellumark::g_keep = true;
    } else if (std::strncmp(argv[i], "--pragma=", 9) == 0) {
      vellumark::g_pragmas.push_back(argv[i] + 9);
    } else if (std::strncmp(argv[i], "--page-size=", 12) == 0) {
      vellumark::g_page_size = std::atoi(argv[i] + 12);
    } else {
      args.push_back(argv[i]);
    }
  }
  std::vector<char*> rest = vellumark::TakeCorpusOptions(static_cast<int>(args.size()), args.data(),
                                                         vellumark::g_pages, vellumark::g_dir);
  vellumark::RunBenchmarks(std::move(rest));
  if (!vellumark::g_root.empty() && !vellumark::g_keep) {
    std::filesystem::remove_all(vellumark::g_root);
  }
  return 0;
}
