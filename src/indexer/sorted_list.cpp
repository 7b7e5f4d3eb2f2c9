#include "indexer/sorted_list.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace vellumark {

bool TSortedList::Add(std::string_view text) {
  return entries_.try_emplace(collation_->SortKey(text), text).second;
}

bool TSortedList::Contains(std::string_view text) const {
  return entries_.count(collation_->SortKey(text)) != 0;
}

std::string TSortedList::TakeFirst() {
  auto it = entries_.begin();
  std::string text = std::move(it->second);
  entries_.erase(it);
  return text;
}

std::vector<std::string> TSortedList::Items() const {
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const auto& [key, text] : entries_) out.push_back(text);
  return out;
}

void SortWordList(std::vector<std::string>& words, const TCollation& collation) {
  const std::size_t n = words.size();
  // A page repeats its words many times; each distinct word is keyed once.
  std::unordered_map<std::string, std::string> cache;
  std::vector<const std::string*> keys;
  keys.reserve(n);
  for (const std::string& w : words) {
    auto it = cache.find(w);
    if (it == cache.end()) it = cache.emplace(w, collation.SortKey(w)).first;
    keys.push_back(&it->second);
  }
  // Order by key; words of one key by their bytes, so that each distinct word stands in one run
  // ("École" and "école", "..." and "…" compare equal); a word's occurrences by descending
  // position, later ones in front.
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (const int c = keys[a]->compare(*keys[b]); c != 0) return c < 0;
    if (const int c = words[a].compare(words[b]); c != 0) return c < 0;
    return a > b;
  });
  std::vector<std::string> sorted;
  sorted.reserve(n);
  for (std::size_t i : order) sorted.push_back(std::move(words[i]));
  words = std::move(sorted);
}

std::vector<std::string> TSortedList::FirstItems(std::size_t n) const {
  std::vector<std::string> items;
  for (auto it = entries_.begin(); it != entries_.end() && items.size() < n; ++it) {
    items.push_back(it->second);
  }
  return items;
}

}  // namespace vellumark
