// The delimiter text of the settings ("Options", "SearchDelimiters"): the characters that split
// page text and search samples into words, written as a list of quoted characters and decimal
// codes. The options window edits it; the program and the command-line tool read it at start.
#pragma once

#include <string>

namespace vellumark {

class TPIniFile;

// Blank, tab, LF, CR, comma and semicolon, five blanks apart.
inline constexpr const char* kDefaultDelimiterText = "' '     09     10     13     ','     ';'";

// Parses a delimiter specification: tokens apart by blanks (tabs and line breaks count as
// blanks), each a character in single quotes or a decimal character code (its low 8 bits).
// `delimiters` becomes blank, tab, LF, CR and then each further character named, once, in
// order of first appearance. False (with only the four fixed characters left) when a token is
// malformed or the specification names no character at all.
bool ParseDelimiters(const std::string& specification, std::u32string& delimiters);

// The form in which a delimiter set is saved: tab, LF and CR as "9", "10", "13", every other
// character between single quotes, items five blanks apart. Other control characters (below
// 32, and 127) are written as their decimal codes too, so the settings file holds no raw
// control character and reading the value back gives the same set.
std::string CanonicalDelimiters(const std::u32string& delimiters);

// Reads the delimiter text from the settings (the default when missing) and parses it into
// `delimiters`, falling back to the default set without a message. Returns the text read.
std::string LoadDelimiters(const TPIniFile& settings, std::u32string& delimiters);

}  // namespace vellumark
