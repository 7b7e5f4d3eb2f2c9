// The delimiter characters as a location keeps them: its Tasks record's "SearchDelimiters"
// holds the set a run split its pages with, as UTF-8 text, so that a continued run splits the
// remaining pages the same way. (The options window parses the user's specification.)
#pragma once

#include <string>
#include <string_view>

namespace vellumark {

std::string DelimitersToText(std::u32string_view delimiters);
std::u32string DelimitersFromText(std::string_view text);

}  // namespace vellumark
