#include "indexer/delimiters.h"

#include <charconv>
#include <vector>

#include "util/inifile.h"
#include "util/utf8.h"

namespace vellumark {

bool ParseDelimiters(std::string_view spec, std::u32string& delimiters) {
  delimiters = U" \t\n\r";
  std::string text(spec);
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  std::u32string collected;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      ++pos;
    } else if (text[pos] == '\'') {
      // A quoted character: "'", one character (a whole UTF-8 sequence), "'".
      std::size_t next = pos + 1;
      if (next >= text.size()) return false;
      const char32_t c = NextCodePoint(text, next);
      if (next >= text.size() || text[next] != '\'') return false;
      collected += c;
      pos = next + 1;
    } else {
      std::size_t end = text.find(' ', pos);
      if (end == std::string::npos) end = text.size();
      long long value = 0;
      const char* first = text.data() + pos;
      const char* last = text.data() + end;
      if (*first == '+') ++first;
      const auto [ptr, ec] = std::from_chars(first, last, value);
      if (ec != std::errc() || ptr != last || first == last) return false;
      collected += static_cast<char32_t>(value & 0xFF);
      pos = end;
    }
  }
  if (collected.empty()) return false;
  for (char32_t c : collected) {
    if (delimiters.find(c) == std::u32string::npos) delimiters += c;
  }
  return true;
}

std::u32string LoadDelimiterChars(const TPIniFile& settings) {
  std::u32string delimiters;
  const std::string spec =
      settings.ReadString("Options", "SearchDelimiters", kDefaultDelimiterSpec);
  if (!ParseDelimiters(spec, delimiters)) ParseDelimiters(kDefaultDelimiterSpec, delimiters);
  return delimiters;
}

}  // namespace vellumark

namespace vellumark {

std::string DelimitersToText(std::u32string_view delimiters) {
  std::string text;
  for (char32_t c : delimiters) AppendUtf8(text, c);
  return text;
}

std::u32string DelimitersFromText(std::string_view text) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < text.size()) out += NextCodePoint(text, pos);
  return out;
}

}  // namespace vellumark
