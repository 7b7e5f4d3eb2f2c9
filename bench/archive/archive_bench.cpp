// Export and import speed of the index archive, next to `tar czf` of the location folder.
//
// The index is the store benchmark's synthetic corpus (its word tables, built by its
// BM_StoreWordsCorpus, reused here as it stands), plus one Files row per page with an
// address, a title and an excerpt, and the location's Tasks row. Then, each repetition:
// export it to an archive, import that archive as a new location, and pack the location
// folder with `tar czf`. Reported: seconds of each and the sizes of Index.db, the archive
// and the tar file.
//
//   archive_bench                  2,000 pages (quick)
//   archive_bench --pages=20000    the benchmark index
//   archive_bench --dir=/path      where the root folder is made (default /tmp)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "archive/index_archive.h"
#include "store/page_address.h"

// The store benchmark's corpus and its recording run, with its own entry point renamed.
#define main store_bench_main
#include "store/store_bench.cpp"
#undef main

namespace vellumark {
namespace {

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
double MB(const std::string& path) {
  return std::filesystem::file_size(path) / (1024.0 * 1024.0);
}

// The Tasks row and the Files rows of the corpus location (the store benchmark records words
// only). Addresses share long prefixes as a site's do; excerpts are corpus words.
bool CompleteLocation(TdmKiv& dm) {
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
  if (dm.CurrentTaskNo() != 1 || !dm.OpenLocation(dm.LocationFolder(1))) return false;
  Corpus corpus;
  std::mt19937_64 rng(kSeed);
  TTransaction tx(dm.dbKiv);
  TTable& files = dm.tbFiles;
  for (int page = 1; page <= g_pages; ++page) {
    std::int64_t length;
    std::vector<std::string> words = corpus.NextPage(length);
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
  tx.Commit();
  return true;
}

void BM_ExportImport(benchmark::State& state) {
  if (g_root.empty()) {
    state.SkipWithError("run after the corpus benchmark");
    return;
  }
  ProgramContext context;
  context.program_folder = context.db_root_folder = g_root;
  YesDialogs dialogs;
  NoPump pump;
  QuietView view;
  TdmKiv dm(context, dialogs);
  if (dm.CurrentTaskNo() == -1 && !CompleteLocation(dm)) {
    state.SkipWithError("cannot complete the location");
    return;
  }
  dm.tbTasks.First();
  dm.dbKiv.Disconnect();  // checkpoints the WAL, so Index.db is whole for tar
  TIndexArchive archive(context, dm, dialogs, pump, view);
  const std::string target = g_root + "bench.kvx";
  const std::string tgz = g_root + "bench.tgz";
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
    state.counters["export_s"] = export_s;
    state.counters["import_s"] = import_s;
    state.counters["tar_czf_s"] = tar_s;
    state.counters["index_db_MB"] = MB(g_root + "1/Index.db");
    state.counters["archive_MB"] = MB(target);
    state.counters["tgz_MB"] = MB(tgz);
    // The imported copy goes again, so every repetition starts from the same root.
    if (dm.tbTasks.FindKey({std::to_string(task)})) dm.tbTasks.Delete();
    dm.RemoveLocationFolder(task);
  }
}

BENCHMARK(BM_ExportImport)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(
    benchmark::kSecond);

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--pages=", 8) == 0) {
      vellumark::g_pages = std::max(1, std::atoi(argv[i] + 8));
    } else if (std::strncmp(argv[i], "--dir=", 6) == 0) {
      vellumark::g_dir = argv[i] + 6;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  // Only the corpus run of the store benchmark, then ours.
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!vellumark::g_root.empty()) std::filesystem::remove_all(vellumark::g_root);
  return 0;
}
