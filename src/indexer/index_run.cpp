#include "indexer/index_run.h"

#include <functional>

#include "indexer/collation.h"
#include "indexer/delimiters.h"
#include "indexer/fast_loader.h"
#include "indexer/page_text.h"
#include "indexer/run_figures.h"
#include "net/http_client.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/records.h"
#include "store/run_mark.h"
#include "store/table.h"
#include "store/word_store.h"

namespace vellumark {

namespace {

using Clock = std::chrono::steady_clock;

// CheckStop and the status line come on every this many + 1 links of a page.
constexpr int kLinksPerCheck = 50;

const char* const kCannotProcess =
    "Cannot process indexing. Please terminate all programs and start indexing again.";

// Where the client's last request ended, after its redirects, as an absolute address: a
// redirect to a bare path stays on the server of the exchange it answered.
std::string FinalAddress(const THttpClient& http) {
  const std::string& url = http.RequestURL;
  if (url.empty() || url[0] != '/') return url;
  std::string origin = std::string(http.Secure ? "https" : "http") + "://" + http.Host;
  if (http.Port != (http.Secure ? 443 : 80)) origin += ":" + std::to_string(http.Port);
  return origin + url;
}

// The status line of a response header without its line end ("HTTP/1.0 404 Not Found").
std::string StatusLine(const std::string& header) {
  return header.substr(0, header.find_first_of("\r\n"));
}

std::string Counted(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The page queue drops an address that equals a queued one but for letter case; records are
// found the same way, through the hash of the address's sort key.
std::uint64_t SortKeyHash(const std::string& relative) {
  return std::hash<std::string>{}(TCollation::Default().SortKey(relative));
}

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
  // Once the user confirmed, the run ends at its next check; asking again could resume it.
  if (context_.indexing_state != kIndexingStopping) {
    context_.indexing_state = kIndexingStopRequested;
  }
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
  known_pages_.clear();
  outcomes_.Clear();
  start_links_outside_ = 0;
  start_links_inside_ = 0;
  links_queued_ = 0;
  timings_ = RunTimings{};

  if (!OpenCurrentLocation()) return;
  QueueStartPages();
  if (dialogs_.Confirm("Do you wish to index URL '" + base_address_ + "'?", kYesNo) != kButtonYes) {
    return;
  }
  const Clock::time_point run_start = Clock::now();
  if (!PrepareIndex()) return;

  ShowStatus("Preparing to index URL '" + base_address_ + "'");
  // While the run adds pending postings, an open elsewhere (a search, another program) reads
  // the lists without merging them: the merge would hold the write lock the pages need.
  const TRunMark running(dm_.LocationFolder(context_.CurrentLocationNumber), TRunMark::Kind::kRun);
  ActiveRun run(*this, run_start);
  try {
    CountAndQueue();
    if (!CheckConnection()) {
      run.EndEarly("Index not completed.");
      return;
    }
  } catch (const std::exception&) {
    dialogs_.Error("Cannot process indexing ...");
    run.EndEarly("Indexing not completed.");
    return;
  }

  word_list_.clear();
  const std::int64_t indexed_before = indexed_count_;  // pages of an index being continued
  dialogs_before_ = browser_.AnsweredDialogs();
  try {
    IndexPages();
    // The run's postings go into the word lists once, here.
    dm_.MergePendingWords(&view_);
    timings_.pages = indexed_count_;
    FinishPages();
    ShowStatus(DoneStatus() +
               RunFigures(Clock::now() - run_start, timings_.pages - indexed_before));
    if (start_links_outside_ > 0 && start_links_inside_ == 0 && links_queued_ == 0) {
      dialogs_.Information("The start page has links, but none of them inside '" + base_address_ +
                           "'.");
    }
  } catch (const std::exception&) {
    // The pages indexed so far still reach the word lists, now or at the next open.
    try {
      dm_.MergePendingWords(&view_);
    } catch (const std::exception&) {
    }
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
  SetLocation(LocationAddressOf(TTaskFields(dm_.tbTasks).TaskURL().AsString()));
  QueueStartEntries();
}

void TIndexer::SetLocation(const LocationAddress& address) {
  start_address_ = address.start;
  base_address_ = address.base;
  base_length_ = base_address_.size();
  links_.SetBase(base_address_);
  start_relative_.clear();
  if (start_address_ != base_address_ && start_address_.size() > base_length_ &&
      start_address_.compare(0, base_length_, base_address_) == 0) {
    start_relative_ = start_address_.substr(base_length_);
  }
}

void TIndexer::QueueStartEntries() {
  page_queue_.Add("");
  if (!start_relative_.empty()) page_queue_.Add(start_relative_);
}

bool TIndexer::FollowRedirect(const std::string& final_address) {
  if (final_address.empty() || final_address == start_address_) return false;
  const LocationAddress moved = LocationAddressOf(final_address);
  if (moved.start.empty() || moved.base == base_address_) return false;
  ShowStatus("Redirected to '" + moved.start + "'");
  // The search builds its page addresses from the location's URL.
  TTable& tasks = dm_.tbTasks;
  tasks.Edit();
  TTaskFields(tasks).TaskURL().SetString(moved.start);
  tasks.Post();
  SetLocation(moved);
  if (loader_) loader_->CancelAll();
  page_queue_.Clear();
  known_pages_.clear();
  QueueStartEntries();
  return true;
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
      if (!Head(start_address_)) break;
    } catch (const std::exception& e) {
      return CannotConnect(e.what());
    }
    // Stop ended the check: end the run as the user confirms, else check again.
    if (CheckStop()) return false;
  }
  if (IsErrorStatus(StatusOfHeader(http_.Header))) {
    return CannotConnect("The server answered " + StatusLine(http_.Header) + ".");
  }
  if (may_move_location_) FollowRedirect(NormalAddress(FinalAddress(http_)));
  return true;
}

bool TIndexer::CannotConnect(const std::string& reason) {
  // The status line also gives the reason (a refused certificate, say); the message box keeps
  // its own text.
  ShowStatus("Cannot connect to '" + start_address_ + "'." + (reason.empty() ? "" : " " + reason));
  dialogs_.Error("Cannot connect to '" + start_address_ + "'.");
  return false;
}

void TIndexer::FinishPages() {
  TTable& files = dm_.tbFiles;
  files.SetIndexName("");
  // Records, not the highest page number: a clean-up leaves gaps in the numbers.
  page_total_ = files.RecordCount();
  if (EveryPageFetched()) {
    DeleteNotInformative();
    page_total_ = indexed_count_;
  }
}

bool TIndexer::EveryPageFetched() {
  TTable& files = dm_.tbFiles;
  TFileFields page(files);
  for (files.First(); !files.IsEmpty() && !files.Eof(); files.Next()) {
    if (page.FileState().AsInteger() < 1) return false;
  }
  return true;
}

std::string TIndexer::DoneStatus() const {
  std::string status = "Done. Indexed " + std::to_string(indexed_count_) + " of " +
                       std::to_string(page_total_) + " pages";
  if (const int missing = outcomes_.NotFound(); missing > 0) {
    status += ", " + Counted(missing, "page", "pages") + " not found";
  }
  if (const int excluded = outcomes_.Excluded(); excluded > 0) {
    status += ", " + Counted(excluded, "page", "pages") + " left out for robots.txt";
  }
  if (const int dialogs = browser_.AnsweredDialogs() - dialogs_before_; dialogs > 0) {
    status += ", " + Counted(dialogs, "script dialog", "script dialogs") + " suppressed";
  }
  return status + ".";
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
  may_move_location_ = files.IsEmpty();
  if (files.IsEmpty()) {
    next_page_no_ = 1;
  } else {
    while (!files.Eof()) {
      const std::string address = page.Address();
      if (page.FileState().AsInteger() >= 1) {
        ++indexed_count_;
      } else {
        page_queue_.Add(address);
      }
      RememberPage(address, static_cast<int>(page.FileNo().AsInteger()));
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
  RememberPage(relative, next_page_no_);
}

void TIndexer::RememberPage(const std::string& relative, int file_no) {
  known_pages_.emplace(SortKeyHash(relative), file_no);
}

bool TIndexer::FindPageRecord(const std::string& relative) {
  TTable& files = dm_.tbFiles;
  if (FindPage(files, relative)) return true;
  const auto [first, last] = known_pages_.equal_range(SortKeyHash(relative));
  if (first == last) return false;
  // Another spelling of the address has a record: the one made for the spelling found first.
  bool found = false;
  files.SetIndexName("");
  for (auto it = first; it != last && !found; ++it) {
    found = files.FindKey({std::to_string(it->second)}) &&
            TCollation::Default().Compare(TFileFields(files).Address(), relative) == 0;
  }
  files.SetIndexName("I1");
  return found;
}

double RunTimings::PagesPerSecond() const {
  const double seconds = std::chrono::duration<double>(total).count();
  return seconds > 0 ? static_cast<double>(pages) / seconds : 0;
}

std::unique_ptr<PageLoader> TIndexer::MakeLoader() {
  const LoaderSettings settings =
      context_.settings ? ReadLoaderSettings(*context_.settings, context_.CurrentLocationNumber)
                        : LoaderSettings{};
  // Robots.txt and the fast loader's pages go out with the client's certificates and proxy.
  FetchOptions fetch;
  fetch.trusted_ca_file = http_.TrustedCAFile;
  fetch.proxy = http_.Proxy;
  fetch.proxy_port = http_.ProxyPort;
  fetch.timeout_ms = options_.browser_wait_ms;
  if (options_.loader.value_or(settings.kind) == LoaderKind::kFast) {
    FastLoaderOptions fast;
    fast.fetch = fetch;
    fast.fetch.max_in_flight = std::max(1, settings.requests_in_flight);
    fast.fetch.max_per_host = fast.fetch.max_in_flight;
    fast.obey_robots = settings.obey_robots;
    fast.word_delimiters = context_.DelimiterChars;
    return std::make_unique<FastLoader>(http_.Pump(), std::move(fast));
  }
  BrowserLoaderOptions loads;
  loads.pages_in_flight =
      options_.pages_in_flight > 0 ? options_.pages_in_flight : IndexerOptions::kPagesInFlight;
  loads.wait_ms = options_.browser_wait_ms;
  loads.obey_robots = settings.obey_robots;
  loads.robots_fetch = fetch;
  return std::make_unique<BrowserLoader>(
      browser_, http_.Pump(), [this](const std::string& address) { return HeadFor(address); },
      std::move(loads));
}

HeadAnswer TIndexer::HeadFor(const std::string& address) {
  HeadAnswer answer;
  try {
    answer.aborted = Head(address);
    if (answer.aborted) return answer;
    answer.header = http_.Header;
    answer.final_url = FinalAddress(http_);
  } catch (const std::exception& e) {
    answer.error = e.what();
  }
  return answer;
}

void TIndexer::StartAhead() {
  for (const std::string& relative : page_queue_.FirstItems(loader_->LoadAhead())) {
    loader_->Start(base_address_ + relative);
  }
}

void TIndexer::IndexPages() {
  loader_ = MakeLoader();
  // However the loop ends, no load stays in flight.
  struct EndsLoads {
    std::unique_ptr<PageLoader>& loader;
    ~EndsLoads() {
      loader->CancelAll();
      loader.reset();
    }
  } ends_loads{loader_};
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

  if (!EnterPage(relative)) {
    loader_->Cancel(page_address_);
    return PassEnd::kNext;
  }
  if (const PassEnd end = FetchPage(first_new_page_no); end != PassEnd::kGoOn) {
    return end;
  }
  const bool start_page = relative == start_relative_;
  if (may_move_location_) {
    // Only the first page of a new index may move the location; the pass is rolled back.
    may_move_location_ = false;
    if (start_page && FollowRedirect(page_.final_url)) {
      next_page_no_ = first_new_page_no;
      return PassEnd::kNext;
    }
  }
  outcome_ = outcomes_.Judge(page_);
  if (CheckStop()) return PassEnd::kLeave;
  if (outcome_ == PageOutcome::kIndex) {
    CollectLinks(start_page);
    QueueNewLinks();
    // A new head of the queue loads while this page's words are recorded.
    StartAhead();
    loader_->Pump();
  }
  if (CheckStop()) return PassEnd::kLeave;
  if (PageLimitReached()) return PassEnd::kLeave;
  if (!RecordWords()) return PassEnd::kLeave;
  loader_->Pump();
  if (CheckStop()) return PassEnd::kLeave;
  UpdatePageRecord(relative);
  pass.Commit();
  if (!counted_) ++indexed_count_;
  return PassEnd::kNext;
}

bool TIndexer::EnterPage(const std::string& relative) {
  if (!FindPageRecord(relative)) {
    InsertPage(relative);
    current_page_no_ = next_page_no_;
    ++next_page_no_;
    counted_ = false;
    return true;
  }
  TFileFields page(dm_.tbFiles);
  const std::int64_t state = page.FileState().AsInteger();
  if (state == 1) return false;
  current_page_no_ = static_cast<int>(page.FileNo().AsInteger());
  counted_ = state >= 1;
  return true;
}

TIndexer::PassEnd TIndexer::FetchPage(int first_new_page_no) {
  ShowStatus("Connecting '" + page_address_ + "' ...");
  links_.SetPage(page_address_);
  ResponseHeader.Clear();
  page_ = LoadedPage{};
  page_.url = page_address_;
  link_list_.Clear();
  StartAhead();
  std::optional<LoadedPage> loaded;
  {
    const Clock::time_point start = Clock::now();
    const RunTimings::Duration head_before = timings_.head;
    // A page that never finishes loading ends at the loader's deadline; Stop ends the wait.
    loaded = loader_->Take(page_address_, [this] {
      ShowStatus("Opening '" + page_address_ + "' ...");
      return CheckStop();
    });
    const RunTimings::Duration read = loaded ? loaded->read_time : RunTimings::Duration{};
    // Reading done ahead on another thread took none of this wait.
    const bool ahead = loaded && loaded->read_ahead;
    timings_.load += Clock::now() - start - (timings_.head - head_before) -
                     (ahead ? RunTimings::Duration{} : read);
    timings_.reading += read;
    if (loaded) timings_.words += loaded->words_time;
    if (ahead) timings_.ahead += read + loaded->words_time;
  }
  if (!loaded) {
    // The user confirmed the stop: the pass is rolled back, and with it the page numbers.
    next_page_no_ = first_new_page_no;
    return PassEnd::kLeave;
  }
  page_ = std::move(*loaded);
  page_.url = page_address_;
  if (!page_.final_url.empty()) page_.final_url = NormalAddress(page_.final_url);
  if (!page_.header.empty()) ResponseHeader.ParseHeader(page_.header);
  if (!page_.error.empty()) {
    ShowStatus("Cannot open location '" + page_address_ + "'");
  } else if (page_.robots_excluded) {
    ShowStatus("Left out for robots.txt '" + page_address_ + "'");
  } else if (IsErrorStatus(page_.status)) {
    // The server's error page is not the page's content.
    ShowStatus("Not found '" + page_address_ + "' (" + StatusLine(page_.header) + ")");
  } else if (page_.IsHtml()) {
    ShowStatus("Processing '" + page_address_ + "' ...");
  }
  return PassEnd::kGoOn;
}

void TIndexer::CollectLinks(bool start_page) {
  Timer timer(timings_.reading);
  int counter = 0;
  std::string relative;
  for (const std::string& href : page_.links) {
    if (++counter > kLinksPerCheck) {
      if (CheckStop()) break;
      ShowStatus("Processing '" + page_address_ + "' ...");
      counter = 0;
    }
    switch (links_.Place(href, relative)) {
      case LinkPlace::kInside:
        link_list_.Add(relative);
        if (start_page) ++start_links_inside_;
        break;
      case LinkPlace::kOutside:
        if (start_page) ++start_links_outside_;
        break;
      case LinkPlace::kNoPage:
        break;
    }
  }
}

void TIndexer::QueueNewLinks() {
  link_list_.ForEach([&](const std::string& link) {
    if (FindPageRecord(link)) return;
    InsertPage(link);
    ++next_page_no_;
    page_queue_.Add(link);
    ++links_queued_;
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
  if (page_.text.empty() || outcome_ != PageOutcome::kIndex) return true;
  Timer timer(timings_.words);
  page_.text = LowerPageText(page_.text);
  try {
    bool any_words;
    if (page_.words) {  // split by the loader already
      word_list_ = std::move(*page_.words);
      any_words = !word_list_.empty();
    } else {
      any_words = SplitPageWords(page_.text, context_.DelimiterChars, word_list_);
    }
    if (any_words) {
      WordsProgress progress(*this);
      StoreWords(dm_, word_list_, current_page_no_, static_cast<std::int64_t>(page_.text.size()),
                 page_address_, progress);
    }
  } catch (const std::exception&) {
    dialogs_.Error(kCannotProcess);
    return false;
  }
  word_list_.clear();
  excerpt_ = MakeExcerpt(page_.text);
  return true;
}

void TIndexer::UpdatePageRecord(const std::string& relative) {
  TTable& files = dm_.tbFiles;
  if (!FindPageRecord(relative)) return;
  TFileFields page(files);
  files.Edit();
  page.FileHeader().SetString(ResponseHeader.GetHeaderText());
  page.FileTitle().SetString(page_.title);
  page.FileText().SetString(excerpt_);
  page.FileState().SetInteger(outcome_ == PageOutcome::kIndex && !page_.text.empty() ? 1 : 2);
  files.Post();
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
