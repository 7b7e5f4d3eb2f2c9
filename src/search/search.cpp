#include "search/search.h"

#include <algorithm>
#include <map>
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

// Pages added to a scratch table per statement.
constexpr std::size_t kScoreBatch = 500;

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
  find_in_page_.bbNextClick();
}

void TSearch::bbFindClick() {
  if (running_ || context_.indexing_state > kIndexingIdle) return;
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

bool TSearch::QueryWord(TTable& target, const std::string& word, std::uint8_t multiplier) {
  const std::size_t length = word.size();
  if (length == 0) return false;
  const TWordMatch match = mode_ == smExactPhrase ? TWordMatch::kExact
                           : sub_word_            ? TWordMatch::kInside
                                                  : TWordMatch::kPrefix;
  TQuery& query = dm_.quQuery;
  bool found = false;
  // A match is never shorter than the word, so tables of shorter words are skipped.
  const int first_table = length <= kMaxWordLength ? WordTableNumber(word) : kWordTableCount + 1;
  for (int table = first_table; table <= kWordTableCount; ++table) {
    try {
      query.Close();
      query.SetSQL(WordQuerySql(table, match));
      query.SetParam(1, WordQueryParam(word, match));
      query.Open();
      if (!query.Eof()) found = true;
      for (; !query.Eof(); query.Next()) AddPageList(target, multiplier);
    } catch (const EDatabaseError&) {
      // The pages added so far stay; the next table is still asked.
    }
  }
  query.Close();
  return found;
}

void TSearch::AddPageList(TTable& target, std::uint8_t multiplier) {
  // The list's scores are summed per page first (a list may name a page twice), then added to
  // the target in batches, one statement per batch instead of a lookup and a write per page.
  std::vector<std::pair<int, std::int64_t>> scores;
  {
    std::map<int, std::int64_t> sums;
    const std::string list = dm_.quQuery.Fields(0).AsBlob();
    TPageListDecoder decoder(list);
    TPosting posting;
    while (decoder.Next(posting)) {
      sums[posting.file_no] += static_cast<std::int64_t>(posting.weight) * multiplier;
    }
    scores.assign(sums.begin(), sums.end());
  }
  TQuery add(target.Database());
  for (std::size_t first = 0; first < scores.size(); first += kScoreBatch) {
    const std::size_t rows = std::min(kScoreBatch, scores.size() - first);
    std::string sql = "INSERT INTO " + target.TableName() + " (" + target.Fields(0).FieldName() +
                      ", " + target.Fields(1).FieldName() + ") VALUES (?, ?)";
    for (std::size_t i = 1; i < rows; ++i) sql += ", (?, ?)";
    sql += " ON CONFLICT DO UPDATE SET " + target.Fields(1).FieldName() + " = " +
           target.Fields(1).FieldName() + " + excluded." + target.Fields(1).FieldName();
    add.SetSQL(std::move(sql));
    for (std::size_t i = 0; i < rows; ++i) {
      add.SetParamInteger(static_cast<int>(2 * i + 1), scores[first + i].first);
      add.SetParamInteger(static_cast<int>(2 * i + 2), scores[first + i].second);
    }
    add.Open();
    add.Close();
  }
}

void TSearch::WriteResults(const std::vector<std::string>& words) {
  TTable& result = dm_.tbResult;
  TTable& result1 = dm_.tbResult1;
  result.SetIndexName("");
  if (!ClearTable(result)) {
    dialogs_.Error("Error. No access to Result table.");
    return;
  }
  // The multiplier is an 8-bit value: the word count is taken modulo 256.
  const std::size_t n = words.size();
  auto multiplier = [n](std::size_t i) { return static_cast<std::uint8_t>(n - i); };
  switch (mode_) {
    case smAnyWords:
      for (std::size_t i = 0; i < n; ++i) QueryWord(result, words[i], multiplier(i));
      break;
    case smAllWords:
      if (n == 0 || !QueryWord(result, words[0], multiplier(0))) break;
      for (std::size_t i = 1; i < n; ++i) {
        ClearTable(result1);
        if (!QueryWord(result1, words[i], multiplier(i))) {
          ClearTable(result);  // no page holds every word
          break;
        }
        // Keep the pages that hold this word too, adding its score.
        Intersect(result, result1);
      }
      ClearTable(result1);
      break;
    case smExactPhrase:
      if (n > 0) QueryWord(result, words[0], 1);
      break;
    default:
      break;
  }

  const std::int64_t count = result.RecordCount();
  if (count <= kMaxListedMatches) {
    page_.WriteLine(SummaryLine(count));
    WriteEntries(RankedResults(), count);
  } else {
    page_.WriteLine(TooManyMatchesLine(count));
  }
  result.SetIndexName("");
  ClearTable(result);
}

void TSearch::Intersect(TTable& result, TTable& result1) {
  // Two statements over the scratch tables, with the effect of walking Result and either
  // adding the Result1 score of its page or deleting the record.
  const std::string r = result.TableName(), r1 = result1.TableName();
  const std::string key = result.Fields(0).FieldName(), score = result.Fields(1).FieldName();
  result.Close();
  TDatabase& db = result.Database();
  db.Execute("UPDATE " + r + " SET " + score + " = " + score + " + (SELECT " + r1 + "." + score +
             " FROM " + r1 + " WHERE " + r1 + "." + key + " = " + r + "." + key + ") WHERE " + key +
             " IN (SELECT " + key + " FROM " + r1 + ");" + "DELETE FROM " + r + " WHERE " + key +
             " NOT IN (SELECT " + key + " FROM " + r1 + ")");
  result.Open();
}

std::vector<TSearch::Ranked> TSearch::RankedResults() {
  TTable& result = dm_.tbResult;
  std::vector<Ranked> ranked;
  result.SetIndexName("I1");
  result.Last();
  if (!result.IsEmpty()) {
    for (;;) {
      ranked.push_back(
          {static_cast<int>(result.Fields(0).AsInteger()), result.Fields(1).AsInteger()});
      result.Prior();
      if (result.Bof()) break;
    }
  }
  // Walking "I1" backwards gives equal scores in falling page order; list them rising.
  std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
    return a.score != b.score ? a.score > b.score : a.file_no < b.file_no;
  });
  return ranked;
}

void TSearch::WriteEntries(const std::vector<Ranked>& ranked, std::int64_t count) {
  TTable& files = dm_.tbFiles;
  TFileFields page(files);
  files.SetIndexName("");
  std::int64_t counter = 0;
  for (const Ranked& record : ranked) {
    const std::int64_t c = counter++;
    if (AsksToStop(c, show_sample_, mode_) &&
        dialogs_.Confirm(StopQuestion(c, count), kYesNo) == kButtonYes) {
      page_.WriteLine(InterruptedLine(c, count));
      return;
    }
    // A page missing from Files gets no entry; its number stays used.
    if (!files.FindKey({std::to_string(record.file_no)})) continue;
    const std::string address = base_address_ + page.Address();
    const std::string title = page.FileTitle().AsString();
    const std::string start_text = page.FileText().AsString();
    page_.WriteLine(LinkLine(counter, address, title));
    entries_.push_back({counter, record.score, record.file_no, address, title});
    if (show_sample_) {
      WriteSampleOfPage(address);
    } else if (!start_text.empty()) {
      page_.WriteLine(StartedAsLine(start_text));
    } else {
      page_.WriteLine(kNoSampleLine);
    }
  }
}

void TSearch::WriteSampleOfPage(const std::string& address) {
  std::string text;
  try {
    browser_.Navigate(address);
    while (browser_.Busy()) {
      browser_.WaitWhileBusy(100);
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
  browser_.SetVisible(true);
  browser_.Navigate("file://" + context_.program_folder + kResultFileName);
  while (browser_.Busy()) browser_.WaitWhileBusy(100);
}

}  // namespace vellumark
