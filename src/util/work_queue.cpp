#include "util/work_queue.h"

#include <algorithm>

namespace vellumark {

WorkQueue::WorkQueue(int threads) {
  const int count = std::max(1, threads);
  threads_.reserve(count);
  for (int i = 0; i < count; ++i) {
    threads_.emplace_back([this](std::stop_token stop) { Run(stop); });
  }
}

WorkQueue::~WorkQueue() {
  DropPending();
  for (std::jthread& thread : threads_) thread.request_stop();
  // The jthreads join as the vector goes, before the mutex and the queue they use.
  threads_.clear();
}

void WorkQueue::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  ready_.notify_one();
}

void WorkQueue::DropPending() {
  std::deque<std::function<void()>> dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(tasks_);
}

void WorkQueue::Run(std::stop_token stop) {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      if (!ready_.wait(lock, stop, [this] { return !tasks_.empty(); })) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace vellumark
