#include "indexer/sorted_list.h"

#include <algorithm>
#include <string_view>
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
  // A page repeats its words many times: each distinct word is keyed and sorted once, and its
  // occurrences follow it.
  struct Distinct {
    std::string key;
    const std::string* word = nullptr;
    std::vector<std::size_t> positions;  // of its occurrences, in text order
  };
  std::unordered_map<std::string_view, std::size_t> index;
  std::vector<Distinct> distinct;
  for (std::size_t i = 0; i < words.size(); ++i) {
    auto [it, added] = index.emplace(words[i], distinct.size());
    if (added) distinct.push_back({collation.SortKey(words[i]), &words[i], {}});
    distinct[it->second].positions.push_back(i);
  }
  // Order by key; words of one key by their bytes, so that each distinct word stands in one run
  // ("École" and "école", "..." and "…" compare equal); a word's occurrences by descending
  // position, later ones in front.
  std::vector<const Distinct*> order;
  order.reserve(distinct.size());
  for (const Distinct& d : distinct) order.push_back(&d);
  std::sort(order.begin(), order.end(), [](const Distinct* a, const Distinct* b) {
    if (const int c = a->key.compare(b->key); c != 0) return c < 0;
    return *a->word < *b->word;
  });
  std::vector<std::string> sorted;
  sorted.reserve(words.size());
  for (const Distinct* d : order) {
    for (auto p = d->positions.rbegin(); p != d->positions.rend(); ++p) {
      sorted.push_back(std::move(words[*p]));
    }
  }
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
