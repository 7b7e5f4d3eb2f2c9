#include "search/search.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "store/page_list.h"
#include "store/query.h"
#include "store/records.h"
#include "store/schema.h"
#include "util/splitters.h"
#include "util/utf8.h"
#include "web/url.h"

namespace vellumark {

namespace {

// Samples are split into words at blanks and commas.
constexpr std::u32string_view kSampleSeparators = U" ,";

// The browser's busy state is polled at this interval while a page loads.
constexpr int kBusyPollMs = 100;
// Find in page waits at most this many polls for a result page still loading.
constexpr int kResultPageWaits = 50;

// Restores the search bar when a Find ends, however it ends.
class RunningScope {
 public:
  RunningScope(bool& running, ProgramContext& context, SearchView& view)
      : running_(running), context_(context), view_(view) {
    running_ = true;
    context_.find_running = true;
  }
  ~RunningScope() {
    running_ = false;
    context_.find_running = false;
    // An indexing run keeps the controls disabled; the index window enables them at its end.
    if (disabled_ && context_.indexing_state == kIndexingIdle) view_.SetFindEnabled(true);
  }
  void Disable() {
    if (disabled_) return;
    disabled_ = true;
    view_.SetFindEnabled(false);
  }

 private:
  bool& running_;
  ProgramContext& context_;
  SearchView& view_;
  bool disabled_ = false;
};

}  // namespace

bool AddToHistory(std::vector<std::string>& items, const std::string& sample) {
  if (sample.empty()) return false;
  if (std::find(items.begin(), items.end(), sample) != items.end()) return false;
  items.insert(items.begin(), sample);
  return true;
}

TSearch::TSearch(ProgramContext& context, TdmKiv& dm, Browser& browser, Dialogs& dialogs,
                 SearchView& view, StatusView& status)
    : context_(context),
      dm_(dm),
      browser_(browser),
      dialogs_(dialogs),
      view_(view),
      status_(status),
      find_in_page_(context, browser, dialogs, view) {}

void TSearch::bbNextClick() {
  if (running_ || context_.indexing_state > kIndexingIdle) return;
  if (result_page_pending_) {
    // Find hands the result page over without waiting for it to load; the first find in page
    // after it searches that page, so it waits here (bounded) for the load to end.
    result_page_pending_ = false;
    RunningScope scope(running_, context_, view_);
    try {
      for (int i = 0; i < kResultPageWaits && browser_.Busy(); ++i) {
        browser_.WaitWhileBusy(kBusyPollMs);
      }
    } catch (const BrowserError&) {
      // Find in page meets the browser's failure itself.
    }
  }
  find_in_page_.bbNextClick();
}

void TSearch::bbFindClick() {
  if (running_ || context_.indexing_state > kIndexingIdle || context_.archive_running) return;
  RunningScope scope(running_, context_, view_);
  entries_.clear();

  context_.FindActive = false;
  const std::string text = view_.SearchText();
  if (text.empty()) {
    dialogs_.Error("Enter search sample in the text field.");
    view_.FocusSearchText();
    return;
  }
  std::vector<std::string> history = view_.History();
  if (AddToHistory(history, text)) view_.SetHistory(history);

  mode_ = view_.SearchMode();
  sub_word_ = view_.SubWord();
  show_sample_ = view_.ShowSample();
  sample_ = text;
  words_.clear();
  switch (mode_) {
    case smAnyWords:
    case smAllWords: {
      std::vector<PositionedWord> split;
      if (!SplitWords(LowerAscii(text), kSampleSeparators, split)) {
        dialogs_.Error("Cannot recognize search text.");
        return;
      }
      for (auto& w : split) words_.push_back(std::move(w.text));
      break;
    }
    case smExactPhrase: {
      std::u32string delimiters;
      if (dm_.tbTasks.Active() && !dm_.tbTasks.IsEmpty()) {
        delimiters = CodePoints(TTaskFields(dm_.tbTasks).SearchDelimiters().AsString());
      }
      for (char32_t c : CodePoints(text)) {
        if (delimiters.find(c) != std::u32string::npos) {
          dialogs_.Error("Search sample contains search delimiters symbols.");
          return;
        }
      }
      words_.push_back(text);
      break;
    }
    default:
      dialogs_.Error("Error in search options.");
      return;
  }
  for (auto& w : words_) w = Utf8Truncate(w, kMaxWordLength);

  // From here on the search may let events run (the "Show" listing, the browser waits).
  scope.Disable();
  try {
    Find();
  } catch (const Exception& e) {
    // A failure the steps do not handle themselves (the table engine, the browser at the
    // hand-off): one message, and the Find ends.
    page_.Close();
    dialogs_.Error(e.what());
  }
}

void TSearch::Find() {
  context_.CurrentLocationNumber = dm_.CurrentTaskNo();
  if (context_.CurrentLocationNumber < 0) {
    dialogs_.Error("No tasks to search.");
    return;
  }
  TTaskFields task(dm_.tbTasks);
  if (task.TimeEnd().AsString().empty()) {
    dialogs_.Error("Index not created.");
    return;
  }
  const std::string task_url = task.TaskURL().AsString();
  if (!dm_.OpenLocation(dm_.LocationFolder(context_.CurrentLocationNumber))) {
    dialogs_.Error("Cannot open database.");
    return;
  }
  base_address_ = BaseAddressOf(task_url);

  if (!page_.Create(context_.program_folder + kResultFileName)) {
    dialogs_.Error("Cannot create output file.");
    return;
  }
  page_.WriteLine(kDocTypeLine);
  page_.WriteLine(kHtmlLine);
  if (context_.HeaderLines.empty()) {
    page_.WriteLine(kHeaderFallbackLine);
  } else {
    for (const auto& line : context_.HeaderLines) page_.WriteLine(line);
  }
  WriteResults(words_);
  page_.WriteLine(kBodyEndLine);
  page_.WriteLine(kHtmlEndLine);
  page_.Close();
  ShowResultPage();
}

bool TSearch::QueryWord(TScores& target, const std::string& word, std::uint8_t multiplier) {
  const std::size_t length = word.size();
  if (length == 0) return false;
  const TWordMatch match = mode_ == smExactPhrase ? TWordMatch::kExact
                           : sub_word_            ? TWordMatch::kInside
                                                  : TWordMatch::kPrefix;
  const std::string param = WordQueryParam(word, match);
  bool found = false;
  // A match is never shorter than the word, so tables of shorter words are skipped.
  const int first_table = length <= kMaxWordLength ? WordTableNumber(word) : kWordTableCount + 1;
  for (int table = first_table; table <= kWordTableCount; ++table) {
    try {
      // The sub-word form from the words kept in memory when they can answer it: the rows of
      // the words found, by key, are the rows the LIKE scan would yield, in the same order.
      if (match == TWordMatch::kInside &&
          word_lists_.WordsHolding(dm_.dbKiv, table, word, inside_words_)) {
        const std::string by_key = WordQuerySql(table, TWordMatch::kExact);
        for (std::string_view stored : inside_words_) {
          TPreparedQuery query(dm_.dbKiv, by_key);
          query.BindText(1, stored);
          while (query.Step()) {
            found = true;
            AddPageList(target, query.ColumnBytes(0), multiplier);
          }
        }
        continue;
      }
      TPreparedQuery query(dm_.dbKiv, WordQuerySql(table, match));
      query.BindText(1, param);
      while (query.Step()) {
        found = true;
        AddPageList(target, query.ColumnBytes(0), multiplier);
      }
    } catch (const EDatabaseError&) {
      // The pages added so far stay; the next table is still asked.
    }
  }
  return found;
}

void TSearch::AddPageList(TScores& target, std::string_view list, std::uint8_t multiplier) {
  TPageListDecoder decoder(list);
  TPosting posting;
  while (decoder.Next(posting)) {
    target.Add(posting.file_no, static_cast<std::int64_t>(posting.weight) * multiplier);
  }
}

void TSearch::WriteResults(const std::vector<std::string>& words) {
  std::int64_t count = 0;
  std::vector<TRankedPage> ranked;
  std::vector<PageRow> rows;
  {
    // The lookups and the page rows in one read transaction: one state of the index, and the
    // engine's locks taken once.
    TReadTransaction read(dm_.dbKiv);
    Score(words);
    count = static_cast<std::int64_t>(result_.Count());
    if (count <= kMaxListedMatches) {
      ranked = result_.Ranked();
      rows = ReadPageRows(ranked);
    }
  }
  result_.Clear();
  result1_.Clear();
  if (count <= kMaxListedMatches) {
    page_.WriteLine(SummaryLine(count));
    // About the size of an entry with an address, a title and a start text of 200 bytes.
    page_.Reserve(ranked.size() * 400);
    WriteEntries(ranked, rows, count);
  } else {
    page_.WriteLine(TooManyMatchesLine(count));
  }
}

void TSearch::Score(const std::vector<std::string>& words) {
  result_.Clear();
  result1_.Clear();
  // The multiplier is an 8-bit value: the word count is taken modulo 256.
  const std::size_t n = words.size();
  auto multiplier = [n](std::size_t i) { return static_cast<std::uint8_t>(n - i); };
  switch (mode_) {
    case smAnyWords:
      for (std::size_t i = 0; i < n; ++i) QueryWord(result_, words[i], multiplier(i));
      break;
    case smAllWords:
      if (n == 0 || !QueryWord(result_, words[0], multiplier(0))) break;
      // Once no page is left, later words cannot bring one back.
      for (std::size_t i = 1; i < n && result_.Count() > 0; ++i) {
        result1_.Clear();
        if (!QueryWord(result1_, words[i], multiplier(i))) {
          result_.Clear();  // no page holds every word
          break;
        }
        // Keep the pages that hold this word too, adding its score.
        result_.KeepCommon(result1_);
      }
      break;
    case smExactPhrase:
      if (n > 0) QueryWord(result_, words[0], 1);
      break;
    default:
      break;
  }
}

std::vector<TSearch::PageRow> TSearch::ReadPageRows(const std::vector<TRankedPage>& ranked) {
  std::vector<PageRow> rows(ranked.size());
  const std::string sql = kPageEntrySql;
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    TPreparedQuery files(dm_.dbKiv, sql);
    files.BindInteger(1, ranked[i].file_no);
    // A page missing from Files stays without a row.
    if (!files.Step()) continue;
    PageRow& row = rows[i];
    row.found = true;
    row.address.reserve(base_address_.size() + files.ColumnBytes(0).size() +
                        files.ColumnBytes(1).size());
    row.address = base_address_;
    row.address += files.ColumnBytes(0);
    row.address += files.ColumnBytes(1);
    row.title = files.ColumnBytes(2);
    row.start_text = files.ColumnBytes(3);
  }
  return rows;
}

void TSearch::WriteEntries(const std::vector<TRankedPage>& ranked, std::vector<PageRow>& rows,
                           std::int64_t count) {
  std::int64_t counter = 0;
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    const std::int64_t c = counter++;
    if (AsksToStop(c, show_sample_, mode_) &&
        dialogs_.Confirm(StopQuestion(c, count), kYesNo) == kButtonYes) {
      page_.WriteLine(InterruptedLine(c, count));
      return;
    }
    // A page missing from Files gets no entry; its number stays used.
    PageRow& row = rows[i];
    if (!row.found) continue;
    page_.WriteLine(LinkLine(counter, row.address, row.title));
    if (show_sample_) {
      entries_.push_back({counter, ranked[i].score, ranked[i].file_no, row.address, row.title});
      WriteSampleOfPage(row.address);
      continue;
    }
    entries_.push_back({counter, ranked[i].score, ranked[i].file_no, std::move(row.address),
                        std::move(row.title)});
    if (!row.start_text.empty()) {
      page_.WriteLine(StartedAsLine(row.start_text));
    } else {
      page_.WriteLine(kNoSampleLine);
    }
  }
}

void TSearch::WriteSampleOfPage(const std::string& address) {
  std::string text;
  try {
    browser_.Navigate(address);
    // A page that never finishes loading must not hold the listing; the next page supersedes it.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(page_wait_ms_);
    while (browser_.Busy()) {
      if (std::chrono::steady_clock::now() >= deadline) {
        throw BrowserError("The page did not finish loading");
      }
      browser_.WaitWhileBusy(kBusyPollMs);
      status_.ShowStatus("Opening '" + address + "' ...");
    }
    text = LowerAscii(browser_.CreateBodyTextRange()->Text());
  } catch (const BrowserError&) {
    page_.WriteLine(kDocumentNotFoundLine);
    return;
  }
  WriteTextSample(text);
}

void TSearch::WriteTextSample(const std::string& text) {
  auto anchor = SampleAnchor(text, mode_, words_, sample_);
  if (!anchor) return;
  page_.WriteLine(TextFoundLine(TextSample(text, *anchor)));
}

void TSearch::ShowResultPage() {
  // The browser loads the page on its own; nothing of the search waits for that, so the search
  // bar is free again at once. Find in page waits for it when it comes first (bbNextClick).
  browser_.SetVisible(true);
  browser_.Navigate("file://" + context_.program_folder + kResultFileName);
  result_page_pending_ = true;
}

}  // namespace vellumark
