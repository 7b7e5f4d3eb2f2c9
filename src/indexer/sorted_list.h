// The sorted string lists of an indexing run.
//
// TSortedList (page queue, link list): entries in collation order, duplicates ignored. An
// entry that compares equal to one already present (letter case aside) is dropped, so the
// first one added stays.
//
// SortWordList (a page's word list): the same order with duplicates kept. Entries that compare
// equal but differ in bytes are ordered by their bytes, so the occurrences of each distinct word
// stand next to each other; among equal entries a later one stands in front of an earlier one.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "indexer/collation.h"

namespace vellumark {

class TSortedList final {
 public:
  explicit TSortedList(const TCollation& collation = TCollation::Default())
      : collation_(&collation) {}

  // Adds `text` unless an equal entry is present; true when it was added.
  bool Add(std::string_view text);
  bool Contains(std::string_view text) const;
  void Clear() { entries_.clear(); }
  bool Empty() const { return entries_.empty(); }
  std::size_t Count() const { return entries_.size(); }

  // The first entry in order. REQUIRES: !Empty().
  const std::string& First() const { return entries_.begin()->second; }
  // Removes and returns the first entry. REQUIRES: !Empty().
  std::string TakeFirst();
  // The first `n` entries (all when fewer), in order.
  std::vector<std::string> FirstItems(std::size_t n) const;

  // The entries in order.
  std::vector<std::string> Items() const;
  template <typename F>
  void ForEach(F&& f) const {
    for (const auto& [key, text] : entries_) f(text);
  }

 private:
  const TCollation* collation_;
  std::map<std::string, std::string> entries_;  // sort key -> the entry as first added
};

// Orders `words` (in text order on entry) as the word list holds them.
void SortWordList(std::vector<std::string>& words,
                  const TCollation& collation = TCollation::Default());

}  // namespace vellumark
