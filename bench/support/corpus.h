// The benchmarks' synthetic corpus, and the command-line options of the programs built on it.
//
// A vocabulary of 50,000 words drawn with a Zipf distribution, 300 to 3,000 words per page,
// from a fixed seed: every program that walks it gets the same pages in the same order.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vellumark {

inline constexpr int kCorpusVocabulary = 50000;
inline constexpr std::uint64_t kCorpusSeed = 20261208;

class Corpus {
 public:
  Corpus();

  // The next page's words, sorted with duplicates kept; `text_length` gets its length.
  std::vector<std::string> NextPage(std::int64_t& text_length);

  // The word of frequency rank r (0 = most frequent).
  const std::string& Word(int r) const { return words_[r]; }

 private:
  std::mt19937_64 rng_;
  std::vector<std::string> words_;
  std::vector<double> cumulative_;
};

// Takes --pages=N (at least 1) and --dir=PATH out of the command line into `pages` and `dir`;
// returns the other arguments, argv[0] first, for the benchmark library.
std::vector<char*> TakeCorpusOptions(int argc, char** argv, int& pages, std::string& dir);

// Runs the registered benchmarks with the arguments TakeCorpusOptions left; returns 0.
int RunBenchmarks(std::vector<char*> args);

}  // namespace vellumark
