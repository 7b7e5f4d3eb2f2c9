// The browser the system drives: it shows result pages, loads the pages the indexer reads, and
// finds text in the page it shows. One browser exists per program run; the search bar owns it.
// Every member may throw BrowserError; each caller says how it handles that.
//
// Text ranges follow the classic document text-range model: a range covers a stretch of the
// rendered body text between two end points; ranges made from the same document can be
// compared and can take each other's end points.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/exception.h"

namespace vellumark {

class BrowserError : public Exception {
 public:
  using Exception::Exception;
};

class TextRange {
 public:
  virtual ~TextRange() = default;

  // The rendered text the range covers, markup removed.
  virtual std::string Text() = 0;

  // Moves one end of this range to an end of `other`. `how` is "StartToEnd" (this start to
  // the other's end), "EndToEnd" or "StartToStart" (also "EndToStart").
  virtual void SetEndPoint(const std::string& how, TextRange& other) = 0;

  // Searches forward inside the range, without regard to letter case. When found, the range
  // becomes the occurrence and the result is true; otherwise the range is unchanged.
  virtual bool findText(const std::string& text) = 0;

  // -1, 0 or 1 by the order of the chosen end points; `how` as for SetEndPoint.
  virtual int CompareEndPoints(const std::string& how, TextRange& other) = 0;

  virtual void select() = 0;
  virtual void scrollIntoView() = 0;
};

class Browser {
 public:
  virtual ~Browser() = default;

  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() = 0;

  // Starts loading `url` (a web address or "file://" + path) and returns at once.
  virtual void Navigate(const std::string& url) = 0;

  // True from Navigate until the load has finished and the document can be read.
  virtual bool Busy() = 0;

  // Waits while the browser is busy, pumping events, for at most `max_ms` milliseconds; ends
  // early when the load finishes.
  virtual void WaitWhileBusy(int max_ms) = 0;

  // The shown document.
  virtual std::string DocumentUrl() = 0;
  virtual std::string DocumentTitle() = 0;
  // Every link of the document as an absolute address, in document order.
  virtual std::vector<std::string> DocumentLinks() = 0;
  // A new text range over the whole rendered body.
  virtual std::unique_ptr<TextRange> CreateBodyTextRange() = 0;

  // The browser never shows a page's script dialogs (alert, confirm, prompt, the question
  // before leaving a page): it answers them itself, so that no page can hold a caller that
  // waits for it. The number answered since the browser was made; 0 for a browser that runs
  // no scripts.
  virtual int AnsweredDialogs() { return 0; }
};

// A browser with no window, for programs that only write result pages (the command-line tool,
// the benchmarks): it loads nothing, shows an empty document and has no body to read.
class NoBrowser final : public Browser {
 public:
  void SetVisible(bool) override {}
  bool Visible() override { return false; }
  void Navigate(const std::string&) override {}
  bool Busy() override { return false; }
  void WaitWhileBusy(int) override {}
  std::string DocumentUrl() override { return {}; }
  std::string DocumentTitle() override { return {}; }
  std::vector<std::string> DocumentLinks() override { return {}; }
  std::unique_ptr<TextRange> CreateBodyTextRange() override { throw BrowserError("No browser"); }
};

}  // namespace vellumark
