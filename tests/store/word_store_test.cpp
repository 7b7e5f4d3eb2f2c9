#include "store/word_store.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <thread>

#include "store/page_list.h"
#include "store/pending_postings.h"
#include "store/query.h"
#include "store_fixture.h"

namespace vellumark::testing {
namespace {

// Answers CheckStop from a script (stop on the n-th call) and records the status texts, those
// of StoreWords and those of the merge.
class ScriptedProgress final : public StoreWordsProgress, public StatusView {
 public:
  bool CheckStop() override {
    ++checks;
    if (on_check) on_check(checks);
    return checks == stop_at;
  }
  void ShowStatus(const std::string& text) override {
    statuses.push_back(text);
    if (on_status) on_status();
  }

  int checks = 0;
  int stop_at = 0;  // 0: never
  std::vector<std::string> statuses;
  std::function<void(int)> on_check;
  std::function<void()> on_status;
};

std::string Posting(int file_no, int weight) {
  std::string s;
  AppendPosting(s, file_no, weight);
  return s;
}

// The page list of `word`, or "-" when the word has no record.
std::string ListOf(TdmKiv& dm, const std::string& word) {
  TTable& t = dm.WordTable(WordTableNumber(word));
  return t.FindKey({WordKey(word)}) ? t.Fields(1).AsBlob() : "-";
}

std::vector<std::string> DistinctWords(int n, const std::string& prefix = "w") {
  std::vector<std::string> words;
  for (int i = 0; i < n; ++i) words.push_back(prefix + std::to_string(1000 + i));
  std::sort(words.begin(), words.end());
  return words;
}

class StoreWordsTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    AddLocation();
  }
};

TEST_F(StoreWordsTest, RecordsEachDistinctWordOnceWithItsWeight) {
  TdmKiv& dm = Module();
  const std::string x30(30, 'x');
  std::vector<std::string> words = {"apple",  "apple",   "apple",
                                    "banana", "bananas", "internationalism",
                                    x30,      x30 + "y", x30 + "y"};
  ScriptedProgress progress;
  ASSERT_TRUE(StoreWords(dm, words, 5000, 1000, "http://p/", progress));
  words = {"apple", "banana"};
  ASSERT_TRUE(StoreWords(dm, words, 12, 1000, "http://q/", progress));
  dm.MergePendingWords(nullptr);

  EXPECT_EQ(ListOf(dm, "apple"), Posting(5000, 3) + Posting(12, 1));
  EXPECT_EQ(ListOf(dm, "banana"), Posting(5000, 1) + Posting(12, 1));
  EXPECT_EQ(ListOf(dm, "bananas"), Posting(5000, 1));
  EXPECT_EQ(dm.tbWords2.RecordCount(), 1);
  EXPECT_EQ(ListOf(dm, "internationalism"), Posting(5000, 1));
  // Two long words sharing their first 24 bytes share one record, one posting each.
  EXPECT_EQ(dm.tbWords3.RecordCount(), 2);
  EXPECT_EQ(ListOf(dm, std::string(24, 'x')), Posting(5000, 1) + Posting(5000, 2));
  EXPECT_EQ(progress.checks, 0);
}

TEST_F(StoreWordsTest, ChecksForAStopOnEvery101stDistinctWord) {
  ScriptedProgress progress;
  std::vector<std::string> words = DistinctWords(303);
  words.insert(words.begin() + 5, 50, words[5]);  // duplicates do not count
  ASSERT_TRUE(StoreWords(Module(), words, 1, 100, "http://p/a.html", progress));
  EXPECT_EQ(progress.checks, 3);  // words 101, 202 and 303
  EXPECT_EQ(progress.statuses, std::vector<std::string>(3, "Processing 'http://p/a.html' ..."));
}

TEST_F(StoreWordsTest, AStopLeavesNoPostingOfThatPage) {
  TdmKiv& dm = Module();
  ScriptedProgress first;
  const std::vector<std::string> words = DistinctWords(250);
  ASSERT_TRUE(StoreWords(dm, words, 1, 100, "p1", first));
  ScriptedProgress progress;
  progress.stop_at = 2;  // at word 202: words 1 to 201 were gathered by then
  EXPECT_FALSE(StoreWords(dm, words, 2, 100, "p2", progress));
  dm.MergePendingWords(nullptr);
  for (const auto& w : words) ASSERT_EQ(ListOf(dm, w), Posting(1, 1)) << w;
  // Processed again, the page carries exactly one posting per word.
  ScriptedProgress again;
  ASSERT_TRUE(StoreWords(dm, words, 2, 100, "p2", again));
  dm.MergePendingWords(nullptr);
  for (const auto& w : words) ASSERT_EQ(ListOf(dm, w), Posting(1, 1) + Posting(2, 1)) << w;
}

TEST_F(StoreWordsTest, AnEngineFailureRaisesAndUndoesThePage) {
  TdmKiv& dm = Module();
  ScriptedProgress progress;
  TTransaction tx(dm.dbKiv);
  std::vector<std::string> words = {"ddd"};
  ASSERT_TRUE(StoreWords(dm, words, 1, 100, "p", progress));
  dm.dbKiv.Execute(
      "CREATE TEMP TRIGGER full BEFORE INSERT ON PendingPostings"
      " BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  words = {"eee", "zzz"};
  EXPECT_THROW(StoreWords(dm, words, 2, 100, "p", progress), EDatabaseError);
  dm.dbKiv.Execute("DROP TRIGGER full");
  tx.Commit();  // only this page's work was undone
  dm.MergePendingWords(nullptr);
  EXPECT_EQ(ListOf(dm, "ddd"), Posting(1, 1));
  EXPECT_EQ(ListOf(dm, "eee"), "-");
}

// Synthetic pages: words of 1 to 30 bytes drawn with a Zipf-like skew from a vocabulary with
// keys for all three tables, long words sharing their first 24 bytes, UTF-8 and empty words;
// page numbers spread over both posting forms and recorded out of page-number order.
struct SyntheticPage {
  int file_no;
  std::int64_t text_length;
  std::vector<std::string> words;  // sorted, duplicates kept
};

std::vector<SyntheticPage> SyntheticPages(int count, int min_distinct) {
  std::mt19937 rng(20261208);
  std::vector<std::string> vocabulary = {"", std::string(24, 'q') + "a", std::string(24, 'q') + "b",
                                         "caf\xc3\xa9", "\xc3\xa9t\xc3\xa9"};
  std::uniform_int_distribution<int> length(1, 30), letter('a', 'z');
  while (vocabulary.size() < 2000) {
    std::string w(length(rng), ' ');
    for (char& c : w) c = static_cast<char>(letter(rng));
    vocabulary.push_back(w);
  }
  std::vector<int> numbers(6000);
  std::iota(numbers.begin(), numbers.end(), 1);
  std::shuffle(numbers.begin(), numbers.end(), rng);
  std::vector<SyntheticPage> pages;
  for (int i = 0; i < count; ++i) {
    SyntheticPage page{numbers[i], std::uniform_int_distribution<int>(100, 200000)(rng), {}};
    std::set<std::string> distinct;
    while (static_cast<int>(distinct.size()) < min_distinct || page.words.size() < 300) {
      // Skewed towards the front of the vocabulary, so lists grow long and weights vary.
      const double u = std::uniform_real_distribution<double>(0, 1)(rng);
      const std::string& w = vocabulary[static_cast<std::size_t>(u * u * u * vocabulary.size())];
      page.words.push_back(w);
      distinct.insert(w);
    }
    // Every other page in descending order, as a collation may order words: a page's word
    // list need not be in byte order.
    std::sort(page.words.begin(), page.words.end());
    if (i % 2) std::reverse(page.words.begin(), page.words.end());
    pages.push_back(std::move(page));
  }
  return pages;
}

// What recording the pages one by one, each list read, appended to and written back, leaves:
// the page lists by key.
std::map<std::string, std::string> PerPageLists(const std::vector<SyntheticPage>& pages) {
  std::map<std::string, std::string> lists;
  for (const SyntheticPage& page : pages) {
    for (std::size_t i = 0; i < page.words.size();) {
      std::size_t j = i;
      while (j < page.words.size() && page.words[j] == page.words[i]) ++j;
      if (!page.words[i].empty()) {
        AppendPosting(lists[WordKey(page.words[i])], page.file_no,
                      WeightOf(static_cast<int>(j - i), page.text_length));
      }
      i = j;
    }
  }
  return lists;
}

// Every word record, by key, each checked to stand in the table its key names.
std::map<std::string, std::string> StoredLists(TdmKiv& dm) {
  std::map<std::string, std::string> lists;
  for (int n = 1; n <= 3; ++n) {
    TTable& table = dm.WordTable(n);
    table.SetIndexName("");
    for (table.First(); !table.IsEmpty() && !table.Eof(); table.Next()) {
      const std::string key = table.Fields(0).AsString();
      EXPECT_EQ(WordTableNumber(key), n) << key;
      lists[key] = table.Fields(1).AsBlob();
    }
  }
  return lists;
}

// Records `page` as the page loop does: its postings and its Files state in one transaction.
// False when the progress said stop.
bool RecordPage(TdmKiv& dm, const SyntheticPage& page, StoreWordsProgress& progress) {
  TTransaction pass(dm.dbKiv);
  if (!StoreWords(dm, page.words, page.file_no, page.text_length, "p", progress)) return false;
  dm.dbKiv.Execute("INSERT INTO Files (File_No, F1, File_State) VALUES (" +
                   std::to_string(page.file_no) + ", 'p" + std::to_string(page.file_no) + "', 1)");
  pass.Commit();
  return true;
}

bool Recorded(TdmKiv& dm, const SyntheticPage& page) {
  return dm.tbFiles.FindKey({std::to_string(page.file_no)});
}

// The tables of the template, and nothing else, once the lists are written.
std::vector<std::string> Schema(TdmKiv& dm) {
  TQuery query(dm.dbKiv);
  query.SetSQL("SELECT name FROM sqlite_master ORDER BY name");
  std::vector<std::string> names;
  for (query.Open(); !query.Eof(); query.Next()) names.push_back(query.Fields(0).AsString());
  return names;
}

TEST_F(StoreWordsTest, ListsEqualThoseOfPerPageRecording) {
  const std::vector<SyntheticPage> pages = SyntheticPages(300, 20);
  const std::vector<std::string> schema = Schema(Module());
  const std::string folder = Module().LocationFolder(Module().CurrentTaskNo());
  ScriptedProgress progress;
  // A first run merged in many small transactions, a second one stopped by a closed program
  // and merged when the location opens again, a third merged at its end.
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(RecordPage(Module(), pages[i], progress));
  MergePendingPostings(Module().dbKiv, nullptr, TMergeOptions{2000, 5});
  for (int i = 100; i < 200; ++i) ASSERT_TRUE(RecordPage(Module(), pages[i], progress));
  dm_.reset();
  ASSERT_TRUE(Module().OpenLocation(folder));
  for (int i = 200; i < 300; ++i) ASSERT_TRUE(RecordPage(Module(), pages[i], progress));
  Module().MergePendingWords(nullptr);

  EXPECT_TRUE(StoredLists(Module()) == PerPageLists(pages));
  EXPECT_EQ(Schema(Module()), schema);
}

// A child process records pages and writes the lists, and is killed: at one of its stop checks
// and status texts, which come during the pages and inside the merge's transactions, or after
// a random time. The index then opens, and a continued run (the pages not recorded) leaves
// every page once in every list it belongs to, in recording order.
TEST_F(StoreWordsTest, AKilledRunContinuedHoldsEveryPageOnce) {
  constexpr int kPages = 40;
  const std::vector<SyntheticPage> pages = SyntheticPages(kPages, 150);  // one check a page
  const std::string folder = Module().LocationFolder(Module().CurrentTaskNo());
  struct KillPoint {
    int event;  // the child's n-th check or status; 0: after `delay`
    std::chrono::microseconds delay;
  };
  std::vector<KillPoint> points;
  for (int event : {1, kPages / 2, kPages, kPages + 1}) points.push_back({event, {}});
  // The merge of these pages shows about 400 status texts over its many small passes.
  std::mt19937 rng(std::random_device{}());
  for (int i = 0; i < 6; ++i) points.push_back({kPages + 2 + static_cast<int>(rng() % 380), {}});
  for (int i = 0; i < 3; ++i) points.push_back({0, std::chrono::microseconds(rng() % 300000)});
  for (const KillPoint& point : points) {
    SCOPED_TRACE(point.event ? "event " + std::to_string(point.event)
                             : "after " + std::to_string(point.delay.count()) + " us");
    ASSERT_TRUE(Module().CreateLocationTables(folder));
    dm_.reset();  // the child owns the database while it runs
    int pipe_fd[2];
    ASSERT_EQ(pipe(pipe_fd), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipe_fd[0]);
      ScriptedDialogs dialogs;
      TdmKiv dm(context_, dialogs);
      if (!dm.OpenLocation(folder)) _exit(2);
      ScriptedProgress events;
      int count = 0;
      const auto event = [&] {
        if (++count != point.event) return;
        const char c = 'k';
        if (write(pipe_fd[1], &c, 1) != 1) _exit(3);
        for (;;) pause();
      };
      events.on_check = [&](int) { event(); };
      events.on_status = event;
      for (const SyntheticPage& page : pages) RecordPage(dm, page, events);
      MergePendingPostings(dm.dbKiv, &events, TMergeOptions{3000, 7});
      _exit(4);
    }
    close(pipe_fd[1]);
    if (point.event) {
      char c = 0;
      ASSERT_EQ(read(pipe_fd[0], &c, 1), 1);
    } else {
      std::this_thread::sleep_for(point.delay);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(pipe_fd[0]);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 4));

    ASSERT_TRUE(Module().OpenLocation(folder));
    ScriptedProgress progress;
    for (const SyntheticPage& page : pages) {
      if (!Recorded(Module(), page)) {
        ASSERT_TRUE(RecordPage(Module(), page, progress));
      }
    }
    Module().MergePendingWords(nullptr);
    EXPECT_TRUE(StoredLists(Module()) == PerPageLists(pages));
  }
}

// Rows that do not read back as written are refused before anything reaches a list.
TEST_F(StoreWordsTest, DamagedPendingRowsRefuseTheOpen) {
  const std::string folder = Module().LocationFolder(Module().CurrentTaskNo());
  for (const char* entries : {"x'01'",                       // header cut short
                              "x'02000001000961'",           // unknown format
                              "x'01000000000961'",           // page 0
                              "x'010000010009'",             // key cut short
                              "x'01000001000861'",           // weight 0
                              "x'01000001010961'",           // shares more than the previous key
                              "x'01000001000962000961'"}) {  // keys out of order
    SCOPED_TRACE(entries);
    ScriptedProgress progress;
    ASSERT_TRUE(StoreWords(Module(), {"apple"}, 1, 100, "p", progress));
    Module().dbKiv.Execute(std::string("INSERT INTO PendingPostings (Entries) VALUES (") + entries +
                           ")");
    dm_.reset();
    EXPECT_FALSE(Module().OpenLocation(folder));
    Module().dbKiv.Execute("DROP TABLE PendingPostings");
    ASSERT_TRUE(Module().OpenLocation(folder));
    EXPECT_EQ(ListOf(Module(), "apple"), "-");
  }
}

}  // namespace
}  // namespace vellumark::testing
