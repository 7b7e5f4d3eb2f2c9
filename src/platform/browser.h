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

// What the indexer reads of a loaded document, in one call: where the load ended (after
// redirects and scripts), the title, every link as an absolute address in document order, and
// the rendered text of the body.
struct PageDocument {
  std::string url;
  std::string title;
  std::vector<std::string> links;
  std::string text;
};

// A page of the browser that nobody sees, for the indexer to load documents in, several at a
// time: it is never painted, and loads no images, media, fonts or plug-ins (a page's text and
// links do not depend on them). Script dialogs are answered and counted as for the shown page,
// and no page opens a window. Made by Browser::CreateLoaderPage; it must not outlive its browser.
class LoaderPage {
 public:
  virtual ~LoaderPage() = default;

  // Starts loading `url` and returns at once; a load in flight is abandoned. Throws
  // BrowserError for an address the browser cannot take.
  virtual void Load(const std::string& url) = 0;
  // Ends the load in flight, if any; the page is then ready for another Load.
  virtual void Stop() = 0;
  // True once the load started last has finished (loaded or failed), and before any Load.
  virtual bool Ready() = 0;
  // Waits, letting events run, until the page is ready or `max_ms` milliseconds have passed;
  // the wait ends as soon as the load finishes.
  virtual void WaitReady(int max_ms) = 0;
  // Reads the loaded document in one call. Throws BrowserError when the browser does not
  // answer within its bound or the document cannot be read.
  virtual PageDocument Read() = 0;
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

  // A new page to load documents in off screen, for the indexer; null when this browser can
  // only load in its shown page (the indexer then loads one page at a time through Navigate).
  // Dialogs answered in loader pages count in AnsweredDialogs.
  virtual std::unique_ptr<LoaderPage> CreateLoaderPage() { return nullptr; }
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
