#include "web/url_header.h"

#include <charconv>
#include <ctime>

#include "util/utf8.h"

namespace vellumark {

namespace {

// The value of field `name` in the lower-cased header `text`; empty when it is not there.
std::string_view FieldValue(std::string_view text, std::string_view name) {
  const std::string key = std::string(name) + ":";
  std::size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  at += key.size();
  while (at < text.size() && text[at] == ' ') ++at;
  std::size_t end = text.find_first_of("\r\n", at);
  if (end == std::string_view::npos) end = text.size();
  return text.substr(at, end - at);
}

std::string DateTimeText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[64];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, n);
}

}  // namespace

void TURLHeader::Clear() {
  ContentLength = -1;
  ContentType.clear();
  ContentEncoding.clear();
  Expires = 0;
  Date = 0;
  LastModified = 0;
}

void TURLHeader::ParseHeader(std::string_view text) {
  Clear();
  if (text.empty()) return;
  const std::string lower = LowerAscii(text);
  const std::string_view length = FieldValue(lower, "content-length");
  ContentType = std::string(FieldValue(lower, "content-type"));
  ContentEncoding = std::string(FieldValue(lower, "content-encoding"));
  // "expires", "date" and "last-modified" are not converted: the dates stay 0.

  if (!length.empty()) {
    std::string_view digits = length;
    if (digits.front() == '+') digits.remove_prefix(1);
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    ContentLength =
        (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size()) ? value : -1;
  }
}

std::string TURLHeader::GetHeaderText() const {
  std::string out;
  if (ContentLength >= 0) out += "content-length: " + std::to_string(ContentLength) + "\r\n";
  if (!ContentType.empty()) out += "content-type: " + ContentType + "\r\n";
  if (!ContentEncoding.empty()) out += "content-encoding: " + ContentEncoding + "\r\n";
  if (Expires > 0) out += "expires: " + DateTimeText(Expires) + "\r\n";
  if (Date > 0) out += "date: " + DateTimeText(Date) + "\r\n";
  if (LastModified > 0) out += "last-modified: " + DateTimeText(LastModified) + "\r\n";
  return out;
}

}  // namespace vellumark
