#include "indexer/index_run.h"

#include "indexer/delimiters.h"
#include "indexer/page_text.h"
#include "net/http_client.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/table.h"
#include "store/word_store.h"

namespace vellumark {

namespace {

using Clock = std::chrono::steady_clock;

// Field positions in Files.
constexpr int kFileNo = 0;
constexpr int kF1 = 1;
constexpr int kUrlRest = 2;
constexpr int kState = 3;
constexpr int kHeader = 4;
constexpr int kTitle = 5;
constexpr int kText = 6;

// The browser is polled this often while it loads.
constexpr int kBusyPollMs = 100;
// CheckStop and the status line come on every this many + 1 links of a page.
constexpr int kLinksPerCheck = 50;

const char* const kCannotProcess =
    "Cannot process indexing. Please terminate all programs and start indexing again.";

// Adds the time from construction to destruction to `sum`.
class Timer {
 public:
  explicit Timer(RunTimings::Duration& sum) : sum_(sum), start_(Clock::now()) {}
  ~Timer() { sum_ += Clock::now() - start_; }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

 private:
  RunTimings::Duration& sum_;
  Clock::time_point start_;
};

}  // namespace

// StoreWords reports through the run's stop check and status line.
class TIndexer::WordsProgress final : public StoreWordsProgress {
 public:
  explicit WordsProgress(TIndexer& run) : run_(run) {}
  bool CheckStop() override { return run_.CheckStop(); }
  void ShowStatus(const std::string& text) override { run_.ShowStatus(text); }

 private:
  TIndexer& run_;
};

TIndexer::TIndexer(ProgramContext& context, TdmKiv& dm, Dialogs& dialogs, Browser& browser,
                   THttpClient& http, IndexView& view, std::function<void(bool)> set_find_enabled,
                   IndexerOptions options)
    : context_(context),
      dm_(dm),
      dialogs_(dialogs),
      browser_(browser),
      http_(http),
      view_(view),
      set_find_enabled_(std::move(set_find_enabled)),
      options_(options) {}

void TIndexer::bbStopClick() {
  if (context_.indexing_state < kIndexingRunning) return;
  context_.indexing_state = kIndexingStopRequested;
  // A server that does not answer must not hold the run: end the request, and let the page
  // loop ask the question.
  if (head_in_flight_) {
    head_aborted_ = true;
    http_.Abort();
  }
}

bool TIndexer::CheckStop() {
  switch (context_.indexing_state) {
    case kIndexingStopping:
      return true;
    case kIndexingStopRequested:
      if (dialogs_.Confirm("Do you wish to stop index process?", kYesNo) == kButtonYes) {
        ShowStatus("Indexing process interrupted by user request");
        context_.indexing_state = kIndexingStopping;
        return true;
      }
      context_.indexing_state = kIndexingRunning;
      return false;
    default:
      return false;
  }
}

bool TIndexer::CanClose() { return !Running() || CheckStop(); }

void TIndexer::BeginRun() {
  view_.SetCounters(0, 0);
  view_.SetButtonPanelVisible(false);
  if (set_find_enabled_) set_find_enabled_(false);
  context_.indexing_state = kIndexingRunning;
}

void TIndexer::EndRun() {
  view_.SetCounters(0, 0);
  view_.SetButtonPanelVisible(true);
  if (set_find_enabled_) set_find_enabled_(true);
  context_.indexing_state = kIndexingIdle;
}

bool TIndexer::Head(const std::string& address) {
  Timer timer(timings_.head);
  head_aborted_ = false;
  head_in_flight_ = true;
  try {
    http_.Head(address);
  } catch (...) {
    head_in_flight_ = false;
    if (head_aborted_) return true;
    throw;
  }
  head_in_flight_ = false;
  return false;
}

void TIndexer::bbGoClick() {
  // Refused while a Find is running: it reads the tables the run would rewrite.
  if (Running() || context_.find_running) return;
  // 1.
  ShowStatus("");
  page_queue_.Clear();
  LocationURL.Clear();
  timings_ = RunTimings{};

  // 2.
  const int task_no = dm_.CurrentTaskNo();
  context_.CurrentLocationNumber = task_no;
  if (task_no == -1) {
    dialogs_.Error("No tasks to index.");
    return;
  }
  // 3.
  if (!dm_.OpenLocation(dm_.LocationFolder(task_no))) {
    dialogs_.Error("Cannot open database.");
    return;
  }
  TTable& tasks = dm_.tbTasks;
  TTable& files = dm_.tbFiles;

  // 4. The start address and the base address (its directory).
  LocationURL.SetURL(tasks.FieldByName("Task_URL").AsString());
  LocationURL.SetAnchor("");
  start_address_ = LocationURL.GetURL();
  LocationURL.SetPath(LocationURL.GetDirectory());
  base_address_ = LocationURL.GetURL();
  base_length_ = base_address_.size();

  // 5.
  page_queue_.Add("");
  if (start_address_ != base_address_ && start_address_.size() > base_length_ &&
      start_address_.compare(0, base_length_, base_address_) == 0) {
    page_queue_.Add(start_address_.substr(base_length_));
  }

  // 6.
  if (dialogs_.Confirm("Do you wish to index URL '" + base_address_ + "'?", kYesNo) != kButtonYes) {
    page_queue_.Clear();
    return;
  }
  const Clock::time_point run_start = Clock::now();

  // 7.
  if (files.IsEmpty()) {
    tasks.Edit();
    tasks.FieldByName("Date").SetString(CurrentDateText());
    tasks.FieldByName("Time_Start").SetString(CurrentTimeText());
    tasks.FieldByName("Files").SetInteger(0);
    tasks.FieldByName("SearchDelimiters").SetString(DelimitersToText(context_.DelimiterChars));
    tasks.Post();
  } else {
    const MessageButton answer =
        dialogs_.Confirm("Index exists. Do you wish to overwrite it?", kYesNoCancel);
    if (answer == kButtonYes) {
      tasks.Edit();
      tasks.FieldByName("Date").SetString(CurrentDateText());
      tasks.FieldByName("Time_Start").SetString(CurrentTimeText());
      tasks.FieldByName("Time_End").Clear();
      tasks.FieldByName("Files").SetInteger(0);
      tasks.FieldByName("SearchDelimiters").SetString(DelimitersToText(context_.DelimiterChars));
      tasks.Post();
      if (!ClearTable(dm_.tbFiles) || !ClearTable(dm_.tbWords1) || !ClearTable(dm_.tbWords2) ||
          !ClearTable(dm_.tbWords3)) {
        dialogs_.Error("Cannot clear database");
        ShowStatus("Index not completed.");
        page_queue_.Clear();
        return;
      }
    } else if (answer == kButtonNo) {
      // Continue with the delimiters the old pages were split at.
      context_.DelimiterChars =
          DelimitersFromText(tasks.FieldByName("SearchDelimiters").AsString());
      tasks.Edit();
      tasks.FieldByName("Time_Start").Clear();
      tasks.FieldByName("Time_End").Clear();
      tasks.Post();
    } else {
      page_queue_.Clear();
      return;
    }
  }

  // 8.
  ShowStatus("Preparing to index URL '" + base_address_ + "'");
  BeginRun();

  // 9. Count what is indexed and queue what is known but not fetched.
  try {
    CountAndQueue();
  } catch (const std::exception&) {
    dialogs_.Error("Cannot process indexing ...");
    EndRun();
    ShowStatus("Indexing not completed.");
    page_queue_.Clear();
    return;
  }

  // 10. The connection check.
  ShowStatus("Connecting '" + start_address_ + "' ...");
  for (;;) {
    bool aborted = false;
    try {
      aborted = Head(start_address_);
    } catch (const std::exception& e) {
      // The status line also gives the reason (a refused certificate, say); the message box
      // keeps its own text.
      const std::string reason = e.what();
      ShowStatus("Cannot connect to '" + start_address_ + "'." +
                 (reason.empty() ? "" : " " + reason));
      dialogs_.Error("Cannot connect to '" + start_address_ + "'.");
      EndRun();
      ShowStatus("Index not completed.");
      page_queue_.Clear();
      return;
    }
    if (!aborted) break;
    // Stop ended the check: end the run as the user confirms, else check again.
    if (CheckStop()) {
      EndRun();
      ShowStatus("Index not completed.");
      page_queue_.Clear();
      return;
    }
  }

  // 11.
  word_list_.clear();
  try {
    IndexPages();
    // The run's postings go into the word lists once, here.
    dm_.MergePendingWords(&view_);
    timings_.pages = indexed_count_;
    files.SetIndexName("");
    files.Last();
    page_total_ = files.IsEmpty() ? 0 : files.Fields(kFileNo).AsInteger();
    if (page_total_ == indexed_count_) {
      DeleteNotInformative();
      page_total_ = indexed_count_;
    }
    ShowStatus("Done. Indexed " + std::to_string(indexed_count_) + " of " +
               std::to_string(page_total_) + " pages.");
  } catch (const std::exception&) {
    // The pages indexed so far still reach the word lists, now or at the next open.
    try {
      dm_.MergePendingWords(&view_);
    } catch (const std::exception&) {
    }
    dialogs_.Error("Cannot process indexing ...");
    ShowStatus("Indexing not completed.");
  }

  // 12.
  try {
    tasks.Edit();
    tasks.FieldByName("Time_End").SetString(CurrentTimeText());
    tasks.FieldByName("Files").SetInteger(indexed_count_);
    tasks.Post();
  } catch (const std::exception&) {
    tasks.Cancel();
    dialogs_.Error("Cannot process indexing ...");
  }
  EndRun();
  page_queue_.Clear();
  word_list_.clear();
  word_list_.shrink_to_fit();
  timings_.total = Clock::now() - run_start;
}

void TIndexer::CountAndQueue() {
  TTable& files = dm_.tbFiles;
  indexed_count_ = 0;
  files.SetIndexName("");
  files.First();
  if (files.IsEmpty()) {
    next_page_no_ = 1;
  } else {
    while (!files.Eof()) {
      if (files.Fields(kState).AsInteger() >= 1) {
        ++indexed_count_;
      } else {
        page_queue_.Add(files.Fields(kF1).AsString() + files.Fields(kUrlRest).AsString());
      }
      files.Next();
    }
    files.Last();
    next_page_no_ = static_cast<int>(files.Fields(kFileNo).AsInteger()) + 1;
  }
  files.SetIndexName("I1");
}

void TIndexer::InsertPage(const std::string& relative) {
  TTable& files = dm_.tbFiles;
  const TPageAddress address = SplitPageAddress(relative);
  files.Insert();
  files.Fields(kFileNo).SetInteger(next_page_no_);
  files.Fields(kF1).SetString(address.head);
  if (!address.tail.empty()) files.Fields(kUrlRest).SetString(address.tail);
  files.Post();
}

void TIndexer::IndexPages() {
  while (!page_queue_.Empty()) {
    // 1, 2.
    view_.SetCounters(static_cast<int>(indexed_count_), static_cast<int>(page_queue_.Count()));
    if (CheckStop()) return;
    if (IndexOnePage() == PassEnd::kLeave) return;
  }
}

TIndexer::PassEnd TIndexer::IndexOnePage() {
  TTable& files = dm_.tbFiles;
  // 3.
  const std::string relative = page_queue_.TakeFirst();
  page_address_ = base_address_ + relative;

  // The pass is one transaction: it lands whole, or the page stays as it was (and so do the
  // page numbers it handed out).
  TTransaction pass(dm_.dbKiv);
  const int first_new_page_no = next_page_no_;

  // 4.
  if (!FindPage(files, relative)) {
    InsertPage(relative);
    current_page_no_ = next_page_no_;
    ++next_page_no_;
  } else if (files.Fields(kState).AsInteger() == 1) {
    return PassEnd::kNext;
  } else {
    current_page_no_ = static_cast<int>(files.Fields(kFileNo).AsInteger());
  }

  // 5.
  ShowStatus("Connecting '" + page_address_ + "' ...");
  PageURL.SetURL(page_address_);
  ResponseHeader.Clear();
  page_title_.clear();
  page_text_.clear();
  link_list_.Clear();

  // 6.
  try {
    if (Head(page_address_)) {
      // Stop ended the request. Leave when the user confirms; otherwise fetch the page again.
      next_page_no_ = first_new_page_no;
      if (CheckStop()) return PassEnd::kLeave;
      page_queue_.Add(relative);
      return PassEnd::kNext;
    }
    ResponseHeader.ParseHeader(http_.Header);
    if (ResponseHeader.ContentType.find("text/html") != std::string::npos) ReadHtmlPage();
  } catch (const std::exception&) {
    ShowStatus("Cannot open location '" + page_address_ + "'");
  }

  // 7.
  if (CheckStop()) return PassEnd::kLeave;

  // 8. New links get a record and a place in the queue; known ones are left alone.
  link_list_.ForEach([&](const std::string& link) {
    if (FindPage(files, link)) return;
    InsertPage(link);
    ++next_page_no_;
    page_queue_.Add(link);
  });

  // 9.
  if (CheckStop()) return PassEnd::kLeave;

  // 10.
  if (next_page_no_ > options_.max_pages) {
    dialogs_.Information("Indexing more then 1048576 files not supported.");
    ShowStatus("Indexing not completed.");
    return PassEnd::kLeave;
  }

  // 11.
  excerpt_.clear();
  if (!page_text_.empty()) {
    Timer timer(timings_.words);
    page_text_ = LowerPageText(page_text_);
    try {
      if (SplitPageWords(page_text_, context_.DelimiterChars, word_list_)) {
        WordsProgress progress(*this);
        StoreWords(dm_, word_list_, current_page_no_, static_cast<std::int64_t>(page_text_.size()),
                   page_address_, progress);
      }
    } catch (const std::exception&) {
      dialogs_.Error(kCannotProcess);
      return PassEnd::kLeave;
    }
    word_list_.clear();
    excerpt_ = MakeExcerpt(page_text_);
  }

  // 12.
  if (CheckStop()) return PassEnd::kLeave;

  // 13.
  if (FindPage(files, relative)) {
    files.Edit();
    files.Fields(kHeader).SetString(ResponseHeader.GetHeaderText());
    files.Fields(kTitle).SetString(page_title_);
    files.Fields(kText).SetString(excerpt_);
    files.Fields(kState).SetInteger(page_text_.empty() ? 2 : 1);
    files.Post();
  }
  pass.Commit();
  // 14.
  ++indexed_count_;
  return PassEnd::kNext;
}

bool TIndexer::WaitForBrowser(Clock::time_point deadline) {
  while (browser_.Busy()) {
    if (Clock::now() >= deadline) return false;
    browser_.WaitWhileBusy(kBusyPollMs);
    ShowStatus("Opening '" + page_address_ + "' ...");
    // Stop works on a page that never finishes loading.
    if (CheckStop()) {
      stopped_ = true;
      return true;
    }
  }
  return true;
}

void TIndexer::ReadHtmlPage() {
  stopped_ = false;
  {
    Timer timer(timings_.load);
    // 1. A page still loading from before gets the same bound; then it is superseded.
    const auto wait = std::chrono::milliseconds(options_.browser_wait_ms);
    WaitForBrowser(Clock::now() + wait);
    if (stopped_) return;
    // 2, 3.
    browser_.Navigate(page_address_);
    if (!WaitForBrowser(Clock::now() + wait)) {
      throw BrowserError("The page did not finish loading");
    }
    if (stopped_) return;
  }
  Timer timer(timings_.reading);
  // 4.
  ShowStatus("Processing '" + page_address_ + "' ...");
  // 5.
  const std::vector<std::string> links = browser_.DocumentLinks();
  int counter = 0;
  for (const std::string& href : links) {
    if (++counter > kLinksPerCheck) {
      if (CheckStop()) break;
      ShowStatus("Processing '" + page_address_ + "' ...");
      counter = 0;
    }
    LinkURL.Assign(PageURL);
    LinkURL.SetURL(href);
    LinkURL.SetAnchor("");
    if (IsInside(LinkURL, LocationURL) && !SamePage(PageURL, LinkURL)) {
      const std::string url = LinkURL.GetURL();
      if (url.size() >= base_length_) link_list_.Add(url.substr(base_length_));
    }
  }
  // 6, 7.
  page_title_ = browser_.DocumentTitle();
  page_text_ = browser_.CreateBodyTextRange()->Text();
}

void TIndexer::DeleteNotInformative() {
  ShowStatus("Deleting not informative files from index ...");
  TTable& files = dm_.tbFiles;
  TTransaction cleanup(dm_.dbKiv);
  files.SetIndexName("");
  files.First();
  if (files.IsEmpty()) return;
  std::string previous = files.Fields(kText).AsString();
  files.Next();
  while (!files.Eof()) {
    if (files.Fields(kState).AsInteger() == 2) {
      files.Delete();
      --indexed_count_;
      if (files.IsEmpty()) break;
      continue;
    }
    const std::string excerpt = files.Fields(kText).AsString();
    std::string trimmed = TrimExcerpt(excerpt, previous);
    if (trimmed.size() < excerpt.size()) {
      files.Edit();
      files.Fields(kText).SetString(trimmed);
      files.Post();
    }
    previous = std::move(trimmed);
    files.Next();
  }
  cleanup.Commit();
}

}  // namespace vellumark
