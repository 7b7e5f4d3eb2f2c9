#include "indexer/delimiters.h"

#include "util/utf8.h"

namespace vellumark {

std::string DelimitersToText(std::u32string_view delimiters) {
  std::string text;
  for (char32_t c : delimiters) AppendUtf8(text, c);
  return text;
}

std::u32string DelimitersFromText(std::string_view text) { return CodePoints(text); }

}  // namespace vellumark
