#include "store/word_store.h"

#include <cassert>

#include "store/data_module.h"
#include "store/page_list.h"
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
  TSavepoint savepoint(dm.dbKiv);
  std::string list;
  std::string key;
  int counter = 0;
  std::size_t i = 0;
  while (i < words.size()) {
    if (++counter > kProgressEvery) {
      if (progress.CheckStop()) {
        savepoint.RollbackToStart();
        return false;
      }
      progress.ShowStatus("Processing '" + page_address + "' ...");
      counter = 0;
    }
    const std::string& word = words[i];
    std::size_t j = i + 1;
    while (j < words.size() && words[j] == word) ++j;
    const int count = static_cast<int>(j - i);
    i = j;
    if (word.empty()) continue;

    const int weight = WeightOf(count, text_length);
    TTable& table = dm.WordTable(WordTableNumber(word));
    key = WordKey(word);
    try {
      if (table.FindKey({key})) {
        list = table.Fields(1).AsBlob();
        AppendPosting(list, file_no, weight);
        table.Edit();
        table.Fields(1).SetBlob(std::move(list));
        table.Post();
      } else {
        list.clear();
        AppendPosting(list, file_no, weight);
        table.Insert();
        table.Fields(0).SetString(key);
        table.Fields(1).SetBlob(std::move(list));
        table.Post();
      }
    } catch (...) {
      table.Cancel();  // the savepoint undoes what was written
      throw;
    }
  }
  savepoint.Release();
  return true;
}

}  // namespace vellumark
