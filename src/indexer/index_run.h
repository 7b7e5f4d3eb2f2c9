// The indexing run of the index window: bbGoClick builds or completes the index of the current
// location, the page loop IndexPages fetches the queued pages and follows their links inside
// the location, and the clean-up drops pages without text and trims repeated excerpts.
//
// The page loop takes its pages from a page loader (page_loader.h): the browser loader, or the
// fast loader when the run or the location chooses it. The pages that stand first in the queue
// are loading while the current one is read and its words recorded, but pages are numbered,
// recorded and their links queued one at a time in queue order, exactly as in a loop that
// loads one page after the other. bbStopClick and CheckStop end a run on the user's request;
// CanClose is the index window's close and Esc rule while a run is active.
//
// Addresses are compared in the browser's normal form (page_rules.h). When the start page of a
// new index redirects (seen by the connection check or by the browser on the first page), the
// location follows it: its URL becomes the final address and the base that address's
// directory. Pages answered with an error status, and pages already fetched in the run under
// another address, are recorded without text (page_rules.h decides).
//
// Everything runs on the user-interface thread. The run lets events through at every status
// text (the view's ShowStatus pumps them), while the HTTP client waits and while the browser
// loads, so Stop reaches it mid-run; re-entry is prevented by the program-wide indexing state.
//
// TIndexer owns the run's URL objects, header object, page queue and link list. The context,
// data module, dialogs, browser, HTTP client and view are the caller's and must
// outlive it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "indexer/browser_loader.h"
#include "indexer/loader_settings.h"
#include "indexer/page_loader.h"
#include "indexer/page_rules.h"
#include "indexer/sorted_list.h"
#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/view.h"
#include "store/page_list.h"
#include "util/context.h"
#include "web/url_header.h"

namespace vellumark {

class TdmKiv;
class THttpClient;

// What the run touches of the index window: its status line (which pumps events), the two
// counters "Progress" and "On line", and the button panel hidden during a run. The window's
// own view of its controls can derive from this one.
class IndexView : public StatusView {
 public:
  // lbIndexed and lbToIndex.
  virtual void SetCounters(int indexed, int queued) = 0;
  // pnButtons.
  virtual void SetButtonPanelVisible(bool visible) = 0;
};

struct IndexerOptions {
  // The page loop stops when the next page number would exceed this.
  int max_pages = kMaxPageNo;
  // How long one page may take to load in the browser before it counts as not opened.
  int browser_wait_ms = 60000;
  // The page loader of this run only; unset, the location's own choice in the settings file
  // (ReadLoaderSettings) holds.
  std::optional<LoaderKind> loader;
  // Pages the browser loader loads at once, the current one included; 0: kPagesInFlight.
  // On two cores three pay best, on a quiet machine and under heavy load from other programs
  // alike: while one page's renderer waits, another's has work.
  int pages_in_flight = 0;
  static constexpr int kPagesInFlight = 3;
};

// Where a run's time went, summed over its pages.
struct RunTimings {
  using Duration = std::chrono::steady_clock::duration;
  Duration head{};         // HEAD requests, the connection check included
  Duration load{};         // the waits for the page loader, beyond HEAD requests and reading
  Duration reading{};      // reading links, title and body text, and placing the links
  Duration words{};        // lower-casing, splitting, StoreWords and the excerpt
  Duration ahead{};        // of reading and words, the part done on the loader's own threads
  Duration total{};        // the whole run from the URL question's answer to its end
  std::int64_t pages = 0;  // pages fetched (indexed count at the end of the loop)

  // Pages fetched per second of the whole run; 0 for a run of no measurable time.
  double PagesPerSecond() const;
};

class TIndexer final {
 public:
  // `set_find_enabled` enables or disables the search bar's Find, Next and sample box (may be
  // empty when there is no search bar).
  TIndexer(ProgramContext& context, TdmKiv& dm, Dialogs& dialogs, Browser& browser,
           THttpClient& http, IndexView& view, std::function<void(bool)> set_find_enabled = {},
           IndexerOptions options = {});
  TIndexer(const TIndexer&) = delete;
  TIndexer& operator=(const TIndexer&) = delete;

  // The "Index" button: the run on the current Tasks record.
  void bbGoClick();
  // The "Stop" button: while a run is active, requests the stop (and ends an HTTP request in
  // flight); otherwise nothing. A stop the user has confirmed stays confirmed.
  void bbStopClick();
  // True when the run must end. A requested stop asks "Do you wish to stop index process?".
  bool CheckStop();
  // The index window's close and Esc rule: true when the window may close.
  bool CanClose();

  void BeginRun();
  void EndRun();
  // The page loop over the page queue.
  void IndexPages();
  // Deletes the fetched pages without text (but the first) and trims repeated excerpts.
  void DeleteNotInformative();

  bool Running() const { return context_.indexing_state > kIndexingIdle; }
  std::int64_t IndexedCount() const { return indexed_count_; }
  std::int64_t PageTotal() const { return page_total_; }
  const std::string& BaseAddress() const { return base_address_; }
  const std::string& StartAddress() const { return start_address_; }
  const TSortedList& PageQueue() const { return page_queue_; }
  const RunTimings& Timings() const { return timings_; }
  IndexerOptions& Options() { return options_; }

 private:
  class WordsProgress;
  class ActiveRun;
  class ClearsQueues;
  // How a step of a pass through the page loop ends: the pass goes on with the page, goes on
  // with the next page, or the loop ends.
  enum class PassEnd { kGoOn, kNext, kLeave };

  void ShowStatus(const std::string& text) { view_.ShowStatus(text); }

  // --- the steps of bbGoClick ---

  // Makes the current Tasks record the location of the run and opens its tables. False (after
  // the message) when there is no location or its tables cannot be opened.
  bool OpenCurrentLocation();
  // The start and base addresses from the location's URL, and the first pages queued: the base
  // address itself and the start address when it lies below it.
  void QueueStartPages();
  void SetLocation(const LocationAddress& address);
  void QueueStartEntries();
  // Moves the location to the start page's final address when that lies in another folder: the
  // status line says so, the location's URL becomes that address and the queue starts again
  // from it. True when it moved.
  bool FollowRedirect(const std::string& final_address);
  // Readies the location's record for the run: a location without pages starts a new index; an
  // existing index is overwritten (emptied) or continued, as the user answers. False when the
  // run does not start: the user cancelled, or the tables could not be emptied (then the
  // messages were shown).
  bool PrepareIndex();
  // The date, start time, page count 0 and delimiters of a new index in the Tasks record;
  // `clear_end` also clears the end time of the index it replaces.
  void RecordIndexStart(bool clear_end);
  // Counts the indexed pages, queues the known ones not fetched, finds the next page number.
  void CountAndQueue();
  // The connection check, a HEAD request for the start address, which a new index follows when
  // it redirects. False when the run must end: the address cannot be reached or answers with
  // an error status (the messages were shown), or Stop ended the check and the user confirmed.
  bool CheckConnection();
  bool CannotConnect(const std::string& reason);
  // After the page loop: the number of pages known, and when every known page was fetched, the
  // clean-up (DeleteNotInformative).
  void FinishPages();
  // True when no record of Files is left without a state.
  bool EveryPageFetched();
  // "Done. Indexed N of M pages", with the pages not found and the script dialogs of the run.
  std::string DoneStatus() const;
  // The end time and the page count in the Tasks record.
  void RecordIndexEnd();

  // --- the steps of one pass through the page loop ---

  // One pass: the next queued page fetched, its links queued and its words recorded.
  PassEnd IndexOnePage();
  // Finds or creates the record of `relative` and makes its number the current page's. False
  // when the page was fetched already.
  bool EnterPage(const std::string& relative);
  // Inserts the record of `relative` under the next page number (not counted up here).
  void InsertPage(const std::string& relative);
  // Positions Files on the record of `relative`, or of the address the run knows that equals
  // it but for letter case (the page queue's comparison); false when there is none.
  bool FindPageRecord(const std::string& relative);
  void RememberPage(const std::string& relative, int file_no);
  // The page from the loader: its header, title, text and links. A page that cannot be opened
  // says so in the status line and goes on empty. When the user confirms a stop during the
  // wait the loop ends and the page numbers handed out since `first_new_page_no` are given back.
  PassEnd FetchPage(int first_new_page_no);
  // The loader the run uses: the run's own choice, else the location's.
  std::unique_ptr<PageLoader> MakeLoader();
  // Starts the pages that stand first in the queue, for the loader to load ahead.
  void StartAhead();
  // The HEAD request of a page for the browser loader.
  HeadAnswer HeadFor(const std::string& address);
  // The page's links inside the location into the link list; for the start page, counts where
  // its links lead.
  void CollectLinks(bool start_page);
  // Gives each new link of the page a record and a place in the queue.
  void QueueNewLinks();
  // True (after the message) when the next page number would pass the limit.
  bool PageLimitReached();
  // Splits the page's text into words, records them and makes the excerpt. False (after the
  // message) when the words could not be recorded.
  bool RecordWords();
  // The page's header, title, excerpt and state in its record.
  void UpdatePageRecord(const std::string& relative);
  // Runs the HEAD request so that Stop can end it; true when Stop ended it.
  bool Head(const std::string& address);

  ProgramContext& context_;
  TdmKiv& dm_;
  Dialogs& dialogs_;
  Browser& browser_;
  THttpClient& http_;
  IndexView& view_;
  std::function<void(bool)> set_find_enabled_;
  IndexerOptions options_;

  LocationLinks links_;  // the base address; the page the links stand on
  TURLHeader ResponseHeader;
  TSortedList page_queue_;  // relative addresses still to fetch
  TSortedList link_list_;   // relative addresses found on the current page
  std::vector<std::string> word_list_;

  std::string start_address_;
  std::string base_address_;
  std::size_t base_length_ = 0;
  std::string start_relative_;  // the start page's relative address ("" for the base itself)
  std::int64_t indexed_count_ = 0;
  int next_page_no_ = 1;
  int current_page_no_ = 0;
  std::int64_t page_total_ = 0;
  std::string page_address_;
  LoadedPage page_;  // what the fetch brought of the current page
  PageOutcome outcome_ = PageOutcome::kIndex;
  bool counted_ = false;  // the current page is in the indexed count already (state 2 before)
  std::string excerpt_;

  // Sort-key hash of every relative address with a record (numbers of records made in passes
  // that were rolled back may linger; a lookup checks the record).
  std::unordered_multimap<std::uint64_t, int> known_pages_;
  PageOutcomes outcomes_;
  bool may_move_location_ = false;  // a new index whose first page is still to come
  int start_links_outside_ = 0;     // web links of the start page outside the location
  int start_links_inside_ = 0;      // links of the start page to further pages inside
  std::int64_t links_queued_ = 0;   // pages found through links in this run
  int dialogs_before_ = 0;          // the browser's answered script dialogs at the run's start

  bool head_in_flight_ = false;         // a HEAD request is waiting; Stop aborts it
  bool head_aborted_ = false;           // the last HEAD request was ended by Stop
  std::unique_ptr<PageLoader> loader_;  // during the page loop
  RunTimings timings_;
};

}  // namespace vellumark
