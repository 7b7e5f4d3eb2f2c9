#include "indexer/page_text.h"

#include "indexer/sorted_list.h"
#include "util/splitters.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

constexpr std::size_t kMaxCommonPrefix = 256;
constexpr std::size_t kKeptAfterPrefix = 100;

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string LowerPageText(std::string_view text) { return LowerAscii(text); }

bool SplitPageWords(std::string_view text, std::u32string_view delimiters,
                    std::vector<std::string>& words, const TCollation& collation) {
  if (!SplitAtChars(text, delimiters, words)) return false;
  SortWordList(words, collation);
  return true;
}

std::string MakeExcerpt(std::string_view text) {
  std::string excerpt;
  bool blank = false;  // the last byte appended is a blank put in for white space
  std::size_t pos = 0;
  while (excerpt.size() < kExcerptLength && pos < text.size()) {
    if (IsWhiteSpace(text[pos])) {
      if (!blank) {
        excerpt += ' ';
        blank = true;
      }
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    NextCodePoint(text, pos);
    if (excerpt.size() + (pos - start) > kExcerptLength) break;  // keep whole sequences
    excerpt.append(text.substr(start, pos - start));
    blank = false;
  }
  return excerpt;
}

std::string TrimExcerpt(std::string_view excerpt, std::string_view previous) {
  std::size_t p = 1;
  while (p < kMaxCommonPrefix && p <= excerpt.size() && p <= previous.size() &&
         excerpt[p - 1] == previous[p - 1]) {
    ++p;
  }
  const std::size_t keep = p + kKeptAfterPrefix;
  if (excerpt.size() <= keep) return std::string(excerpt);
  return Utf8Truncate(excerpt, keep);
}

}  // namespace vellumark
