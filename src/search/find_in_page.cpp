#include "search/find_in_page.h"

#include "util/splitters.h"

namespace vellumark {

namespace {

constexpr std::u32string_view kSampleSeparators = U" ,";

}  // namespace

TFindInPage::TFindInPage(ProgramContext& context, Browser& browser, Dialogs& dialogs,
                         SearchView& view)
    : context_(context), browser_(browser), dialogs_(dialogs), view_(view) {}

void TFindInPage::ReleaseRanges() {
  find_range_.reset();
  document_range_.reset();
  context_.FindActive = false;
}

void TFindInPage::bbNextClick() {
  const std::string sample = view_.SearchText();
  if (sample.empty()) {
    dialogs_.Error("Enter search sample in the text field.");
    view_.FocusSearchText();
    return;
  }
  // The words as typed: the browser's search ignores letter case itself.
  std::vector<std::string> words;
  if (view_.SearchMode() == smExactPhrase) {
    words.push_back(sample);
  } else {
    std::vector<PositionedWord> split;
    if (!SplitWords(sample, kSampleSeparators, split)) {
      dialogs_.Error("Cannot recognize search text.");
      return;
    }
    for (auto& w : split) words.push_back(std::move(w.text));
  }

  bool found = false;
  try {
    if (browser_.Busy()) {
      context_.FindActive = false;
      dialogs_.Information("IE Browser busy.");
      return;
    }
    found = FindNext(words);
  } catch (const BrowserError&) {
    found = false;
  }
  if (!found) {
    context_.FindActive = false;
    dialogs_.Information("Text '" + sample + "' not found.");
  }
}

bool TFindInPage::FindNext(const std::vector<std::string>& words) {
  if (context_.FindActive && browser_.DocumentUrl() != find_document_url_) {
    context_.FindActive = false;
  }
  if (context_.FindActive) {
    // Go on after the last occurrence, up to the end of the body.
    try {
      find_range_->SetEndPoint("StartToEnd", *find_range_);
      find_range_->SetEndPoint("EndToEnd", *document_range_);
    } catch (const BrowserError&) {
      context_.FindActive = false;
    }
  }
  if (!context_.FindActive) {
    find_document_url_ = browser_.DocumentUrl();
    document_range_ = browser_.CreateBodyTextRange();
    find_range_ = browser_.CreateBodyTextRange();
    context_.FindActive = true;
  }

  // With several words, look for the one that occurs first in what is left; ties go to the
  // earlier word of the list.
  std::size_t best = 0;
  if (words.size() >= 2) {
    std::unique_ptr<TextRange> probe = browser_.CreateBodyTextRange();
    std::unique_ptr<TextRange> earliest = browser_.CreateBodyTextRange();
    earliest->SetEndPoint("StartToEnd", *probe);
    for (std::size_t i = 0; i < words.size(); ++i) {
      probe->SetEndPoint("StartToStart", *find_range_);
      probe->SetEndPoint("EndToEnd", *find_range_);
      if (probe->findText(words[i]) && probe->CompareEndPoints("StartToStart", *earliest) == -1) {
        best = i;
        earliest->SetEndPoint("StartToStart", *probe);
      }
    }
  }

  if (!find_range_->findText(words[best])) return false;
  find_range_->select();
  find_range_->scrollIntoView();
  browser_.SetVisible(true);
  return true;
}

}  // namespace vellumark
