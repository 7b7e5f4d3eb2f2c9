// What the page loop asks for a page: its final address, response header, title, links and
// text. Two loaders answer: the browser loader (the Browser seam, which runs the page's
// scripts) and the fast loader (an HTTP library and an HTML5 parser, no scripts).
//
// Loads run ahead of the loop: the loop starts the pages that stand next in its queue, then
// takes them one by one in queue order, so a page is recorded exactly as in a sequential run
// while the following ones are already on their way. A page started and not yet taken stays in
// the loader (a page whose turn is pushed back by a new queue head keeps its load) until it is
// taken or cancelled; taking a page that was not started starts it first.
//
// Everything runs on the user-interface thread: the waits pump events through the event pump,
// so Stop reaches the loop mid-wait. A loader owns its pages until Take hands one over; the
// seams it was built with are the caller's and must outlive it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellumark {

struct LoadedPage {
  std::string url;                 // the address asked for, as given to Start or Take
  std::string final_url;           // where redirects ended, in the normal form of the page's links
  int status = 0;                  // the last answer's status number; 0 when none arrived
  std::string header;              // response header lines for TURLHeader::ParseHeader, the lines a
                                   // HEAD request would give: an uncompressed body's length
  std::string content_type;        // the header's content type, lower case
  std::string title;               // empty unless the page is HTML
  std::vector<std::string> links;  // absolute, in document order, anchors kept
  std::string text;                // the body's rendered text, UTF-8
  std::string error;               // why the page could not be loaded; empty when it was
  bool robots_excluded = false;    // the site's robots.txt does not allow the page; not loaded
  bool truncated = false;          // the page was longer than the size cap and read in part
  // The text's words in word list order (SplitPageWords of the lower-cased text), when the
  // loader split them ahead; unset, the loop splits them.
  std::optional<std::vector<std::string>> words;
  std::chrono::steady_clock::duration read_time{};   // reading title, links and text from it
  std::chrono::steady_clock::duration words_time{};  // splitting `words` ahead
  bool read_ahead = false;  // both were spent on another thread, beside the loop's own work

  // The content type names HTML: only then are title, links and text read.
  bool IsHtml() const { return content_type.find("text/html") != std::string::npos; }
};

class PageLoader {
 public:
  virtual ~PageLoader() = default;

  // How many pages the loop should keep started beyond the one it waits for.
  virtual int LoadAhead() const = 0;

  // Begins loading `url` and returns at once. A page already started is left as it is.
  virtual void Start(const std::string& url) = 0;
  // True when `url` was started and is neither taken nor cancelled.
  virtual bool Started(const std::string& url) const = 0;

  // Waits for the page `url` (starting it when needed), pumping events, and hands it over;
  // the loader forgets it. Every page ends: loaded, failed, or past the loader's deadline per
  // page. `check_stop` is asked about every 100 ms while waiting (it may pump events and ask
  // the user); when it answers true the wait ends with nullopt and the page stays started.
  // A page cancelled during the wait (by an event handler) also ends it with nullopt.
  virtual std::optional<LoadedPage> Take(const std::string& url,
                                         const std::function<bool()>& check_stop) = 0;

  // Lets the loads in flight progress without waiting; the loop calls it between its own steps
  // (recording words, say) so that the network keeps moving.
  virtual void Pump() = 0;

  // Ends the load of `url` and forgets it; unknown addresses are ignored.
  virtual void Cancel(const std::string& url) = 0;
  // Ends every load in flight (their connections close) and forgets every page.
  virtual void CancelAll() = 0;
};

}  // namespace vellumark
