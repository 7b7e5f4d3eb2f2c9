// A page's text as the indexer uses it: lower-cased (the letters A to Z only), split into
// words at the delimiter characters, and summarised in an excerpt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "indexer/collation.h"

namespace vellumark {

inline constexpr std::size_t kExcerptLength = 200;  // bytes

// The letters A to Z become a to z; every other byte stays.
std::string LowerPageText(std::string_view text);

// The page's words: every maximal run of characters none of which is in `delimiters`, in word
// list order (SortWordList). True when there is at least one.
bool SplitPageWords(std::string_view text, std::u32string_view delimiters,
                    std::vector<std::string>& words,
                    const TCollation& collation = TCollation::Default());

// At most 200 bytes of `text` (never cut inside a UTF-8 sequence), each run of blanks, tabs,
// LFs and CRs given as one blank. Independent of the delimiter characters.
std::string MakeExcerpt(std::string_view text);

// The clean-up's cut of an excerpt against the one before it: P is the first position (from 1)
// where the two differ, running past the end of either counting as a difference, at most 256.
// Returns the excerpt cut to P + 100 bytes when it is longer (never inside a UTF-8 sequence),
// or the excerpt unchanged.
std::string TrimExcerpt(std::string_view excerpt, std::string_view previous);

}  // namespace vellumark
