// Text splitters and the last-occurrence search shared by the search bar, the indexer and the
// URL object.
//
// Texts are UTF-8. Delimiter sets are code points: the splitters decode the text, so a
// multi-byte character is never split and can itself be a delimiter. A byte that does not
// start a well-formed sequence counts as U+FFFD for the delimiter test and is copied unchanged.
//
// Positions are 1-based BYTE positions in the UTF-8 text, since every length and position rule
// of the system counts bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vellumark {

// One item of SplitWords: the word and the 1-based byte position where it starts in the text.
struct PositionedWord {
  std::string text;      // the run of non-delimiter characters
  std::size_t position;  // 1-based byte position of its first byte in the split text

  bool operator==(const PositionedWord&) const = default;
};

// Clears `list`, then adds each maximal run of characters that are not in `chars`, with its
// start position. Runs of delimiters are skipped. True when the list is not empty.
bool SplitWords(std::string_view text, std::u32string_view chars,
                std::vector<PositionedWord>& list);

// Clears `list`, then adds each maximal run of characters none of which is in `delimiters`, in
// text order. True when the list is not empty.
bool SplitAtChars(std::string_view text, std::u32string_view delimiters,
                  std::vector<std::string>& list);

// Clears `list`, then splits `text` at `delimiter`. A double quote toggles a quoted state in
// which the delimiter is an ordinary character; the quotes themselves are dropped. Empty items
// between delimiters are kept; a final item is added only when it is not empty. True when the
// list is not empty.
bool SplitQuoted(std::string_view text, char32_t delimiter, std::vector<std::string>& list);

// The 1-based start of the last occurrence of `pattern` that ends at or before position `limit`
// of `text` (a limit past the end counts as the end); 0 when there is none or either text is
// empty.
std::size_t LastPos(std::string_view pattern, std::string_view text, std::size_t limit);

}  // namespace vellumark
