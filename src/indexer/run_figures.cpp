#include "indexer/run_figures.h"

#include <cstdio>

namespace vellumark {

std::string RunFigures(std::chrono::steady_clock::duration elapsed, std::int64_t pages) {
  using std::chrono::duration_cast;
  const auto ms = duration_cast<std::chrono::milliseconds>(elapsed).count();
  const long long seconds = ms / 1000;
  char text[96];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, " %lld:%02lld:%02lld elapsed", seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, " %lld:%02lld elapsed", seconds / 60, seconds % 60);
  }
  std::string out = text;
  if (ms > 0) {
    std::snprintf(text, sizeof text, ", %.1f pages per second",
                  static_cast<double>(pages) * 1000.0 / static_cast<double>(ms));
    out += text;
  }
  return out + ".";
}

}  // namespace vellumark
