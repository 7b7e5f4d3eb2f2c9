#include "search/word_lists.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "store/query.h"

namespace vellumark {

namespace {

// A word the byte search answers exactly as LIKE: ASCII, without NUL.
bool PlainAscii(std::string_view word) {
  return std::all_of(word.begin(), word.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte != 0 && byte < 0x80;
  });
}

}  // namespace

void TWordLists::Check(TDatabase& db) {
  Stamp now;
  now.connection = db.ConnectionSerial();
  {
    sqlite3_stmt* stmt = db.Prepared("PRAGMA data_version");
    if (sqlite3_step(stmt) == SQLITE_ROW) now.data_version = sqlite3_column_int64(stmt, 0);
    sqlite3_reset(stmt);
  }
  sqlite3_file_control(db.Handle(), "main", SQLITE_FCNTL_DATA_VERSION, &now.file_data_version);
  if (now == stamp_) return;
  stamp_ = now;
  for (List& list : lists_) list = List{};
}

void TWordLists::Load(TDatabase& db, int table, List& list) {
  list = List{};
  TPreparedQuery rows(db, "SELECT Word, typeof(Word) = 'text' FROM Words" + std::to_string(table));
  bool usable = true;
  while (rows.Step()) {
    const std::string_view word = rows.ColumnBytes(0);
    if (rows.ColumnBytes(1) != "1" || word.find('\0') != std::string_view::npos ||
        list.text.size() + word.size() + 1 > UINT32_MAX) {
      usable = false;
      break;
    }
    list.starts.push_back(static_cast<std::uint32_t>(list.text.size()));
    list.text += word;
    list.text += '\0';
  }
  list.loaded = true;
  list.usable = usable;
  if (!usable) {
    list.text = std::string();
    list.starts = {};
  }
}

bool TWordLists::WordsHolding(TDatabase& db, int table, std::string_view word,
                              std::vector<std::string_view>& words) {
  words.clear();
  // LIKE refuses a pattern longer than its limit; the SQL then gives its own answer.
  const std::size_t pattern_length = LikePattern(word, TWordMatch::kInside).size();
  const int limit = sqlite3_limit(db.Handle(), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1);
  if (word.empty() || !PlainAscii(word) || pattern_length > static_cast<std::size_t>(limit)) {
    return false;
  }
  Check(db);
  List& list = lists_[table - 1];
  if (!list.loaded) Load(db, table, list);
  if (!list.usable) return false;

  const char* const begin = list.text.data();
  const char* const end = begin + list.text.size();
  const char* from = begin;
  while (from < end) {
    const void* hit = memmem(from, end - from, word.data(), word.size());
    if (!hit) break;
    const auto offset = static_cast<std::uint32_t>(static_cast<const char*>(hit) - begin);
    // The word the hit lies in: the last one starting at or before it. No hit spans two words:
    // the search word holds no NUL.
    const auto next = std::upper_bound(list.starts.begin(), list.starts.end(), offset);
    const std::uint32_t start = *(next - 1);
    const std::uint32_t stop =
        next == list.starts.end() ? static_cast<std::uint32_t>(list.text.size()) : *next;
    words.emplace_back(begin + start, stop - start - 1);
    from = begin + stop;
  }
  return true;
}

}  // namespace vellumark
