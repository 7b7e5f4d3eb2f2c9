#include "indexer/sorted_list.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
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

namespace {

// The sort keys of the words a thread has met, for one collation: a site's pages share most
// of their words, and a key costs far more to make than to look up. Forgotten when it grows
// past kMaxRemembered words (between pages, never while one is sorted).
class RememberedKeys final {
 public:
  static RememberedKeys& ForThread(const TCollation& collation) {
    thread_local RememberedKeys keys;
    if (keys.serial_ != collation.Serial() || keys.keys_.size() > kMaxRemembered) {
      keys.keys_.clear();
      keys.serial_ = collation.Serial();
    }
    return keys;
  }

  const std::string& Key(const TCollation& collation, std::string_view word) {
    auto it = keys_.find(word);
    if (it == keys_.end()) it = keys_.emplace(std::string(word), collation.SortKey(word)).first;
    return it->second;
  }

 private:
  static constexpr std::size_t kMaxRemembered = 100000;
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::uint64_t serial_ = 0;
  std::unordered_map<std::string, std::string, Hash, std::equal_to<>> keys_;
};

}  // namespace

void SortWordList(std::vector<std::string>& words, const TCollation& collation) {
  // A page repeats its words many times: each distinct word is keyed and sorted once, and its
  // occurrences are then placed after it.
  RememberedKeys& keys = RememberedKeys::ForThread(collation);
  // The distinct words, found through an open-addressing table of (hash, word) slots: far
  // fewer cache misses than a node-based map, and a page repeats its words many times.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, words.size() * 2));
  const std::size_t mask = capacity - 1;
  std::vector<std::uint64_t> slots(capacity, 0);     // hash's high half, distinct word + 1
  std::vector<std::uint32_t> word_of(words.size());  // each occurrence's distinct word
  std::vector<const std::string*> first;             // each distinct word's first occurrence
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::size_t hash = std::hash<std::string_view>{}(words[i]);
    const std::uint64_t tag = static_cast<std::uint64_t>(hash) & 0xFFFFFFFF00000000u;
    for (std::size_t pos = hash & mask;; pos = (pos + 1) & mask) {
      const std::uint64_t slot = slots[pos];
      if (slot == 0) {
        slots[pos] = tag | (first.size() + 1);
        word_of[i] = static_cast<std::uint32_t>(first.size());
        first.push_back(&words[i]);
        break;
      }
      const auto d = static_cast<std::uint32_t>((slot & 0xFFFFFFFFu) - 1);
      if ((slot & 0xFFFFFFFF00000000u) == tag && *first[d] == words[i]) {
        word_of[i] = d;
        break;
      }
    }
  }
  std::vector<const std::string*> key(first.size());
  for (std::size_t d = 0; d < first.size(); ++d) key[d] = &keys.Key(collation, *first[d]);
  // Order by key; words of one key by their bytes, so that each distinct word stands in one run
  // ("École" and "école", "..." and "…" compare equal).
  std::vector<std::uint32_t> order(first.size());
  for (std::uint32_t d = 0; d < order.size(); ++d) order[d] = d;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (const int c = key[a]->compare(*key[b]); c != 0) return c < 0;
    return *first[a] < *first[b];
  });
  // Where each distinct word's run begins; its occurrences fill it by descending position,
  // later ones in front.
  std::vector<std::uint32_t> next(first.size(), 0);
  for (const std::uint32_t d : word_of) ++next[d];
  std::uint32_t offset = 0;
  for (const std::uint32_t d : order) {
    const std::uint32_t count = next[d];
    next[d] = offset;
    offset += count;
  }
  std::vector<std::string> sorted(words.size());
  for (std::size_t i = words.size(); i-- > 0;) sorted[next[word_of[i]]++] = std::move(words[i]);
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
