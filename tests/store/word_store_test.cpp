#include "store/word_store.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "store/page_list.h"
#include "store_fixture.h"

namespace vellumark::testing {
namespace {

// Answers CheckStop from a script (stop on the n-th call) and records the status texts.
class ScriptedProgress final : public StoreWordsProgress {
 public:
  bool CheckStop() override {
    ++checks;
    if (on_check) on_check(checks);
    return checks == stop_at;
  }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }

  int checks = 0;
  int stop_at = 0;  // 0: never
  std::vector<std::string> statuses;
  std::function<void(int)> on_check;
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
  progress.stop_at = 2;  // at word 202: words 1 to 201 were written by then
  EXPECT_FALSE(StoreWords(dm, words, 2, 100, "p2", progress));
  for (const auto& w : words) ASSERT_EQ(ListOf(dm, w), Posting(1, 1)) << w;
  // Processed again, the page carries exactly one posting per word.
  ScriptedProgress again;
  ASSERT_TRUE(StoreWords(dm, words, 2, 100, "p2", again));
  for (const auto& w : words) ASSERT_EQ(ListOf(dm, w), Posting(1, 1) + Posting(2, 1)) << w;
}

TEST_F(StoreWordsTest, AnEngineFailureRaisesAndUndoesThePage) {
  TdmKiv& dm = Module();
  ScriptedProgress progress;
  dm.tbWords2.Close();  // the first 7-byte word fails
  std::vector<std::string> words = {"aaa", "bbbbbbb", "ccc"};
  EXPECT_THROW(StoreWords(dm, words, 1, 100, "p", progress), EDatabaseError);
  EXPECT_EQ(ListOf(dm, "aaa"), "-");
  // Inside the caller's transaction, only this page's work is undone.
  dm.tbWords2.Open();
  TTransaction tx(dm.dbKiv);
  words = {"ddd"};
  ASSERT_TRUE(StoreWords(dm, words, 1, 100, "p", progress));
  dm.tbWords2.Close();
  words = {"eee", "fffffff"};
  EXPECT_THROW(StoreWords(dm, words, 2, 100, "p", progress), EDatabaseError);
  tx.Commit();
  dm.tbWords2.Open();
  EXPECT_EQ(ListOf(dm, "ddd"), Posting(1, 1));
  EXPECT_EQ(ListOf(dm, "eee"), "-");
}

// A child process records pages one transaction each and is killed in the middle of a page;
// the index then opens and holds every page committed before.
TEST_F(StoreWordsTest, AKilledProcessLeavesEveryCommittedPage) {
  const int no = Module().CurrentTaskNo();
  const std::string folder = Module().LocationFolder(no);
  dm_.reset();  // the child owns the database while it runs
  const std::vector<std::string> words = DistinctWords(400);
  int pipe_fd[2];
  ASSERT_EQ(pipe(pipe_fd), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_fd[0]);
    ScriptedDialogs dialogs;
    TdmKiv dm(context_, dialogs);
    if (!dm.OpenLocation(folder)) _exit(2);
    ScriptedProgress progress;
    int page = 1;
    progress.on_check = [&](int check) {
      // Page 4, well into its words: tell the parent, then wait to be killed.
      if (page == 4 && check % 4 == 2) {
        char c = 'k';
        if (write(pipe_fd[1], &c, 1) != 1) _exit(3);
        for (;;) pause();
      }
    };
    for (; page <= 4; ++page) {
      TTransaction tx(dm.dbKiv);
      StoreWords(dm, words, page, 5000, "p", progress);
      tx.Commit();
    }
    _exit(4);
  }
  close(pipe_fd[1]);
  char c = 0;
  ASSERT_EQ(read(pipe_fd[0], &c, 1), 1);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(pipe_fd[0]);
  ASSERT_TRUE(WIFSIGNALED(status));

  TdmKiv& dm = Module();
  ASSERT_TRUE(dm.OpenLocation(folder));
  const std::string expected = Posting(1, 1) + Posting(2, 1) + Posting(3, 1);
  for (const auto& w : words) ASSERT_EQ(ListOf(dm, w), expected) << w;
  // And the index takes new pages.
  ScriptedProgress progress;
  ASSERT_TRUE(StoreWords(dm, words, 4, 5000, "p", progress));
  EXPECT_EQ(ListOf(dm, words[0]), expected + Posting(4, 1));
}

}  // namespace
}  // namespace vellumark::testing
