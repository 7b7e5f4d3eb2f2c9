#include "search/result_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "util/utf8.h"

namespace vellumark {

namespace {

constexpr std::size_t kWholeTextLimit = 200;  // a text this long is shown whole
constexpr std::size_t kSampleLength = 200;
constexpr const char* kEllipsis = "...";

// Appends `text` with & < > (and " ' when `quotes`) as character references, copying the runs
// between them whole.
void Escape(std::string& out, std::string_view text, bool quotes) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* reference;
    switch (text[i]) {
      case '&':
        reference = "&amp;";
        break;
      case '<':
        reference = "&lt;";
        break;
      case '>':
        reference = "&gt;";
        break;
      case '"':
        if (!quotes) continue;
        reference = "&quot;";
        break;
      case '\'':
        if (!quotes) continue;
        reference = "&#39;";
        break;
      default:
        continue;
    }
    out.append(text.substr(run, i - run));
    out += reference;
    run = i + 1;
  }
  out.append(text.substr(run));
}

void AppendNumber(std::string& out, std::int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
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
  std::string line;
  line.reserve(80 + 2 * address.size() + title.size());
  line += "<b>";
  AppendNumber(line, n);
  line += ". <a STYLE=\"text-decoration:underline;\"href=\"";
  Escape(line, address, true);
  line += "\">";
  if (!title.empty()) {
    Escape(line, title, false);
    line += "</a></b><BR><BR>";
  } else {
    Escape(line, address, false);
    line += "</a></b><BR>";
  }
  return line;
}

std::string StartedAsLine(std::string_view start_text) {
  std::string line = "<FONT COLOR=\"#003399\"><b>Started as:</b></FONT> ";
  line.reserve(line.size() + start_text.size() + 16);
  Escape(line, start_text, false);
  line += "<BR><BR>";
  return line;
}

std::string TextFoundLine(std::string_view sample) {
  std::string line = "<FONT COLOR=\"#003399\"><b>Text found:</b></FONT> ";
  line.reserve(line.size() + sample.size() + 16);
  Escape(line, sample, false);
  line += "<BR><BR>";
  return line;
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

TResultPageFile::~TResultPageFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool TResultPageFile::Create(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  text_.clear();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  return fd_ >= 0;
}

void TResultPageFile::WriteLine(std::string_view line) {
  text_ += line;
  text_ += "\r\n";
}

bool TResultPageFile::Close() {
  if (fd_ < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < text_.size()) {
    const ssize_t n = ::pwrite(fd_, text_.data() + done, text_.size() - done, done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ok = false;
    }
  }
  // Whatever is left of the old page after the new one goes.
  if (::ftruncate(fd_, static_cast<off_t>(done)) != 0) ok = false;
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  text_.clear();
  return ok;
}

}  // namespace vellumark
