#include "indexer/index_run.h"

#include "indexer/delimiters.h"
#include "indexer/page_text.h"
#include "indexer/run_figures.h"
#include "net/http_client.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/records.h"
#include "store/table.h"
#include "store/word_store.h"

namespace vellumark {

namespace {

using Clock = std::chrono::steady_clock;

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
  http_.ClearCookies();
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

// An active run: BeginRun when it starts; EndRun when it ends, however it ends, followed by the
// closing status when the run ended early, or by the run's total time when it was completed.
class TIndexer::ActiveRun final {
 public:
  ActiveRun(TIndexer& run, Clock::time_point start) : run_(run), start_(start) { run_.BeginRun(); }
  ~ActiveRun() {
    run_.EndRun();
    if (!closing_status_.empty()) run_.ShowStatus(closing_status_);
    if (completed_) run_.timings_.total = Clock::now() - start_;
  }
  ActiveRun(const ActiveRun&) = delete;
  ActiveRun& operator=(const ActiveRun&) = delete;

  // The run ends early; the status line says `status` once the run has ended.
  void EndEarly(std::string status) { closing_status_ = std::move(status); }
  // The run went through to its end.
  void Complete() { completed_ = true; }

 private:
  TIndexer& run_;
  Clock::time_point start_;
  std::string closing_status_;
  bool completed_ = false;
};

// Whatever way the Index command ends, no queued page or word of it stays behind.
class TIndexer::ClearsQueues final {
 public:
  explicit ClearsQueues(TIndexer& run) : run_(run) {}
  ~ClearsQueues() {
    run_.page_queue_.Clear();
    run_.word_list_.clear();
    run_.word_list_.shrink_to_fit();
  }
  ClearsQueues(const ClearsQueues&) = delete;
  ClearsQueues& operator=(const ClearsQueues&) = delete;

 private:
  TIndexer& run_;
};

void TIndexer::bbGoClick() {
  // Refused while a Find is running: it reads the tables the run would rewrite.
  if (Running() || context_.find_running) return;
  ClearsQueues clears(*this);
  ShowStatus("");
  page_queue_.Clear();
  LocationURL.Clear();
  timings_ = RunTimings{};

  if (!OpenCurrentLocation()) return;
  QueueStartPages();
  if (dialogs_.Confirm("Do you wish to index URL '" + base_address_ + "'?", kYesNo) != kButtonYes) {
    return;
  }
  const Clock::time_point run_start = Clock::now();
  if (!PrepareIndex()) return;

  ShowStatus("Preparing to index URL '" + base_address_ + "'");
  ActiveRun run(*this, run_start);
  try {
    CountAndQueue();
  } catch (const std::exception&) {
    dialogs_.Error("Cannot process indexing ...");
    run.EndEarly("Indexing not completed.");
    return;
  }
  if (!CheckConnection()) {
    run.EndEarly("Index not completed.");
    return;
  }

  word_list_.clear();
  const std::int64_t indexed_before = indexed_count_;  // pages of an index being continued
  try {
    IndexPages();
    timings_.pages = indexed_count_;
    FinishPages();
    ShowStatus("Done. Indexed " + std::to_string(indexed_count_) + " of " +
               std::to_string(page_total_) + " pages." +
               RunFigures(Clock::now() - run_start, timings_.pages - indexed_before));
  } catch (const std::exception&) {
    dialogs_.Error("Cannot process indexing ...");
    ShowStatus("Indexing not completed.");
  }
  RecordIndexEnd();
  run.Complete();
}

bool TIndexer::OpenCurrentLocation() {
  const int task_no = dm_.CurrentTaskNo();
  context_.CurrentLocationNumber = task_no;
  if (task_no == -1) {
    dialogs_.Error("No tasks to index.");
    return false;
  }
  if (!dm_.OpenLocation(dm_.LocationFolder(task_no))) {
    dialogs_.Error("Cannot open database.");
    return false;
  }
  return true;
}

void TIndexer::QueueStartPages() {
  start_address_ = SetBaseAddress(LocationURL, TTaskFields(dm_.tbTasks).TaskURL().AsString());
  base_address_ = LocationURL.GetURL();
  base_length_ = base_address_.size();
  page_queue_.Add("");
  if (start_address_ != base_address_ && start_address_.size() > base_length_ &&
      start_address_.compare(0, base_length_, base_address_) == 0) {
    page_queue_.Add(start_address_.substr(base_length_));
  }
}

bool TIndexer::PrepareIndex() {
  if (dm_.tbFiles.IsEmpty()) {
    RecordIndexStart(false);
    return true;
  }
  switch (dialogs_.Confirm("Index exists. Do you wish to overwrite it?", kYesNoCancel)) {
    case kButtonYes:
      RecordIndexStart(true);
      if (!ClearTable(dm_.tbFiles) || !ClearTable(dm_.tbWords1) || !ClearTable(dm_.tbWords2) ||
          !ClearTable(dm_.tbWords3)) {
        dialogs_.Error("Cannot clear database");
        ShowStatus("Index not completed.");
        return false;
      }
      return true;
    case kButtonNo: {
      // Continue with the delimiters the old pages were split at.
      TTaskFields task(dm_.tbTasks);
      context_.DelimiterChars = DelimitersFromText(task.SearchDelimiters().AsString());
      dm_.tbTasks.Edit();
      task.TimeStart().Clear();
      task.TimeEnd().Clear();
      dm_.tbTasks.Post();
      return true;
    }
    default:
      return false;
  }
}

void TIndexer::RecordIndexStart(bool clear_end) {
  TTaskFields task(dm_.tbTasks);
  dm_.tbTasks.Edit();
  task.Date().SetString(CurrentDateText());
  task.TimeStart().SetString(CurrentTimeText());
  if (clear_end) task.TimeEnd().Clear();
  task.Files().SetInteger(0);
  task.SearchDelimiters().SetString(DelimitersToText(context_.DelimiterChars));
  dm_.tbTasks.Post();
}

bool TIndexer::CheckConnection() {
  ShowStatus("Connecting '" + start_address_ + "' ...");
  for (;;) {
    try {
      if (!Head(start_address_)) return true;
    } catch (const std::exception& e) {
      // The status line also gives the reason (a refused certificate, say); the message box
      // keeps its own text.
      const std::string reason = e.what();
      ShowStatus("Cannot connect to '" + start_address_ + "'." +
                 (reason.empty() ? "" : " " + reason));
      dialogs_.Error("Cannot connect to '" + start_address_ + "'.");
      return false;
    }
    // Stop ended the check: end the run as the user confirms, else check again.
    if (CheckStop()) return false;
  }
}

void TIndexer::FinishPages() {
  TTable& files = dm_.tbFiles;
  files.SetIndexName("");
  files.Last();
  page_total_ = files.IsEmpty() ? 0 : TFileFields(files).FileNo().AsInteger();
  if (page_total_ == indexed_count_) {
    DeleteNotInformative();
    page_total_ = indexed_count_;
  }
}

void TIndexer::RecordIndexEnd() {
  TTable& tasks = dm_.tbTasks;
  TTaskFields task(tasks);
  try {
    tasks.Edit();
    task.TimeEnd().SetString(CurrentTimeText());
    task.Files().SetInteger(indexed_count_);
    tasks.Post();
  } catch (const std::exception&) {
    tasks.Cancel();
    dialogs_.Error("Cannot process indexing ...");
  }
}

void TIndexer::CountAndQueue() {
  TTable& files = dm_.tbFiles;
  TFileFields page(files);
  indexed_count_ = 0;
  files.SetIndexName("");
  files.First();
  if (files.IsEmpty()) {
    next_page_no_ = 1;
  } else {
    while (!files.Eof()) {
      if (page.FileState().AsInteger() >= 1) {
        ++indexed_count_;
      } else {
        page_queue_.Add(page.Address());
      }
      files.Next();
    }
    files.Last();
    next_page_no_ = static_cast<int>(page.FileNo().AsInteger()) + 1;
  }
  files.SetIndexName("I1");
}

void TIndexer::InsertPage(const std::string& relative) {
  TTable& files = dm_.tbFiles;
  TFileFields page(files);
  const TPageAddress address = SplitPageAddress(relative);
  files.Insert();
  page.FileNo().SetInteger(next_page_no_);
  page.F1().SetString(address.head);
  if (!address.tail.empty()) page.FileURLRest().SetString(address.tail);
  files.Post();
}

void TIndexer::IndexPages() {
  while (!page_queue_.Empty()) {
    view_.SetCounters(static_cast<int>(indexed_count_), static_cast<int>(page_queue_.Count()));
    if (CheckStop()) return;
    if (IndexOnePage() == PassEnd::kLeave) return;
  }
}

TIndexer::PassEnd TIndexer::IndexOnePage() {
  const std::string relative = page_queue_.TakeFirst();
  page_address_ = base_address_ + relative;

  // The pass is one transaction: it lands whole, or the page stays as it was (and so do the
  // page numbers it handed out).
  TTransaction pass(dm_.dbKiv);
  const int first_new_page_no = next_page_no_;

  if (!EnterPage(relative)) return PassEnd::kNext;
  if (const PassEnd end = FetchPage(relative, first_new_page_no); end != PassEnd::kGoOn) {
    return end;
  }
  if (CheckStop()) return PassEnd::kLeave;
  QueueNewLinks();
  if (CheckStop()) return PassEnd::kLeave;
  if (PageLimitReached()) return PassEnd::kLeave;
  if (!RecordWords()) return PassEnd::kLeave;
  if (CheckStop()) return PassEnd::kLeave;
  UpdatePageRecord(relative);
  pass.Commit();
  ++indexed_count_;
  return PassEnd::kNext;
}

bool TIndexer::EnterPage(const std::string& relative) {
  TTable& files = dm_.tbFiles;
  if (!FindPage(files, relative)) {
    InsertPage(relative);
    current_page_no_ = next_page_no_;
    ++next_page_no_;
    return true;
  }
  TFileFields page(files);
  if (page.FileState().AsInteger() == 1) return false;
  current_page_no_ = static_cast<int>(page.FileNo().AsInteger());
  return true;
}

TIndexer::PassEnd TIndexer::FetchPage(const std::string& relative, int first_new_page_no) {
  ShowStatus("Connecting '" + page_address_ + "' ...");
  PageURL.SetURL(page_address_);
  ResponseHeader.Clear();
  page_title_.clear();
  page_text_.clear();
  link_list_.Clear();
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
  return PassEnd::kGoOn;
}

void TIndexer::QueueNewLinks() {
  TTable& files = dm_.tbFiles;
  link_list_.ForEach([&](const std::string& link) {
    if (FindPage(files, link)) return;
    InsertPage(link);
    ++next_page_no_;
    page_queue_.Add(link);
  });
}

bool TIndexer::PageLimitReached() {
  if (next_page_no_ <= options_.max_pages) return false;
  dialogs_.Information("Indexing more then 1048576 files not supported.");
  ShowStatus("Indexing not completed.");
  return true;
}

bool TIndexer::RecordWords() {
  excerpt_.clear();
  if (page_text_.empty()) return true;
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
    return false;
  }
  word_list_.clear();
  excerpt_ = MakeExcerpt(page_text_);
  return true;
}

void TIndexer::UpdatePageRecord(const std::string& relative) {
  TTable& files = dm_.tbFiles;
  if (!FindPage(files, relative)) return;
  TFileFields page(files);
  files.Edit();
  page.FileHeader().SetString(ResponseHeader.GetHeaderText());
  page.FileTitle().SetString(page_title_);
  page.FileText().SetString(excerpt_);
  page.FileState().SetInteger(page_text_.empty() ? 2 : 1);
  files.Post();
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
    // A page still loading from before gets the same bound; then it is superseded.
    const auto wait = std::chrono::milliseconds(options_.browser_wait_ms);
    WaitForBrowser(Clock::now() + wait);
    if (stopped_) return;
    browser_.Navigate(page_address_);
    if (!WaitForBrowser(Clock::now() + wait)) {
      throw BrowserError("The page did not finish loading");
    }
    if (stopped_) return;
  }
  Timer timer(timings_.reading);
  ShowStatus("Processing '" + page_address_ + "' ...");
  // The links that lie inside the location, relative to its base address.
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
  page_title_ = browser_.DocumentTitle();
  page_text_ = browser_.CreateBodyTextRange()->Text();
}

void TIndexer::DeleteNotInformative() {
  ShowStatus("Deleting not informative files from index ...");
  TTable& files = dm_.tbFiles;
  TFileFields page(files);
  TTransaction cleanup(dm_.dbKiv);
  files.SetIndexName("");
  files.First();
  if (files.IsEmpty()) return;
  std::string previous = page.FileText().AsString();
  files.Next();
  while (!files.Eof()) {
    if (page.FileState().AsInteger() == 2) {
      files.Delete();
      --indexed_count_;
      if (files.IsEmpty()) break;
      continue;
    }
    const std::string excerpt = page.FileText().AsString();
    std::string trimmed = TrimExcerpt(excerpt, previous);
    if (trimmed.size() < excerpt.size()) {
      files.Edit();
      page.FileText().SetString(trimmed);
      files.Post();
    }
    previous = std::move(trimmed);
    files.Next();
  }
  cleanup.Commit();
}

}  // namespace vellumark
