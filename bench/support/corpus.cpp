#include "support/corpus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

namespace vellumark {

Corpus::Corpus() : rng_(kCorpusSeed) {
  // Word lengths roughly as in running text, with a tail of long words for Words3.
  std::discrete_distribution<int> length({0,   3,   10,  14,  14,  13,  12,  10,  8,   6,
                                          4,   3,   2,   1,   1,   1,   1,   0.5, 0.5, 0.3,
                                          0.3, 0.2, 0.2, 0.2, 0.2, 0.1, 0.1, 0.1});
  std::uniform_int_distribution<int> letter('a', 'z');
  std::set<std::string> seen;
  while (static_cast<int>(words_.size()) < kCorpusVocabulary) {
    std::string w(length(rng_), ' ');
    for (char& c : w) c = static_cast<char>(letter(rng_));
    if (seen.insert(w).second) words_.push_back(w);
  }
  double sum = 0;
  for (int r = 1; r <= kCorpusVocabulary; ++r) cumulative_.push_back(sum += 1.0 / r);
  for (double& c : cumulative_) c /= sum;
}

std::vector<std::string> Corpus::NextPage(std::int64_t& text_length) {
  std::uniform_int_distribution<int> count(300, 3000);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<std::string> page(count(rng_));
  text_length = 0;
  for (auto& w : page) {
    auto it = std::lower_bound(cumulative_.begin(), cumulative_.end(), u(rng_));
    w = words_[std::min<std::size_t>(it - cumulative_.begin(), kCorpusVocabulary - 1)];
    text_length += static_cast<std::int64_t>(w.size()) + 1;
  }
  std::sort(page.begin(), page.end());
  return page;
}

std::vector<char*> TakeCorpusOptions(int argc, char** argv, int& pages, std::string& dir) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--pages=", 8) == 0) {
      pages = std::max(1, std::atoi(argv[i] + 8));
    } else if (std::strncmp(argv[i], "--dir=", 6) == 0) {
      dir = argv[i] + 6;
    } else {
      rest.push_back(argv[i]);
    }
  }
  return rest;
}

int RunBenchmarks(std::vector<char*> args) {
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace vellumark
