#include "indexer/run_figures.h"

#include <gtest/gtest.h>

namespace vellumark {
namespace {

TEST(RunFigures, ElapsedTimeAndRate) {
  using std::chrono::milliseconds;
  struct Case {
    milliseconds elapsed;
    std::int64_t pages;
    const char* want;
  };
  const Case cases[] = {
      {milliseconds(0), 0, " 0:00 elapsed."},
      {milliseconds(12'500), 40, " 0:12 elapsed, 3.2 pages per second."},
      {milliseconds(65'000), 13, " 1:05 elapsed, 0.2 pages per second."},
      {milliseconds(3'723'000), 7446, " 1:02:03 elapsed, 2.0 pages per second."},
  };
  for (const Case& c : cases) EXPECT_EQ(RunFigures(c.elapsed, c.pages), c.want);
}

}  // namespace
}  // namespace vellumark
