// Export and import speed of the index archive, next to `tar czf` of the location folder.
//
// The index is the store benchmark's synthetic corpus (support/corpus.h):
// the same pages give the same page lists that StoreWords records, but they are gathered in
// memory and written once per word, which takes seconds instead of the recording run's hour.
// Each page also gets a Files row with an address, a title and an excerpt, and the location
// its Tasks row. Then, each repetition:
// export it to an archive, import that archive as a new location, and pack the location
// folder with `tar czf`. Reported: seconds of each and the sizes of Index.db, the archive
// and the tar file.
//
//   bench_archive                  2,000 pages (quick)
//   bench_archive --pages=20000    the benchmark index
//   bench_archive --dir=/path      where the root folder is made (default /tmp)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/index_archive.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/page_list.h"
#include "store/word_store.h"
#include "support/corpus.h"

namespace vellumark {
namespace {

int g_pages = 2000;
std::string g_dir = "/tmp";
std::string g_root;  // root folder of the run

class YesDialogs final : public Dialogs {
 public:
  MessageButton Message(MessageKind, const std::string& text, MessageButtons buttons) override {
    if (!(buttons & kButtonYes)) std::fprintf(stderr, "  message: %s\n", text.c_str());
    return (buttons & kButtonYes) ? kButtonYes : kButtonOk;
  }
  std::optional<std::string> OpenFileName(const std::string&) override { return file; }
  std::optional<std::string> SaveFileName(const std::string&) override { return file; }
  std::string file;
};

class NoPump final : public EventPump {
 public:
  void ProcessEvents() override { ++pumps; }
  void ProcessEventsFor(int) override { ++pumps; }
  long pumps = 0;
};

class QuietView final : public TArchiveView {
 public:
  void ShowStatus(const std::string& text) override { status = text; }
  void SetProgress(int p) override { progress = p; }
  int Progress() const override { return progress; }
  void SetProgressVisible(bool v) override { visible = v; }
  bool ProgressVisible() const override { return visible; }
  bool CancelFlag() const override { return false; }
  void SetCancelFlag(bool) override {}
  std::string status;
  int progress = 0;
  bool visible = false;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}
double MB(const std::string& path) { return std::filesystem::file_size(path) / (1024.0 * 1024.0); }

// The corpus location: its Tasks row, one Files row per page and the word tables with the
// page lists StoreWords would record for the same pages (postings appended in page order).
bool BuildLocation(TdmKiv& dm) {
  TTable& tasks = dm.tbTasks;
  tasks.Insert();
  tasks.FieldByName("Task_URL").SetString("http://www.example.org/docs/");
  tasks.FieldByName("Task_Description").SetString("Benchmark corpus");
  tasks.FieldByName("Date").SetString(CurrentDateText());
  tasks.FieldByName("Time_Start").SetString("09:00:00");
  tasks.FieldByName("Time_End").SetString("10:00:00");
  tasks.FieldByName("Files").SetInteger(g_pages);
  tasks.FieldByName("SearchDelimiters").SetString(" \t\n\r,;");
  tasks.Post();
  const std::string folder = dm.LocationFolder(dm.CurrentTaskNo());
  if (!dm.CreateLocationTables(folder) || !dm.OpenLocation(folder)) return false;
  Corpus corpus;
  std::mt19937_64 rng(kCorpusSeed);
  std::map<std::string, std::string> lists;
  TTransaction tx(dm.dbKiv);
  TTable& files = dm.tbFiles;
  for (int page = 1; page <= g_pages; ++page) {
    std::int64_t length;
    std::vector<std::string> words = corpus.NextPage(length);
    for (std::size_t i = 0; i < words.size();) {
      std::size_t j = i + 1;
      while (j < words.size() && words[j] == words[i]) ++j;
      AppendPosting(lists[WordKey(words[i])], page, WeightOf(static_cast<int>(j - i), length));
      i = j;
    }
    std::shuffle(words.begin(), words.end(), rng);
    std::string text;
    for (const auto& w : words) {
      if (text.size() + w.size() + 1 > 200) break;
      if (!text.empty()) text += ' ';
      text += w;
    }
    char address[128];
    std::snprintf(address, sizeof address, "manual/section-%02d/chapter-%03d/page-%05d.html",
                  page % 37, page % 211, page);
    TPageAddress a = SplitPageAddress(address);
    files.Append();
    files.Fields(0).SetInteger(page);
    files.Fields(1).SetString(a.head);
    if (!a.tail.empty()) files.Fields(2).SetString(a.tail);
    files.Fields(3).SetInteger(1);
    files.Fields(4).SetString("content-length: " + std::to_string(length) +
                              "\r\ncontent-type: text/html\r\n");
    files.Fields(5).SetString("Page " + std::to_string(page) + " of the manual");
    files.Fields(6).SetString(text);
    files.Post();
  }
  for (auto& [word, list] : lists) {
    TTable& t = dm.WordTable(WordTableNumber(word));
    t.Append();
    t.Fields(0).SetString(word);
    t.Fields(1).SetBlob(std::move(list));
    t.Post();
  }
  tx.Commit();
  return true;
}

void BM_ExportImport(benchmark::State& state) {
  char pattern[4096];
  std::snprintf(pattern, sizeof pattern, "%s/vm_archive_bench_XXXXXX", g_dir.c_str());
  if (!mkdtemp(pattern)) {
    state.SkipWithError("cannot make the root folder");
    return;
  }
  g_root = std::string(pattern) + "/";
  ProgramContext context;
  context.program_folder = context.db_root_folder = g_root;
  YesDialogs dialogs;
  NoPump pump;
  QuietView view;
  TdmKiv dm(context, dialogs);
  auto t_build = std::chrono::steady_clock::now();
  if (!BuildLocation(dm)) {
    state.SkipWithError("cannot build the location");
    return;
  }
  std::fprintf(stderr, "  index of %d pages built in %.1f s\n", g_pages, Seconds(t_build));
  dm.dbKiv.Disconnect();  // checkpoints the WAL, so Index.db is whole for tar
  TIndexArchive archive(context, dm, dialogs, pump, view);
  const std::string target = g_root + "bench.kvx";
  const std::string tgz = g_root + "bench.tgz";
  std::vector<double> exports, imports, tars;
  for (auto _ : state) {
    dm.tbTasks.First();
    dialogs.file = target;
    auto t0 = std::chrono::steady_clock::now();
    bool exported = archive.bbExportClick();
    double export_s = Seconds(t0);
    dialogs.file = target;
    t0 = std::chrono::steady_clock::now();
    bool imported = exported && archive.bbImportClick();
    double import_s = Seconds(t0);
    if (!imported) {
      state.SkipWithError("export or import failed");
      return;
    }
    int task = archive.ImportedTaskNo();
    dm.dbKiv.Disconnect();
    std::string command = "tar czf '" + tgz + "' -C '" + g_root + "' 1";
    t0 = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double tar_s = Seconds(t0);
    if (rc != 0) {
      state.SkipWithError("tar failed");
      return;
    }
    state.SetIterationTime(export_s + import_s);
    exports.push_back(export_s);
    imports.push_back(import_s);
    tars.push_back(tar_s);
    std::fprintf(stderr, "  export %.2f s, import %.2f s, tar czf %.2f s\n", export_s, import_s,
                 tar_s);
    // The imported copy goes again, so every repetition starts from the same root.
    if (dm.tbTasks.FindKey({std::to_string(task)})) dm.tbTasks.Delete();
    dm.RemoveLocationFolder(task);
  }
  state.counters["pages"] = g_pages;
  state.counters["export_s_median"] = Median(exports);
  state.counters["import_s_median"] = Median(imports);
  state.counters["tar_czf_s_median"] = Median(tars);
  state.counters["index_db_MB"] = MB(g_root + "1/Index.db");
  state.counters["archive_MB"] = MB(target);
  state.counters["tgz_MB"] = MB(tgz);
}

// One run builds the index and times export, import and tar three times over it.
BENCHMARK(BM_ExportImport)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  std::vector<char*> rest =
      vellumark::TakeCorpusOptions(argc, argv, vellumark::g_pages, vellumark::g_dir);
  vellumark::RunBenchmarks(std::move(rest));
  if (!vellumark::g_root.empty()) std::filesystem::remove_all(vellumark::g_root);
  return 0;
}
