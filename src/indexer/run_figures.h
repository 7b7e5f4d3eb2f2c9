// The figures that close the status line of an indexing run: how long it took and how many
// pages it fetched per second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vellumark {

// " m:ss elapsed, r pages per second." (h:mm:ss from an hour on; the rate with one decimal, and
// left out for a run that took no measurable time). `pages` are the pages this run fetched.
std::string RunFigures(std::chrono::steady_clock::duration elapsed, std::int64_t pages);

}  // namespace vellumark
