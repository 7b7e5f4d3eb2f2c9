#include "store/word_store.h"

#include <cassert>

#include "store/data_module.h"
#include "store/page_list.h"
#include "store/pending_postings.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

// CheckStop and the status line come on every this many + 1 distinct words.
constexpr int kProgressEvery = 100;

}  // namespace

std::string WordKey(std::string_view word) { return Utf8Truncate(word, kMaxWordLength); }

bool StoreWords(TdmKiv& dm, const std::vector<std::string>& words, int file_no,
                std::int64_t text_length, const std::string& page_address,
                StoreWordsProgress& progress) {
  assert(file_no >= 1 && file_no <= kMaxPageNo);
  TPendingPage page(file_no);
  int counter = 0;
  std::size_t i = 0;
  while (i < words.size()) {
    if (++counter > kProgressEvery) {
      if (progress.CheckStop()) return false;
      progress.ShowStatus("Processing '" + page_address + "' ...");
      counter = 0;
    }
    const std::string& word = words[i];
    std::size_t j = i + 1;
    while (j < words.size() && words[j] == word) ++j;
    const int count = static_cast<int>(j - i);
    i = j;
    if (word.empty()) continue;
    std::string key = WordKey(word);
    // A key is cut only from words of 25 bytes or more, to 21 bytes at least: its length names
    // the same table as the word's, which lets the merge find the table from the key alone.
    assert(WordTableNumber(key) == WordTableNumber(word));
    page.Add(std::move(key), WeightOf(count, text_length));
  }
  if (!page.Empty()) page.Write(dm.dbKiv);
  return true;
}

}  // namespace vellumark
