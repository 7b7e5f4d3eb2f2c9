// The indexer's text work per page: lower-casing, splitting at the delimiters, ordering the
// word list by the locale collation, and the excerpt; with a byte-order sort of the same words
// as the baseline of what the collation costs. Also the page queue: adding a site's relative
// addresses to the collation-ordered list.
//
// The page text is synthetic (fixed seed): 1,200 words, about 7 KB, drawn with a Zipf
// distribution from a vocabulary of 6,000 words, like a documentation page.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "indexer/page_text.h"
#include "indexer/sorted_list.h"
#include "util/splitters.h"

namespace vellumark {
namespace {

constexpr std::uint64_t kSeed = 20261208;
const std::u32string kDelimiters = U" \t\n\r,;";

std::vector<std::string> Vocabulary() {
  std::mt19937_64 rng(kSeed);
  std::normal_distribution<double> length(6, 2.5);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::vector<std::string> words;
  for (int i = 0; i < 6000; ++i) {
    const int n = std::clamp(static_cast<int>(length(rng)), 2, 14);
    std::string w;
    for (int k = 0; k < n; ++k) w += static_cast<char>(letter(rng));
    words.push_back(w);
  }
  return words;
}

std::string PageText() {
  const std::vector<std::string> vocab = Vocabulary();
  std::vector<double> weights;
  for (std::size_t i = 0; i < vocab.size(); ++i) weights.push_back(1.0 / (i + 1));
  std::mt19937_64 rng(kSeed + 1);
  std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
  std::string text;
  for (int i = 0; i < 1200; ++i) {
    std::string w = vocab[pick(rng)];
    if (i % 17 == 0) w[0] = static_cast<char>(w[0] - 32);  // some capitals
    text += w;
    text += (i % 80 == 79) ? "\n\n" : (i % 9 == 8 ? ", " : " ");
  }
  return text;
}

void BM_PageWords(benchmark::State& state) {
  const std::string text = PageText();
  std::vector<std::string> words;
  for (auto _ : state) {
    const std::string lower = LowerPageText(text);
    SplitPageWords(lower, kDelimiters, words);
    benchmark::DoNotOptimize(MakeExcerpt(lower));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(text.size()) + " bytes, " + std::to_string(words.size()) +
                 " words");
}
BENCHMARK(BM_PageWords);

// Baseline: the same work with a byte-order sort instead of the collation.
void BM_PageWordsByteOrder(benchmark::State& state) {
  const std::string text = PageText();
  std::vector<std::string> words;
  for (auto _ : state) {
    const std::string lower = LowerPageText(text);
    SplitAtChars(lower, kDelimiters, words);
    std::stable_sort(words.begin(), words.end());
    benchmark::DoNotOptimize(MakeExcerpt(lower));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PageWordsByteOrder);

void BM_PageQueue(benchmark::State& state) {
  std::vector<std::string> addresses;
  for (int s = 0; s < 20; ++s) {
    for (int p = 0; p < 50; ++p) {
      addresses.push_back("sec" + std::to_string(s) + "/page" + std::to_string(p) + ".html");
    }
  }
  for (auto _ : state) {
    TSortedList queue;
    for (const auto& a : addresses) queue.Add(a);
    while (!queue.Empty()) benchmark::DoNotOptimize(queue.TakeFirst());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(addresses.size()));
}
BENCHMARK(BM_PageQueue);

}  // namespace
}  // namespace vellumark

BENCHMARK_MAIN();
