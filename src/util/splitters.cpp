#include "util/splitters.h"

#include <bitset>

#include "util/utf8.h"

namespace vellumark {

namespace {

// A delimiter set with a table for the ASCII range, which page text mostly consists of.
class CodePointSet {
 public:
  explicit CodePointSet(std::u32string_view chars) {
    for (char32_t c : chars) {
      if (c < 128) {
        ascii_.set(c);
      } else {
        others_ += c;
      }
    }
  }
  bool Contains(char32_t c) const {
    return c < 128 ? ascii_.test(c) : others_.find(c) != std::u32string::npos;
  }

 private:
  std::bitset<128> ascii_;
  std::u32string others_;
};

// Calls `add(start, end)` with the byte range of each maximal run of characters not in `chars`.
template <typename Add>
void ForEachRun(std::string_view text, std::u32string_view chars, Add add) {
  const CodePointSet set(chars);
  std::size_t pos = 0;
  std::size_t run_start = std::string_view::npos;
  while (pos < text.size()) {
    const std::size_t here = pos;
    const char32_t c = static_cast<unsigned char>(text[pos]) < 0x80
                           ? static_cast<char32_t>(text[pos++])
                           : NextCodePoint(text, pos);
    if (set.Contains(c)) {
      if (run_start != std::string_view::npos) add(run_start, here);
      run_start = std::string_view::npos;
    } else if (run_start == std::string_view::npos) {
      run_start = here;
    }
  }
  if (run_start != std::string_view::npos) add(run_start, text.size());
}

}  // namespace

bool SplitWords(std::string_view text, std::u32string_view chars,
                std::vector<PositionedWord>& list) {
  list.clear();
  ForEachRun(text, chars, [&](std::size_t start, std::size_t end) {
    list.push_back({std::string(text.substr(start, end - start)), start + 1});
  });
  return !list.empty();
}

bool SplitAtChars(std::string_view text, std::u32string_view delimiters,
                  std::vector<std::string>& list) {
  list.clear();
  ForEachRun(text, delimiters, [&](std::size_t start, std::size_t end) {
    list.emplace_back(text.substr(start, end - start));
  });
  return !list.empty();
}

bool SplitQuoted(std::string_view text, char32_t delimiter, std::vector<std::string>& list) {
  list.clear();
  std::string item;
  bool quoted = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t here = pos;
    const char32_t c = NextCodePoint(text, pos);
    if (c == U'"') {
      quoted = !quoted;
    } else if (c == delimiter && !quoted) {
      list.push_back(std::move(item));
      item.clear();
    } else {
      item.append(text.substr(here, pos - here));
    }
  }
  if (!item.empty()) list.push_back(std::move(item));
  return !list.empty();
}

std::size_t LastPos(std::string_view pattern, std::string_view text, std::size_t limit) {
  if (pattern.empty() || text.empty()) return 0;
  const std::string_view head = text.substr(0, limit);
  if (pattern.size() > head.size()) return 0;
  const std::size_t at = head.rfind(pattern);
  return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace vellumark
