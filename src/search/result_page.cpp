#include "search/result_page.h"

#include <algorithm>

#include "util/utf8.h"

namespace vellumark {

namespace {

constexpr std::size_t kWholeTextLimit = 200;  // a text this long is shown whole
constexpr std::size_t kSampleLength = 200;
constexpr const char* kEllipsis = "...";

void Escape(std::string& out, std::string_view text, bool quotes) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        if (quotes)
          out += "&quot;";
        else
          out += c;
        break;
      case '\'':
        if (quotes)
          out += "&#39;";
        else
          out += c;
        break;
      default:
        out += c;
    }
  }
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  Escape(out, text, false);
  return out;
}

std::string HtmlAttribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  Escape(out, text, true);
  return out;
}

std::string SummaryLine(std::int64_t count) {
  return "<BR>Found " + std::to_string(count) + " matches.<BR><BR>";
}

std::string TooManyMatchesLine(std::int64_t count) {
  return "<BR>Found more then 1000 matches (" + std::to_string(count) +
         "). Please enter more specific search sample!";
}

std::string StopQuestion(std::int64_t c, std::int64_t count) {
  return "Found more then " + std::to_string(c) + " matches (" + std::to_string(count) +
         "). Do you wish to stop search process?";
}

std::string InterruptedLine(std::int64_t c, std::int64_t count) {
  return "<BR>Found more then " + std::to_string(c) + " matches (" + std::to_string(count) +
         "). Search process interrupted by user request.";
}

bool AsksToStop(std::int64_t c, bool show_sample, TSearchMode mode) {
  if (c == 500) return true;
  return (c == 10 || c == 50 || c == 100) && (show_sample || mode == smExactPhrase);
}

std::string LinkLine(std::int64_t n, std::string_view address, std::string_view title) {
  std::string line = "<b>" + std::to_string(n) +
                     ". <a STYLE=\"text-decoration:underline;\"href=\"" + HtmlAttribute(address) +
                     "\">";
  if (!title.empty()) return line + HtmlText(title) + "</a></b><BR><BR>";
  return line + HtmlText(address) + "</a></b><BR>";
}

std::string StartedAsLine(std::string_view start_text) {
  return "<FONT COLOR=\"#003399\"><b>Started as:</b></FONT> " + HtmlText(start_text) + "<BR><BR>";
}

std::string TextFoundLine(std::string_view sample) {
  return "<FONT COLOR=\"#003399\"><b>Text found:</b></FONT> " + HtmlText(sample) + "<BR><BR>";
}

bool IsBreakChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u == 9 || u == 10 || u == 13 || (u >= 32 && u <= 42) || (u >= 44 && u <= 47) || u == 58 ||
         u == 59 || u == 63 || u == 64 || (u >= 91 && u <= 94) || (u >= 123 && u <= 125);
}

std::optional<std::size_t> SampleAnchor(std::string_view text, TSearchMode mode,
                                        const std::vector<std::string>& words,
                                        std::string_view sample) {
  switch (mode) {
    case smAnyWords:
      for (const auto& word : words) {
        std::size_t at = text.find(word);
        if (!word.empty() && at != std::string_view::npos) return at + 1;
      }
      return std::nullopt;
    case smAllWords: {
      if (words.empty()) return std::nullopt;
      for (const auto& word : words) {
        if (word.empty() || text.find(word) == std::string_view::npos) return std::nullopt;
      }
      return text.find(words.front()) + 1;
    }
    case smExactPhrase: {
      std::size_t at = text.find(sample);
      if (sample.empty() || at == std::string_view::npos) return std::nullopt;
      return at + 1;
    }
    default:
      return std::nullopt;
  }
}

std::string TextSample(std::string_view text, std::size_t anchor) {
  if (text.size() <= kWholeTextLimit) return std::string(text);
  // Positions below are 1-based, as in "character i of the text".
  auto at = [&](std::size_t i) { return text[i - 1]; };
  if (anchor < 100) {
    std::size_t i = 200;
    while (i > 150 && !IsBreakChar(at(i))) --i;
    return std::string(Utf8Prefix(text, i)) + kEllipsis;
  }
  std::size_t f = std::max<std::size_t>(anchor - 100, 1);
  while (f < anchor - 50 && !IsBreakChar(at(f))) ++f;
  const bool more_after = text.size() > f + kSampleLength;
  // A start without a break character may fall inside a sequence: begin at the next whole one.
  std::size_t start = f - 1;
  while (start < text.size() && IsContinuationByte(text[start])) ++start;
  std::string_view rest = text.substr(start);
  if (more_after) return kEllipsis + std::string(Utf8Prefix(rest, kSampleLength)) + kEllipsis;
  return kEllipsis + std::string(rest);
}

bool TResultPageFile::Create(const std::string& path) {
  out_.close();
  out_.clear();
  out_.open(path, std::ios::binary | std::ios::trunc);
  return out_.is_open();
}

void TResultPageFile::WriteLine(std::string_view line) { out_ << line << "\r\n"; }

bool TResultPageFile::Close() {
  if (!out_.is_open()) return false;
  out_.flush();
  bool ok = static_cast<bool>(out_);
  out_.close();
  return ok && !out_.fail();
}

}  // namespace vellumark
