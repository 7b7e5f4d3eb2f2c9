#include "search/scores.h"

#include <algorithm>

namespace vellumark {

void TScores::Grow(int file_no) {
  // Doubling keeps a list read in rising page order from growing at every posting.
  const std::size_t size = std::max<std::size_t>(file_no + 1, held_.size() * 2);
  held_.resize(size, 0);
  score_.resize(size, 0);
}

void TScores::Clear() {
  for (int page : pages_) held_[page] = 0;
  pages_.clear();
}

void TScores::KeepCommon(const TScores& other) {
  std::size_t kept = 0;
  for (int page : pages_) {
    if (other.Holds(page)) {
      score_[page] += other.score_[page];
      pages_[kept++] = page;
    } else {
      held_[page] = 0;
    }
  }
  pages_.resize(kept);
}

std::vector<TRankedPage> TScores::Ranked() const {
  std::vector<TRankedPage> ranked;
  ranked.reserve(pages_.size());
  for (int page : pages_) ranked.push_back({page, score_[page]});
  std::sort(ranked.begin(), ranked.end(), [](const TRankedPage& a, const TRankedPage& b) {
    return a.score != b.score ? a.score > b.score : a.file_no < b.file_no;
  });
  return ranked;
}

}  // namespace vellumark
