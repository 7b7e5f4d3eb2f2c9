#include "util/utf8.h"

namespace vellumark {

namespace {

// Length of the well-formed sequence at `pos`, or 0 when the bytes there do not form one.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (pos + len > text.size()) return 0;
  const auto b1 = static_cast<unsigned char>(text[pos + 1]);
  if (b1 < lo || b1 > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if (b < 0x80 || b > 0xBF) return 0;
  }
  return len;
}

}  // namespace

std::string_view Utf8Prefix(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t pos = 0;
  while (pos < max_bytes) {
    std::size_t len = SequenceLength(text, pos);
    if (len == 0) len = 1;  // a stray byte is a unit of its own
    if (pos + len > max_bytes) break;
    pos += len;
  }
  return text.substr(0, pos);
}

char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const std::size_t len = SequenceLength(text, pos);
  if (len == 0) {
    ++pos;
    return 0xFFFD;
  }
  const auto b0 = static_cast<unsigned char>(text[pos]);
  char32_t cp;
  switch (len) {
    case 1:
      cp = b0;
      break;
    case 2:
      cp = b0 & 0x1F;
      break;
    case 3:
      cp = b0 & 0x0F;
      break;
    default:
      cp = b0 & 0x07;
      break;
  }
  for (std::size_t i = 1; i < len; ++i) {
    cp = (cp << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
  }
  pos += len;
  return cp;
}

std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  for (std::size_t pos = 0; pos < text.size();) out += NextCodePoint(text, pos);
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace vellumark
