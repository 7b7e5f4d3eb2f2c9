// Recording the words of one page into the word tables: the key a word is stored under, and
// StoreWords, which adds the page with its weight to every distinct word's page list. Which
// table holds a word is the schema's rule (WordTableNumber in store/schema.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/schema.h"

namespace vellumark {

class TdmKiv;

// The key a word is stored under: the word, cut to its first 24 bytes (never inside a UTF-8
// sequence) when it is longer.
std::string WordKey(std::string_view word);

// What StoreWords needs of the indexing run: the stop check and the status line. The index
// window supplies them.
class StoreWordsProgress {
 public:
  virtual ~StoreWordsProgress() = default;
  // True when the run must end (may ask the user; pumps events).
  virtual bool CheckStop() = 0;
  // Shows a status text (pumps events).
  virtual void ShowStatus(const std::string& text) = 0;
};

// Records the words of page `file_no` in the location open in `dm`: for every distinct word
// of `words` (sorted, duplicates kept, so equal words stand together) the posting (file_no,
// WeightOf(count, text_length)) goes to the word's page list. On every 101st distinct word it
// calls CheckStop and, unless stopping, shows "Processing '" + page_address + "' ...".
//
// The postings are appended to the pending postings (store/pending_postings.h), which reach
// the page lists, in recording order, at the next MergePendingPostings: when the run ends, or
// when the location is next opened. Call it inside the page's transaction, so the page's
// postings land with its Files state or not at all.
//
// Returns true when every word was recorded; false, with nothing of this page written, when
// CheckStop says stop; raises EDatabaseError, with nothing of this page written, when the
// engine fails.
// REQUIRES: the location is open; 1 <= file_no <= kMaxPageNo.
bool StoreWords(TdmKiv& dm, const std::vector<std::string>& words, int file_no,
                std::int64_t text_length, const std::string& page_address,
                StoreWordsProgress& progress);

}  // namespace vellumark
