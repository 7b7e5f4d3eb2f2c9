#include "store/data_module.h"

#include <sqlite3.h>

#include <fstream>

#include "store_fixture.h"

namespace vellumark::testing {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using DataModule = StoreTest;

TEST_F(DataModule, FirstStartCreatesTheRootTablesAndTheTemplate) {
  context_.db_root_folder = root_ + "fresh/";  // not even the folder exists yet
  TdmKiv& dm = Module();
  EXPECT_FALSE(dm.TerminateRequested());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(fs::exists(root_ + "fresh/Tasks.db"));
  EXPECT_TRUE(fs::exists(root_ + "fresh/Index.db"));
  EXPECT_TRUE(dm.tbTasks.IsEmpty());
  EXPECT_EQ(dm.CurrentTaskNo(), -1);
  EXPECT_EQ(dm.CurrentTaskName(), "");
}

TEST_F(DataModule, AnUnreadableTaskTableAsksToTerminate) {
  WriteFile(root_ + "Tasks.db", std::string(4096, 'x'));
  TdmKiv& dm = Module();
  EXPECT_TRUE(dm.TerminateRequested());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].kind, MessageKind::kError);
  EXPECT_EQ(dialogs_.messages[0].text, "Cannot open Task table. Please reinstall the application.");
  EXPECT_FALSE(fs::exists(root_ + "Index.db"));  // an existing install is never re-created
}

TEST_F(DataModule, ATaskTableLockedByAnotherProgramAsksToTerminate) {
  Module();
  dm_.reset();  // Tasks.db now exists
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((root_ + "Tasks.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  TdmKiv& dm = Module();
  EXPECT_TRUE(dm.TerminateRequested());
  EXPECT_EQ(dialogs_.Texts(),
            std::vector<std::string>{"Cannot open Task table. Please reinstall the application."});
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
}

TEST_F(DataModule, AfterScrollSetsTheCurrentLocationAndTheCaption) {
  TdmKiv& dm = Module();
  int a = AddLocation("http://a.example/");
  dm.tbTasks.Insert();
  dm.tbTasks.FieldByName("Task_URL").SetString("http://b.example/");
  dm.tbTasks.FieldByName("Task_Description").SetString("Bee");
  dm.tbTasks.Post();
  int b = dm.CurrentTaskNo();
  dm.tbTasks.First();
  EXPECT_EQ(context_.CurrentLocationNumber, a);
  EXPECT_EQ(dm.CurrentTaskName(), "http://a.example/");
  int captions = captions_;
  dm.tbTasks.Next();
  EXPECT_EQ(context_.CurrentLocationNumber, b);
  EXPECT_EQ(dm.CurrentTaskName(), "Bee");
  EXPECT_EQ(captions_, captions + 1);
}

TEST_F(DataModule, TasksRefusesToMoveDuringAnIndexingRun) {
  TdmKiv& dm = Module();
  int a = AddLocation();
  AddLocation();
  dm.tbTasks.First();
  for (int state : {kIndexingRunning, kIndexingStopRequested, kIndexingStopping}) {
    context_.indexing_state = state;
    EXPECT_THROW(dm.tbTasks.Next(), ESilentAbort);
    EXPECT_THROW(dm.tbTasks.Last(), ESilentAbort);
    EXPECT_EQ(dm.CurrentTaskNo(), a);
    EXPECT_EQ(context_.CurrentLocationNumber, a);
  }
  // The run may still write its own record.
  dm.tbTasks.Edit();
  dm.tbTasks.FieldByName("Files").SetInteger(3);
  dm.tbTasks.Post();
  context_.indexing_state = kIndexingIdle;
  dm.tbTasks.Next();
  EXPECT_NE(dm.CurrentTaskNo(), a);
}

TEST_F(DataModule, OpenLocationReportsAFolderWithoutTables) {
  TdmKiv& dm = Module();
  EXPECT_FALSE(dm.OpenLocation(root_ + "77/"));
  EXPECT_EQ(dialogs_.Texts(), std::vector<std::string>{"Cannot connect to Database"});
  EXPECT_FALSE(dm.tbFiles.Active());
  // A database that lacks a table opens, but the tables fail without a message.
  fs::create_directory(root_ + "78");
  TDatabase::CreateFile(root_ + "78/Index.db", "CREATE TABLE Files (File_No INTEGER)");
  EXPECT_FALSE(dm.OpenLocation(root_ + "78/"));
  EXPECT_EQ(dialogs_.messages.size(), 1u);
}

TEST_F(DataModule, CreateLocationTablesOverAnExistingFolder) {
  TdmKiv& dm = Module();
  int no = AddLocation();
  const std::string folder = dm.LocationFolder(no);
  EXPECT_EQ(folder, root_ + std::to_string(no) + "/");
  dm.tbFiles.Insert();
  dm.tbFiles.FieldByName("File_No").SetInteger(1);
  dm.tbFiles.Post();
  WriteFile(folder + "notes.txt", "keep me");
  ASSERT_TRUE(dm.CreateLocationTables(folder));
  EXPECT_EQ(ReadFile(folder + "notes.txt"), "keep me");
  EXPECT_FALSE(fs::exists(folder + "Index.db-wal"));
  ASSERT_TRUE(dm.OpenLocation(folder));
  EXPECT_EQ(dm.tbFiles.RecordCount(), 0);  // the empty template, not the old pages
  // Missing parent folder (one level only) and missing template fail.
  EXPECT_FALSE(dm.CreateLocationTables(root_ + "a/b/"));
  fs::remove(root_ + "Index.db");
  EXPECT_FALSE(dm.CreateLocationTables(root_ + "99/"));
}

TEST_F(DataModule, OpenLocationAgainKeepsNoStaleFileAndStartsTheTablesOver) {
  TdmKiv& dm = Module();
  const std::string folder = dm.LocationFolder(AddLocation());
  for (int no : {1, 2}) {
    dm.tbFiles.Insert();
    dm.tbFiles.FieldByName("File_No").SetInteger(no);
    dm.tbFiles.Post();
  }
  dm.tbFiles.Last();
  ASSERT_TRUE(dm.OpenLocation(folder));
  EXPECT_EQ(dm.tbFiles.FieldByName("File_No").AsInteger(), 1);
  // Another program makes the location's tables anew; the next open reads the new file.
  ScriptedDialogs other_dialogs;
  TdmKiv other(context_, other_dialogs);
  ASSERT_TRUE(other.CreateLocationTables(folder));
  ASSERT_TRUE(dm.OpenLocation(folder));
  EXPECT_EQ(dm.tbFiles.RecordCount(), 0);
}

TEST_F(DataModule, RemovingLocationZeroNeverRemovesAFolder) {
  TdmKiv& dm = Module();
  fs::create_directory(root_ + "0");
  WriteFile(root_ + "0/Index.db", "x");
  EXPECT_TRUE(dm.RemoveLocationFolder(0));
  EXPECT_TRUE(dm.RemoveLocationFolder(-1));
  EXPECT_TRUE(fs::exists(root_ + "0/Index.db"));
  EXPECT_TRUE(fs::exists(root_ + "Tasks.db"));
  int no = AddLocation();
  EXPECT_TRUE(dm.RemoveLocationFolder(no));
  EXPECT_FALSE(fs::exists(dm.LocationFolder(no)));
  EXPECT_FALSE(dm.tbFiles.Active());
  EXPECT_TRUE(dm.RemoveLocationFolder(no));  // already gone
}

}  // namespace
}  // namespace vellumark::testing
