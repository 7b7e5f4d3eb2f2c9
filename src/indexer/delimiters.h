// The delimiter characters at which page text is split into words, and their specification
// text as the settings keep it ("Options" / "SearchDelimiters"): blank-separated tokens, each a
// character between single quotes or a decimal character code (its low 8 bits).
#pragma once

#include <string>
#include <string_view>

namespace vellumark {

class TPIniFile;

inline constexpr const char* kDefaultDelimiterSpec = "' '     09     10     13     ','     ';'";

// Sets `delimiters` to blank, tab, LF and CR followed by every further character of `spec`,
// each once, in the order of its first appearance. False when the specification is not valid
// or names no character (`delimiters` then holds the four fixed characters).
bool ParseDelimiters(std::string_view spec, std::u32string& delimiters);

// The delimiter characters of the settings: "Options" / "SearchDelimiters", or the default
// specification when it is missing or not valid.
std::u32string LoadDelimiterChars(const TPIniFile& settings);

}  // namespace vellumark

namespace vellumark {

// The delimiter characters as the text stored in a location's "SearchDelimiters" (UTF-8), and
// back.
std::string DelimitersToText(std::u32string_view delimiters);
std::u32string DelimitersFromText(std::string_view text);

}  // namespace vellumark
