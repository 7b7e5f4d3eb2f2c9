#include "util/work_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace vellumark {
namespace {

// Tasks queued behind a running one are dropped by DropPending and by the destructor, which
// waits for the running task to end rather than leaving it to touch freed state.
TEST(WorkQueueTest, DropsWaitingTasksAndWaitsForTheRunningOne) {
  std::atomic<int> ran = 0;
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::thread releaser;
  {
    WorkQueue queue(1);
    queue.Post([&] {
      started.set_value();
      released.wait();
      ++ran;
    });
    started.get_future().wait();
    queue.Post([&] { ++ran; });
    queue.DropPending();
    queue.Post([&] { ++ran; });
    releaser = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      release.set_value();
    });
  }
  releaser.join();
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace vellumark
