#include "store/data_module.h"

#include <filesystem>
#include <system_error>

#include "store/pending_postings.h"
#include "store/records.h"
#include "store/run_mark.h"
#include "store/schema.h"

namespace fs = std::filesystem;

namespace vellumark {

TdmKiv::TdmKiv(ProgramContext& context, Dialogs& dialogs, std::function<void()> update_caption)
    : context_(context),
      dialogs_(dialogs),
      update_caption_(std::move(update_caption)),
      dbRoot_(kTasksFileName),
      dbKiv(kIndexFileName),
      tbTasks(dbRoot_, TasksTableDef()),
      tbFiles(dbKiv, FilesTableDef()),
      quQuery(dbKiv),
      tbWords1(dbKiv, WordsTableDef(1)),
      tbWords2(dbKiv, WordsTableDef(2)),
      tbWords3(dbKiv, WordsTableDef(3)) {
  tbTasks.BeforeScroll = [this] { return tbTasksBeforeScroll(); };
  tbTasks.AfterScroll = [this] { tbTasksAfterScroll(); };
  dmKivCreate();
}

TdmKiv::~TdmKiv() {
  // Close the tables before their databases go (members die in reverse order anyway; this
  // keeps the hooks from running against a half-destroyed module).
  tbTasks.BeforeScroll = nullptr;
  tbTasks.AfterScroll = nullptr;
  dbKiv.Disconnect();
  dbRoot_.Disconnect();
}

void TdmKiv::SetUpdateCaption(std::function<void()> update_caption) {
  update_caption_ = std::move(update_caption);
}

void TdmKiv::dmKivCreate() {
  const std::string& root = context_.db_root_folder;
  const std::string tasks_path = root + kTasksFileName;
  const std::string template_path = root + kIndexFileName;
  std::error_code ec;
  // A fresh install: no root tables and no template yet. Create both, so the program works
  // without an installer. When only one of them is missing the installation is damaged and
  // the messages below say so.
  if (!fs::exists(tasks_path, ec) && !fs::exists(template_path, ec)) {
    fs::create_directories(root, ec);
    try {
      TDatabase::CreateFile(tasks_path, TasksSchemaSql());
      TDatabase::CreateFile(template_path, IndexSchemaSql());
    } catch (const EDatabaseError&) {
      // Reported below as the table that cannot be opened.
    }
  }

  try {
    dbRoot_.Connect(root);
  } catch (const EDatabaseError&) {
  }
  OpenRootTable(tbTasks, "Cannot open Task table. Please reinstall the application.");
}

bool TdmKiv::OpenRootTable(TTable& table, const char* message) {
  try {
    table.Close();
    table.Open();
    return true;
  } catch (const EDatabaseError&) {
    dialogs_.Error(message);
    terminate_requested_ = true;
    return false;
  }
}

bool TdmKiv::OpenLocation(const std::string& folder) {
  if (dbKiv.ConnectedTo(folder) && !dbKiv.InTransaction()) {
    // The location that is open already keeps its connection, and with it the statements the
    // search keeps prepared and the engine's cache; its tables start over as after a connect.
    dbKiv.CloseDataSets();
    return MergeLeftPostings(folder) && OpenAllTables();
  }
  dbKiv.Disconnect();
  try {
    dbKiv.Connect(folder);
  } catch (const EDatabaseError&) {
    dialogs_.Error("Cannot connect to Database");
    return false;
  }
  if (!MergeLeftPostings(folder)) return false;
  try {
    dbKiv.Execute(kPageAddressIndexSql);
  } catch (const EDatabaseError&) {
    // A location that cannot be written now (another program writing it, a read-only file)
    // is still read as it is; finding pages by address only goes slower without the index.
  }
  return OpenAllTables();
}

bool TdmKiv::MergeLeftPostings(const std::string& folder) {
  // A live run writes its rows when it ends; merging them now would hold the write lock long
  // enough to fail the run's next page.
  const TRunMark mark(folder, TRunMark::Kind::kMerge);
  if (mark.Blocked()) return true;
  try {
    MergePendingPostings(dbKiv);
  } catch (const EPendingPostingsDamaged&) {
    return false;
  } catch (const EDatabaseError&) {
    // Another program holds the write lock, the disk is full: the location is read as it is,
    // its lists whole as of the last merge pass; the rows wait for a later open.
  }
  return true;
}

void TdmKiv::MergePendingWords(StatusView* status) {
  MergePendingPostings(dbKiv, status);
  // The word tables' current records may have changed under them.
  for (TTable* table : {&tbWords1, &tbWords2, &tbWords3}) {
    if (table->Active()) table->Refresh();
  }
}

bool TdmKiv::OpenAllTables() {
  for (TTable* table : {&tbTasks, &tbFiles, &tbWords1, &tbWords2, &tbWords3}) {
    try {
      table->Open();
    } catch (const EDatabaseError&) {
      return false;
    }
  }
  return true;
}

bool TdmKiv::CreateLocationTables(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    // One level only: the root folder must exist.
    if (!fs::create_directory(folder, ec) && !fs::is_directory(folder, ec)) return false;
  }
  if (dbKiv.Connected() && fs::equivalent(dbKiv.Folder(), folder, ec)) dbKiv.Disconnect();
  const std::string target = folder + kIndexFileName;
  const std::string temporary = target + ".new";
  // The WAL files belong to the table file they replace: left beside the empty copy, they
  // would be replayed into it at the next open.
  fs::remove(target + "-wal", ec);
  fs::remove(target + "-shm", ec);
  if (!fs::copy_file(context_.db_root_folder + kIndexFileName, temporary,
                     fs::copy_options::overwrite_existing, ec)) {
    fs::remove(temporary, ec);
    return false;
  }
  // Rename over the old file, so it is replaced whole or not at all.
  fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

bool TdmKiv::RemoveLocationFolder(int task_no, FileSystem& file_system) {
  if (task_no <= 0) return true;
  const std::string folder = LocationFolder(task_no);
  std::error_code ec;
  if (dbKiv.Connected() && fs::equivalent(dbKiv.Folder(), folder, ec)) dbKiv.Disconnect();
  // Never remove_all: given "root/N/" it follows a link of that name and empties the folder
  // elsewhere that the user moved the location to.
  return file_system.RemoveFolder(folder);
}

std::string TdmKiv::LocationFolder(int task_no) const {
  return context_.db_root_folder + std::to_string(task_no) + "/";
}

int TdmKiv::CurrentTaskNo() {
  if (!tbTasks.Active() || tbTasks.IsEmpty()) return -1;
  return static_cast<int>(TTaskFields(tbTasks).TaskNo().AsInteger());
}

std::string TdmKiv::CurrentTaskName() {
  if (!tbTasks.Active() || tbTasks.IsEmpty()) return {};
  TTaskFields task(tbTasks);
  std::string name = task.TaskDescription().AsString();
  return name.empty() ? task.TaskURL().AsString() : name;
}

TTable& TdmKiv::WordTable(int number) {
  return number == 1 ? tbWords1 : number == 2 ? tbWords2 : tbWords3;
}

bool TdmKiv::tbTasksBeforeScroll() { return context_.indexing_state <= kIndexingIdle; }

void TdmKiv::tbTasksAfterScroll() {
  context_.CurrentLocationNumber = CurrentTaskNo();
  if (update_caption_) update_caption_();
}

}  // namespace vellumark
