// The scores of one search, kept in memory while it runs: for every page that a matched word
// names, its accumulated score. A page is held from its first posting on, even with score 0
// (a weight of 0 read from a list, or a multiplier that wrapped to 0), and counts as a match.
//
// Scores are kept in arrays indexed by page number, so adding a posting is one array access;
// the arrays grow to the highest page number seen (at most 1,048,576) and keep their memory
// for the next search. Clear takes time in the number of pages held, not in the array size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellumark {

// One page of a ranking.
struct TRankedPage {
  int file_no;
  std::int64_t score;
};

class TScores final {
 public:
  // Adds `score` to the page, holding it from now on. REQUIRES: file_no >= 1.
  void Add(int file_no, std::int64_t score) {
    if (static_cast<std::size_t>(file_no) >= held_.size()) Grow(file_no);
    if (!held_[file_no]) {
      held_[file_no] = 1;
      score_[file_no] = 0;
      pages_.push_back(file_no);
    }
    score_[file_no] += score;
  }
  bool Holds(int file_no) const {
    return file_no >= 0 && static_cast<std::size_t>(file_no) < held_.size() && held_[file_no];
  }
  // The number of pages held.
  std::size_t Count() const { return pages_.size(); }
  void Clear();
  // Keeps only the pages that `other` holds too, each with other's score added.
  void KeepCommon(const TScores& other);
  // The pages held, highest score first; equal scores in rising page number.
  std::vector<TRankedPage> Ranked() const;

 private:
  void Grow(int file_no);

  std::vector<std::int64_t> score_;  // by page number; valid where held_
  std::vector<std::uint8_t> held_;   // by page number: 1 when the page is held
  std::vector<int> pages_;           // the pages held, in the order they came
};

}  // namespace vellumark
