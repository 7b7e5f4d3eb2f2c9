// Several HTTP GET requests in flight at once, over libcurl's multi interface, driven from the
// caller's waits on the one user-interface thread (no thread of its own: libcurl's host lookups
// are its only helpers). A request is queued by Start and runs when a place is free: at most
// `max_in_flight` run at once and at most `max_per_host` to one host (scheme, host and port),
// queued ones starting in the order they came. Connections are kept alive between requests to
// the same host; answers may be compressed (gzip, deflate, br, zstd) and are handed over
// decoded; redirects are followed; certificates must chain to the system's store or to an
// authority of `trusted_ca_file`.
//
// Each request has a deadline (`timeout_ms` from the moment it runs, the connection included)
// and a size cap: a body longer than `max_body_bytes` is cut there and the request ends at once
// with what it has, marked `truncated`. After the header of the last answer, the request's
// `read_body` test may decline the body; the request then ends without reading it.
//
// The fetcher owns its requests and their results until Take or Cancel. The event pump is the
// caller's and must outlive the fetcher. Not thread-safe: one thread calls every member, Wake
// excepted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_pump.h"

namespace vellumark {

struct FetchOptions {
  int max_in_flight = 4;   // requests running at once
  int max_per_host = 4;    // requests running at once to one scheme, host and port
  int timeout_ms = 60000;  // per request, from its start until its body has arrived
  int connect_timeout_ms = 30000;
  std::int64_t max_body_bytes = 16 << 20;  // decoded bytes kept of one body
  int max_redirects = 20;
  std::string trusted_ca_file;  // PEM authorities trusted besides the system's store; may be ""
  std::string proxy;            // proxy host; empty for a direct connection
  int proxy_port = 0;
  std::string user_agent = "Vellumark/1.0";
};

// What the `read_body` test of a request sees once the last answer's header has arrived.
struct FetchHead {
  int status = 0;
  const std::string& header;  // the raw header lines of the last answer, status line first
};

struct FetchResult {
  std::string url;         // as given to Start
  std::string final_url;   // where the redirects ended
  int status = 0;          // of the last answer; 0 when none arrived
  std::string header;      // the raw header lines of the last answer, status line first
  std::string body;        // decoded; empty when declined or on error
  bool body_read = false;  // the body was read to its end (or to the size cap)
  bool truncated = false;  // the body was cut at the size cap
  bool decoded = false;    // the answer had a content encoding, undone in `body`
  std::string error;       // empty when an answer arrived; else why none did
};

// The header lines an answer would have carried without compression: when `result.decoded`,
// the content-length and content-encoding lines give way to one content-length line with the
// decoded size (when the whole body was read; none otherwise). Otherwise the header as it came.
std::string IdentityHeader(const FetchResult& result);

class MultiFetcher final {
 public:
  using Id = std::uint64_t;
  using ReadBody = std::function<bool(const FetchHead&)>;

  // Throws Exception when libcurl cannot be set up.
  explicit MultiFetcher(EventPump& pump, FetchOptions options = {});
  ~MultiFetcher();
  MultiFetcher(const MultiFetcher&) = delete;
  MultiFetcher& operator=(const MultiFetcher&) = delete;

  const FetchOptions& Options() const { return options_; }

  // Queues a GET of `url` and returns at once; the request runs when a place is free. An empty
  // `read_body` reads every body.
  Id Start(const std::string& url, ReadBody read_body = {});
  // True once the request has ended (answered, failed or timed out).
  bool Done(Id id) const;
  // The result of an ended request, which is forgotten.
  // REQUIRES: Done(id).
  FetchResult Take(Id id);
  // Moves a queued request to the head of the queue, so that it runs at the next free place
  // (the page the caller waits for, ahead of those it asked for in advance).
  void Prioritize(Id id);
  // Ends a request, queued or running, and forgets it. Unknown ids are ignored.
  void Cancel(Id id);
  // Ends every request; their connections close.
  void CancelAll();

  // Lets running requests progress without waiting, and starts queued ones where places are
  // free.
  void Pump();
  // Pumps until `ready()` is true (true) or `stop()` is true (false), letting events run
  // between the steps; waits for network activity at most a few milliseconds at a time.
  bool WaitUntil(const std::function<bool()>& ready, const std::function<bool()>& stop);

  // Ends the network wait of a WaitUntil in progress at once, so that it asks `ready()` again
  // (another thread has finished something the waiter needs). Any thread may call it.
  void Wake();

  int Running() const { return running_; }
  int Queued() const { return static_cast<int>(queue_.size()); }
  // Connections opened so far (keep-alive makes this smaller than the number of requests).
  long ConnectionsOpened() const { return connections_opened_; }

 private:
  struct Request;
  void Launch(Request& request);
  void StartQueued();
  void Finish(Request& request, int code);
  void Remove(Request& request);

  EventPump& pump_;
  FetchOptions options_;
  void* multi_ = nullptr;    // CURLM*
  void* share_ = nullptr;    // CURLSH*: cookies, host lookups and TLS sessions
  void* headers_ = nullptr;  // curl_slist*: the request header lines every request sends
  Id next_id_ = 1;
  std::map<Id, std::unique_ptr<Request>> requests_;
  std::vector<Id> queue_;                // ids waiting for a place, oldest first
  std::map<std::string, int> per_host_;  // running requests per host key
  int running_ = 0;
  long connections_opened_ = 0;
};

}  // namespace vellumark
