#include "store/table.h"

#include <sqlite3.h>

#include <memory>
#include <vector>

#include "store/page_address.h"
#include "store/query.h"
#include "store/records.h"
#include "store_fixture.h"

namespace vellumark::testing {
namespace {

// A table of page scores in memory: an integer key and a secondary index on the score.
const TTableDef& ScoresTableDef() {
  static const TTableDef def{"Scores",
                             {{"Page", TFieldKind::kInteger}, {"Score", TFieldKind::kInteger}},
                             "Page",
                             true,
                             {{"I1", {"Score"}}}};
  return def;
}

class TableTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    AddLocation();
    scores_db_.Connect("");
    scores_db_.Execute(
        "CREATE TABLE Scores (Page INTEGER PRIMARY KEY, Score INTEGER NOT NULL DEFAULT 0);"
        "CREATE INDEX I1 ON Scores (Score)");
    scores_ = std::make_unique<TTable>(scores_db_, ScoresTableDef());
    scores_->Open();
  }
  TDatabase scores_db_{kMemoryFileName};
  std::unique_ptr<TTable> scores_;
  void AddResult(TTable& t, int page, int score) {
    t.Insert();
    t.Fields(0).SetInteger(page);
    t.Fields(1).SetInteger(score);
    t.Post();
  }
  std::vector<int> Keys(TTable& t) {
    std::vector<int> keys;
    for (t.First(); !t.Eof(); t.Next()) keys.push_back(static_cast<int>(t.Fields(0).AsInteger()));
    return keys;
  }
};

TEST_F(TableTest, TypedAccessReachesTheNamedColumns) {
  TdmKiv& dm = Module();
  TTaskFields task(dm.tbTasks);
  TFileFields page(dm.tbFiles);
  TWordFields word(dm.tbWords1);
  const std::pair<TField*, const char*> columns[] = {
      {&task.TaskNo(), "Task_No"},
      {&task.TaskURL(), "Task_URL"},
      {&task.TaskDescription(), "Task_Description"},
      {&task.Date(), "Date"},
      {&task.TimeStart(), "Time_Start"},
      {&task.TimeEnd(), "Time_End"},
      {&task.Files(), "Files"},
      {&task.SearchDelimiters(), "SearchDelimiters"},
      {&page.FileNo(), "File_No"},
      {&page.F1(), "F1"},
      {&page.FileURLRest(), "File_URLRest"},
      {&page.FileState(), "File_State"},
      {&page.FileHeader(), "File_Header"},
      {&page.FileTitle(), "File_Title"},
      {&page.FileText(), "File_Text"},
      {&word.Word(), "Word"},
      {&word.PageList(), "Files"},
  };
  for (const auto& [field, name] : columns) EXPECT_EQ(field->FieldName(), name);
}

TEST_F(TableTest, TaskNoIsAssignedOnPostAndNeverReused) {
  TTable& tasks = Module().tbTasks;
  int first = Module().CurrentTaskNo();
  EXPECT_EQ(first, 1);
  tasks.Insert();
  EXPECT_TRUE(tasks.FieldByName("Task_No").IsNull());
  tasks.FieldByName("Task_URL").SetString("http://b/");
  tasks.Post();
  EXPECT_EQ(tasks.FieldByName("Task_No").AsInteger(), 2);
  tasks.Delete();
  tasks.Insert();
  tasks.FieldByName("Task_Description").SetString("third");
  tasks.Post();
  EXPECT_EQ(tasks.FieldByName("Task_No").AsInteger(), 3);
  EXPECT_EQ(tasks.RecordCount(), 2);
}

TEST_F(TableTest, TraversalThatDeletesAsItWalks) {
  TTable& r = *scores_;
  for (int p = 1; p <= 10; ++p) AddResult(r, p, p * 10);
  // Keep the even pages, doubling their score; delete the odd ones, the last one included.
  r.First();
  std::vector<int> visited;
  while (!r.Eof()) {
    int page = static_cast<int>(r.Fields(0).AsInteger());
    visited.push_back(page);
    if (page % 2 == 0) {
      r.Edit();
      r.Fields(1).SetInteger(r.Fields(1).AsInteger() * 2);
      r.Post();
      r.Next();
    } else {
      r.Delete();
    }
  }
  EXPECT_EQ(visited, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(Keys(r), (std::vector<int>{2, 4, 6, 8, 10}));
  // Deleting the last record sets Eof; deleting down to nothing leaves an empty table.
  r.Last();
  r.Delete();
  EXPECT_TRUE(r.Eof());
  EXPECT_EQ(r.Fields(0).AsInteger(), 8);
  while (!r.IsEmpty()) r.Delete();
  EXPECT_TRUE(r.Bof() && r.Eof());
}

TEST_F(TableTest, InsertsDuringAWalkDoNotDisturbTheCursor) {
  TTable& r = *scores_;
  for (int p : {10, 20, 30}) AddResult(r, p, 0);
  std::vector<int> visited;
  r.First();
  while (!r.Eof()) {
    int page = static_cast<int>(r.Fields(0).AsInteger());
    visited.push_back(page);
    if (page == 10) {
      // Records inserted behind and ahead of the cursor through a second cursor.
      TTable other(r.Database(), ScoresTableDef());
      other.Open();
      AddResult(other, 5, 0);
      AddResult(other, 15, 0);
    }
    r.Next();
  }
  EXPECT_EQ(visited, (std::vector<int>{10, 15, 20, 30}));
}

TEST_F(TableTest, SecondaryIndexReadsBackwardsInScoreOrder) {
  TTable& r = *scores_;
  AddResult(r, 1, 30);
  AddResult(r, 2, 50);
  AddResult(r, 3, 10);
  AddResult(r, 4, 50);
  r.SetIndexName("I1");
  std::vector<int> pages;
  for (r.Last(); !r.Bof(); r.Prior()) pages.push_back(static_cast<int>(r.Fields(0).AsInteger()));
  EXPECT_EQ(pages, (std::vector<int>{4, 2, 1, 3}));
  EXPECT_THROW(r.SetIndexName("I2"), EDatabaseError);
  r.SetIndexName("");
  EXPECT_EQ(Keys(r), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(TableTest, KeysAndNearestKeysOnTheAddressIndex) {
  TTable& files = Module().tbFiles;
  const std::string forty(40, 'd');
  const std::vector<std::string> addresses = {"", "b.html", forty, forty + "x", forty + "y"};
  int no = 0;
  for (const auto& a : addresses) {
    TPageAddress split = SplitPageAddress(a);
    files.Insert();
    files.FieldByName("File_No").SetInteger(++no);
    files.FieldByName("F1").SetString(split.head);
    if (!split.tail.empty()) files.Fields(2).SetString(split.tail);
    files.Post();
  }
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    ASSERT_TRUE(FindPage(files, addresses[i])) << addresses[i];
    EXPECT_EQ(files.FieldByName("File_No").AsInteger(), static_cast<int>(i) + 1);
  }
  EXPECT_TRUE(files.Fields(2).AsString() == "y");
  EXPECT_FALSE(FindPage(files, forty + "z"));
  EXPECT_FALSE(FindPage(files, "a.html"));
  EXPECT_FALSE(FindPage(files, "zzz"));
  // The 40-byte address leaves File_URLRest empty (null), the 41-byte one holds one byte.
  ASSERT_TRUE(FindPage(files, forty));
  EXPECT_TRUE(files.Fields(2).IsNull());
  files.SetIndexName("");
  EXPECT_TRUE(files.FindKey({"4"}));
  EXPECT_EQ(files.FieldByName("F1").AsString(), forty);
  EXPECT_EQ(files.Fields(2).AsString(), "x");
  EXPECT_FALSE(files.FindKey({"9"}));
  EXPECT_EQ(files.FieldByName("File_No").AsInteger(), 4);  // stayed
}

TEST_F(TableTest, BeforeScrollRefusesSilentlyAndKeepsTheRecord) {
  TTable& r = *scores_;
  AddResult(r, 1, 0);
  AddResult(r, 2, 0);
  r.First();
  int after = 0;
  bool allow = false;
  r.BeforeScroll = [&] { return allow; };
  r.AfterScroll = [&] { ++after; };
  EXPECT_THROW(r.Next(), ESilentAbort);
  EXPECT_THROW(r.Last(), ESilentAbort);
  EXPECT_THROW(r.Delete(), ESilentAbort);
  EXPECT_THROW(r.Insert(), ESilentAbort);
  EXPECT_EQ(r.Fields(0).AsInteger(), 1);
  EXPECT_EQ(r.RecordCount(), 2);
  EXPECT_EQ(after, 0);
  // Editing is no move.
  r.Edit();
  r.Fields(1).SetInteger(7);
  r.Post();
  allow = true;
  r.Next();
  EXPECT_EQ(r.Fields(0).AsInteger(), 2);
  EXPECT_EQ(after, 1);
}

TEST_F(TableTest, PostingFailuresRaiseAndLeaveTheRecordOpen) {
  TTable& r = *scores_;
  AddResult(r, 1, 0);
  r.Insert();
  r.Fields(0).SetInteger(1);
  EXPECT_THROW(r.Post(), EDatabaseError);  // key violation
  EXPECT_EQ(r.State(), TTableState::kInsert);
  r.Cancel();
  EXPECT_EQ(r.RecordCount(), 1);
  EXPECT_THROW(r.Fields(1).SetInteger(3), EDatabaseError);  // not in edit mode
  // A move posts a pending change.
  r.Edit();
  r.Fields(1).SetInteger(9);
  r.First();
  EXPECT_EQ(r.Fields(1).AsInteger(), 9);
}

TEST_F(TableTest, TextConvertsToTheFieldsType) {
  TTable& tasks = Module().tbTasks;
  tasks.Edit();
  tasks.FieldByName("Date").SetString("12/08/2026");
  tasks.FieldByName("Time_Start").SetString("9:05:03");
  tasks.FieldByName("Files").SetString(" 42 ");
  EXPECT_THROW(tasks.FieldByName("Files").SetString("4x"), EDatabaseError);
  EXPECT_THROW(tasks.FieldByName("Date").SetString("02/30/2026"), EDatabaseError);
  tasks.FieldByName("Time_End").SetString("");
  tasks.Post();
  tasks.Refresh();
  EXPECT_EQ(tasks.FieldByName("Date").AsString(), "2026-12-08");
  EXPECT_EQ(tasks.FieldByName("Time_Start").AsString(), "09:05:03");
  EXPECT_EQ(tasks.FieldByName("Files").AsInteger(), 42);
  EXPECT_TRUE(tasks.FieldByName("Time_End").IsNull());
}

TEST_F(TableTest, ClearTableFailsWhileAnotherConnectionHoldsTheDatabase) {
  TdmKiv& dm = Module();
  dm.tbFiles.Insert();
  dm.tbFiles.FieldByName("File_No").SetInteger(1);
  dm.tbFiles.Post();
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(dm.dbKiv.Path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_FALSE(ClearTable(dm.tbFiles));
  EXPECT_TRUE(dm.tbFiles.Active());  // reopened all the same
  EXPECT_EQ(dm.tbFiles.RecordCount(), 1);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(ClearTable(dm.tbFiles));
  EXPECT_EQ(dm.tbFiles.RecordCount(), 0);
  EXPECT_TRUE(dm.tbFiles.IsEmpty());
}

TEST_F(TableTest, QueriesMatchTheWordLiterally) {
  TdmKiv& dm = Module();
  for (const char* w : {"ab", "a%b", "a_b", "axb", "a\\b", "o'neil", "xab"}) {
    dm.tbWords1.Insert();
    dm.tbWords1.Fields(0).SetString(w);
    dm.tbWords1.Fields(1).SetBlob(std::string("L") + w);
    dm.tbWords1.Post();
  }
  auto run = [&](std::string_view word, TWordMatch match) {
    TQuery& q = dm.quQuery;
    q.SetSQL(WordQuerySql(1, match));
    q.SetParam(1, WordQueryParam(word, match));
    q.Open();
    std::vector<std::string> rows;
    for (; !q.Eof(); q.Next()) rows.push_back(q.FieldByName("Files").AsBlob().substr(1));
    return rows;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(run("a%", TWordMatch::kPrefix), V{"a%b"});
  EXPECT_EQ(run("a_", TWordMatch::kPrefix), V{"a_b"});
  EXPECT_EQ(run("a\\", TWordMatch::kPrefix), V{"a\\b"});
  EXPECT_EQ(run("o'", TWordMatch::kPrefix), V{"o'neil"});
  EXPECT_EQ(run("o'neil", TWordMatch::kExact), V{"o'neil"});
  EXPECT_EQ(run("ab", TWordMatch::kInside), (V{"ab", "xab"}));
  EXPECT_EQ(run("AB", TWordMatch::kInside), V{});  // case-sensitive
  EXPECT_EQ(run("%", TWordMatch::kInside), V{"a%b"});
  dm.quQuery.SetSQL(kFilesByAddressSql);
  dm.quQuery.Open();
  EXPECT_EQ(dm.quQuery.RecordCount(), 0);
  dm.quQuery.SetSQL("SELECT Nothing FROM Words1");
  EXPECT_THROW(dm.quQuery.Open(), EDatabaseError);
}

TEST_F(TableTest, DisconnectClosesTablesAndQueries) {
  TdmKiv& dm = Module();
  dm.quQuery.SetSQL("SELECT * FROM Files");
  dm.quQuery.Open();
  dm.dbKiv.Disconnect();
  EXPECT_FALSE(dm.tbFiles.Active());
  EXPECT_FALSE(dm.tbWords3.Active());
  EXPECT_FALSE(dm.quQuery.Active());
  EXPECT_TRUE(dm.tbTasks.Active());
  EXPECT_THROW(dm.tbFiles.First(), EDatabaseError);
}

}  // namespace
}  // namespace vellumark::testing
