// HostResolver runs the socket component's host lookups on one helper thread of its own,
// started at the first lookup and joined by the destructor. It holds at most one lookup
// running and one waiting: starting a lookup replaces the one still waiting, and the result
// of a lookup that was abandoned (by Abandon, or by starting another) is dropped. So lookups
// left behind by time-outs and cancels on a slow resolver cannot pile up; a new lookup waits
// at most for the one the thread is running.
//
// Owned by one TSocketClient and used from its thread only; the helper thread touches
// nothing but the resolver's own state. The destructor waits for a lookup in progress to
// return.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vellumark {

// Looks `name` up and returns 0 with the first IPv4 address (network byte order) in
// `*address`, or a Winsock error number (11001 when there is no such host). Runs on the
// helper thread.
using HostLookupFn = std::function<int(const std::string& name, std::uint32_t* address)>;

// The system's lookup: getaddrinfo for IPv4 stream addresses.
int SystemHostLookup(const std::string& name, std::uint32_t* address);

class HostResolver final {
 public:
  HostResolver() = default;
  ~HostResolver();
  HostResolver(const HostResolver&) = delete;
  HostResolver& operator=(const HostResolver&) = delete;

  // The lookup used from the next Start on; null means SystemHostLookup.
  void SetLookup(HostLookupFn lookup);

  // Starts looking `name` up; a lookup started before and not yet collected is abandoned.
  void Start(const std::string& name);

  // True once the lookup started last has finished, with its Winsock number (0 on success)
  // in `*error` and its address in `*address`. False while it runs, or when none was started.
  bool Poll(int* error, std::uint32_t* address);

  // Drops the lookup started last: its result will not be reported.
  void Abandon();

 private:
  void Run();  // the helper thread

  std::mutex mutex_;
  std::condition_variable wake_;  // a lookup waits, or the destructor stops the thread
  HostLookupFn lookup_ = SystemHostLookup;
  std::uint64_t wanted_ = 0;   // number of the lookup whose result is wanted, 0 for none
  std::uint64_t started_ = 0;  // number given to the lookup started last
  bool waiting_ = false;       // a lookup waits for the thread: waiting_name_, waiting_fn_
  std::string waiting_name_;
  HostLookupFn waiting_fn_;
  std::uint64_t finished_ = 0;  // number of the wanted lookup that finished last
  int error_ = 0;               // its Winsock number
  std::uint32_t address_ = 0;   // its address, network byte order
  bool stop_ = false;           // set by the destructor
  std::thread thread_;          // started by the first Start
};

}  // namespace vellumark
