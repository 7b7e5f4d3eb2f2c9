// A database root folder per test with a data module, a fake browser, scripted dialogs and a
// recording search bar, and helpers that build a small location index through StoreWords.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "search/search.h"
#include "store/data_module.h"
#include "store/page_list.h"
#include "store/word_store.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "util/context.h"
#include "util/temp_folder.h"

namespace vellumark::testing {

// The search bar's controls as plain values, with a log of what the handlers did to them.
class RecordingSearchView final : public SearchView {
 public:
  std::string SearchText() override { return text; }
  void FocusSearchText() override { ++focused; }
  std::vector<std::string> History() override { return history; }
  void SetHistory(const std::vector<std::string>& items) override { history = items; }
  TSearchMode SearchMode() override { return mode; }
  bool SubWord() override { return sub_word; }
  bool ShowSample() override { return show; }
  void SetFindEnabled(bool on) override {
    enabled = on;
    enabled_log.push_back(on);
  }

  std::string text;
  std::vector<std::string> history;
  TSearchMode mode = smAnyWords;
  bool sub_word = false;
  bool show = false;
  bool enabled = true;
  std::vector<bool> enabled_log;
  int focused = 0;
};

class RecordingStatus final : public StatusView {
 public:
  void ShowStatus(const std::string& text) override {
    texts.push_back(text);
    if (on_status) on_status(text);
  }
  std::vector<std::string> texts;
  std::function<void(const std::string&)> on_status;
};

class NoProgress final : public StoreWordsProgress {
 public:
  bool CheckStop() override { return false; }
  void ShowStatus(const std::string&) override {}
};

// The count of occurrences that StoreWords turns into weight w (1 to 7).
inline int CountForWeight(int w) {
  static const int counts[] = {1, 2, 3, 5, 10, 20, 50};
  return counts[w - 1];
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.db_root_folder = root_;
    context_.program_folder = root_;
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    search_ = std::make_unique<TSearch>(context_, *dm_, browser_, dialogs_, view_, status_);
  }
  void TearDown() override {
    search_.reset();
    dm_.reset();
  }

  // Adds a location, indexed to the end unless told otherwise, and opens it.
  int AddLocation(const std::string& url = "http://example.com/site/",
                  const std::string& delimiters = " \t\n\r,;", bool indexed = true) {
    TdmKiv& dm = *dm_;
    dm.tbTasks.Insert();
    dm.tbTasks.FieldByName("Task_URL").SetString(url);
    dm.tbTasks.FieldByName("SearchDelimiters").SetString(delimiters);
    dm.tbTasks.FieldByName("Date").SetString("2026-12-08");
    dm.tbTasks.FieldByName("Time_Start").SetString("10:00:00");
    if (indexed) dm.tbTasks.FieldByName("Time_End").SetString("10:05:00");
    dm.tbTasks.Post();
    int no = dm.CurrentTaskNo();
    EXPECT_TRUE(dm.CreateLocationTables(dm.LocationFolder(no)));
    EXPECT_TRUE(dm.OpenLocation(dm.LocationFolder(no)));
    return no;
  }

  // Adds the Files record of a page.
  void AddPageRecord(int file_no, const std::string& relative, const std::string& title = "",
                     const std::string& text = "") {
    TTable& files = dm_->tbFiles;
    files.Insert();
    files.Fields(0).SetInteger(file_no);
    files.Fields(1).SetString(relative.substr(0, std::min<std::size_t>(relative.size(), 40)));
    files.Fields(2).SetString(relative.size() > 40 ? relative.substr(40) : "");
    files.Fields(3).SetInteger(1);
    files.Fields(5).SetString(title);
    files.Fields(6).SetString(text);
    files.Post();
  }

  // Adds a page with its words: word -> weight, recorded through StoreWords.
  void AddPage(int file_no, const std::map<std::string, int>& weights,
               const std::string& title = "", const std::string& text = "") {
    AddPageRecord(file_no, "p" + std::to_string(file_no) + ".html", title, text);
    std::vector<std::string> words;
    for (const auto& [word, weight] : weights) {
      for (int i = 0; i < CountForWeight(weight); ++i) words.push_back(word);
    }
    std::sort(words.begin(), words.end());
    NoProgress progress;
    ASSERT_TRUE(StoreWords(*dm_, words, file_no, 1000, "p", progress));
  }

  // Writes a word record directly (for large or unusual indexes).
  void PutWordRecord(int table, const std::string& word, const std::string& list) {
    TTable& t = dm_->WordTable(table);
    if (t.FindKey({word})) {
      t.Edit();
    } else {
      t.Insert();
      t.Fields(0).SetString(word);
    }
    t.Fields(1).SetBlob(list);
    t.Post();
  }

  // Runs Find with the sample and returns the lines of the result page.
  std::vector<std::string> Find(const std::string& sample, TSearchMode mode = smAnyWords) {
    view_.text = sample;
    view_.mode = mode;
    search_->bbFindClick();
    return PageLines();
  }

  std::string PagePath() const { return root_ + "SrchRes.htm"; }

  std::vector<std::string> PageLines() const {
    std::ifstream in(PagePath(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = ss.str();
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < all.size()) {
      std::size_t end = all.find("\r\n", start);
      if (end == std::string::npos) {
        lines.push_back(all.substr(start));
        break;
      }
      lines.push_back(all.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  // The pages of the last result page, best first, as "file_no:score".
  std::vector<std::string> Ranking() const {
    std::vector<std::string> out;
    for (const auto& e : search_->Entries()) {
      out.push_back(std::to_string(e.file_no) + ":" + std::to_string(e.score));
    }
    return out;
  }

  TempFolder folder_{"vm_search_"};
  const std::string root_ = folder_.path();
  ProgramContext context_;
  ScriptedDialogs dialogs_;
  FakeBrowser browser_;
  RecordingSearchView view_;
  RecordingStatus status_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<TSearch> search_;
};

}  // namespace vellumark::testing
