#include "util/delimiter_text.h"

#include "util/inifile.h"
#include "util/settings_names.h"
#include "util/utf8.h"

namespace vellumark {
namespace {

constexpr char32_t kFixed[] = {U' ', U'\t', U'\n', U'\r'};

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r'; }

// A decimal integer with an optional sign that fits in 32 bits.
bool ToInteger(const std::u32string& token, long long& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == U'+' || token[i] == U'-')) negative = token[i++] == U'-';
  if (i == token.size()) return false;
  long long v = 0;
  for (; i < token.size(); ++i) {
    if (token[i] < U'0' || token[i] > U'9') return false;
    v = v * 10 + (token[i] - U'0');
    if (v > 2147483648LL) return false;
  }
  value = negative ? -v : v;
  return value >= -2147483648LL && value <= 2147483647LL;
}

}  // namespace

bool ParseDelimiters(const std::string& specification, std::u32string& delimiters) {
  delimiters.assign(std::begin(kFixed), std::end(kFixed));
  std::u32string text = CodePoints(specification);
  for (char32_t& c : text) {
    if (IsBlank(c)) c = U' ';
  }
  std::u32string collected;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == U' ') {
      ++i;
    } else if (text[i] == U'\'') {
      if (i + 2 >= text.size() || text[i + 2] != U'\'') return false;
      collected += text[i + 1];
      i += 3;
    } else {
      std::size_t end = text.find(U' ', i);
      if (end == std::u32string::npos) end = text.size();
      long long code = 0;
      if (!ToInteger(text.substr(i, end - i), code)) return false;
      collected += static_cast<char32_t>(static_cast<unsigned long long>(code) & 0xFF);
      i = end;
    }
  }
  if (collected.empty()) return false;
  for (char32_t c : collected) {
    if (delimiters.find(c) == std::u32string::npos) delimiters += c;
  }
  return true;
}

std::string CanonicalDelimiters(const std::u32string& delimiters) {
  std::string out;
  for (char32_t c : delimiters) {
    if (!out.empty()) out += "     ";
    if (c < 32 || c == 127) {
      out += std::to_string(static_cast<unsigned>(c));
    } else {
      out += '\'';
      AppendUtf8(out, c);
      out += '\'';
    }
  }
  return out;
}

std::string LoadDelimiters(const TPIniFile& settings, std::u32string& delimiters) {
  std::string text = settings.ReadString(kSearchDelimitersSetting, kDefaultDelimiterText);
  if (!ParseDelimiters(text, delimiters)) ParseDelimiters(kDefaultDelimiterText, delimiters);
  return text;
}

}  // namespace vellumark
