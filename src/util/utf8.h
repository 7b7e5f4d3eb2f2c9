// UTF-8 helpers for the byte-count rules: every length limit counts bytes, and a cut never
// splits a multi-byte sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vellumark {

// The longest prefix of `text` of at most `max_bytes` bytes that ends on a sequence boundary.
std::string_view Utf8Prefix(std::string_view text, std::size_t max_bytes);
inline std::string Utf8Truncate(std::string_view text, std::size_t max_bytes) {
  return std::string(Utf8Prefix(text, max_bytes));
}

// Decodes the code point that starts at `pos` and advances `pos` past it. A byte that does
// not start a well-formed sequence decodes as U+FFFD and advances by one byte, so iteration
// always ends. REQUIRES: pos < text.size().
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

// Every code point of `text` in order, decoded as NextCodePoint does.
std::u32string CodePoints(std::string_view text);

// Appends the UTF-8 form of `cp` (U+FFFD for values that are not scalar values).
void AppendUtf8(std::string& out, char32_t cp);

// Lower-cases the letters A to Z only; every other byte is kept.
std::string LowerAscii(std::string_view text);

}  // namespace vellumark
