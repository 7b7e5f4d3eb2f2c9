// WorkQueue runs tasks on a few helper threads of its own, oldest task first. The threads start
// with the queue and are joined by its destructor, which drops the tasks not yet begun and
// waits for the ones running. A task touches only what it was given: whoever posts it arranges
// how its result comes back (a shared state the task fills, say), and keeps alive what the task
// uses until the queue is gone.
//
// Post may be called from any thread. A task must not throw.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vellumark {

class WorkQueue final {
 public:
  // `threads` below 1 counts as 1.
  explicit WorkQueue(int threads);
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  void Post(std::function<void()> task);
  // Drops the tasks not yet begun; the ones running finish.
  void DropPending();

 private:
  void Run(std::stop_token stop);

  std::mutex mutex_;
  std::condition_variable_any ready_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::jthread> threads_;  // last: they stop and join before the queue goes
};

}  // namespace vellumark
