// A fresh database root with one location, a site served on loopback for the HEAD requests,
// the fake browser showing the same pages, and a run over them with scripted answers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "indexer/delimiters.h"
#include "indexer/index_run.h"
#include "indexer/site_server.h"
#include "net/http_client.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/page_list.h"
#include "store/word_store.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_event_pump.h"
#include "util/temp_folder.h"

namespace vellumark::testing {

// Records the status texts as the window shows them (a text is shown when it differs from the
// one shown) and pumps events on each, as the status bar does.
class RecordingIndexView final : public IndexView {
 public:
  explicit RecordingIndexView(EventPump& pump) : pump_(pump) {}
  void ShowStatus(const std::string& text) override {
    if (text != shown) {
      shown = text;
      statuses.push_back(text);
    }
    pump_.ProcessEvents();
  }
  void SetCounters(int indexed, int queued) override { counters.emplace_back(indexed, queued); }
  void SetButtonPanelVisible(bool visible) override { buttons_visible = visible; }

  bool Saw(const std::string& text) const {
    for (const auto& s : statuses) {
      if (s == text) return true;
    }
    return false;
  }

  std::string shown;
  std::vector<std::string> statuses;
  std::vector<std::pair<int, int>> counters;
  bool buttons_visible = true;

 private:
  EventPump& pump_;
};

struct PageRecord {
  int file_no;
  std::string address;  // F1 + File_URLRest
  std::string rest;     // File_URLRest
  bool state_null;
  int state;
  std::string header, title, text;
};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.db_root_folder = root_;
    context_.program_folder = root_;
    context_.DelimiterChars = U" \t\n\r,;";  // the options' default set
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    http_ = std::make_unique<THttpClient>(pump_);
    indexer_ = std::make_unique<TIndexer>(context_, *dm_, dialogs_, browser_, *http_, view_,
                                          [this](bool on) { find_enabled_ = on; });
  }
  void TearDown() override {
    indexer_.reset();
    http_.reset();
    dm_.reset();
  }

  // A location with `url` as its Task_URL, current in Tasks.
  int AddLocation(const std::string& url) {
    dm_->tbTasks.Insert();
    dm_->tbTasks.FieldByName("Task_URL").SetString(url);
    dm_->tbTasks.Post();
    const int no = dm_->CurrentTaskNo();
    EXPECT_TRUE(dm_->CreateLocationTables(dm_->LocationFolder(no)));
    return no;
  }

  std::string Url(const std::string& path) const { return site_.Origin() + path; }

  // A page at `path` served with `type`, shown by the browser with these links (paths or full
  // addresses) and this text.
  void AddPage(const std::string& path, const std::string& title,
               const std::vector<std::string>& links, const std::string& text,
               const std::string& type = "text/html") {
    site_.SetPage(path, SitePage{type, "<html></html>", false});
    FakePage page{title, {}, text};
    for (const std::string& l : links) page.links.push_back(l.rfind("/", 0) == 0 ? Url(l) : l);
    browser_.pages[Url(path)] = page;
  }

  // Answers the next boxes with these buttons, in order.
  void Answer(std::initializer_list<MessageButton> answers) {
    for (MessageButton b : answers) dialogs_.answers.push_back(b);
  }

  // The Files records in File_No order.
  std::vector<PageRecord> Pages() {
    std::vector<PageRecord> out;
    TTable& files = dm_->tbFiles;
    files.SetIndexName("");
    files.First();
    while (!files.IsEmpty() && !files.Eof()) {
      out.push_back({static_cast<int>(files.Fields(0).AsInteger()),
                     files.Fields(1).AsString() + files.Fields(2).AsString(),
                     files.Fields(2).AsString(), files.Fields(3).IsNull(),
                     static_cast<int>(files.Fields(3).AsInteger()), files.Fields(4).AsString(),
                     files.Fields(5).AsString(), files.Fields(6).AsString()});
      files.Next();
    }
    return out;
  }
  const PageRecord* Page(const std::string& relative) {
    pages_cache_ = Pages();
    for (const auto& p : pages_cache_) {
      if (p.address == relative) return &p;
    }
    return nullptr;
  }

  // The postings of `word` ("" when the word is not stored).
  std::vector<TPosting> Postings(const std::string& word) {
    TTable& table = dm_->WordTable(WordTableNumber(word));
    std::vector<TPosting> out;
    if (!table.FindKey({WordKey(word)})) return out;
    const std::string list = table.Fields(1).AsBlob();
    TPageListDecoder decoder(list);
    TPosting p;
    while (decoder.Next(p)) out.push_back(p);
    return out;
  }

  std::string TaskField(const std::string& name) {
    dm_->tbTasks.Refresh();
    return dm_->tbTasks.FieldByName(name).AsString();
  }

  // Presses Stop once when the status line first shows `text`.
  void StopWhenShown(const std::string& text) {
    pump_.on_pump = [this, text](long) {
      if (!stop_pressed_ && view_.shown == text) {
        stop_pressed_ = true;
        indexer_->bbStopClick();
      }
    };
  }

  std::vector<std::string> NavigatedPaths() const {
    std::vector<std::string> out;
    for (const auto& n : browser_.navigations) out.push_back(n.substr(site_.Origin().size()));
    return out;
  }

  TempFolder folder_{"vm_indexer_"};
  const std::string root_ = folder_.path();
  ProgramContext context_;
  ScriptedDialogs dialogs_;
  ScriptedEventPump pump_;
  RecordingIndexView view_{pump_};
  FakeBrowser browser_;
  SiteServer site_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<THttpClient> http_;
  std::unique_ptr<TIndexer> indexer_;
  bool find_enabled_ = true;
  bool stop_pressed_ = false;
  std::vector<PageRecord> pages_cache_;
};

}  // namespace vellumark::testing
