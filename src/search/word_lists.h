// The words of a location's word tables, kept in memory for the sub-word search ("Included"),
// which asks for every stored word that holds a sample word anywhere. SQL answers that with a
// LIKE '%word%' scan of every row of each table; here the words of a table are read once, kept
// in one buffer, and searched with a byte search, and only the rows of the words found are read.
//
// The answer is the LIKE's own, row for row: LIKE with case_sensitive_like compares characters
// as SQLite decodes them from UTF-8, and for a word of ASCII bytes without NUL that is a plain
// byte search (an ASCII byte always decodes to itself and never inside a longer sequence, a
// byte from 0x80 up never to an ASCII character). So the lists answer only for such words, on
// tables whose every word is text without NUL, and within SQLite's limit on pattern length;
// in every other case WordsHolding says no and the caller runs the SQL.
//
// The lists belong to one connection and one state of the database: they are read again when
// the connection is another (TDatabase::ConnectionSerial) or the file changed since, by this
// connection or another (the data versions). TSearch owns one for its run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"
#include "store/schema.h"

namespace vellumark {

class TWordLists final {
 public:
  // Sets `words` to the stored words of table Words<table> that hold `word` as a sub-string,
  // in the table's key order (as the LIKE scan yields them). False when the lists cannot answer
  // (see above; `words` is then empty): the caller asks SQL. Raises EDatabaseError when the
  // table cannot be read. REQUIRES: 1 <= table <= kWordTableCount, and a read transaction is
  // open on `db` (the state checked is the one the lookups that follow will read).
  bool WordsHolding(TDatabase& db, int table, std::string_view word,
                    std::vector<std::string_view>& words);

 private:
  // The words of one table, each followed by a NUL, in key order.
  struct List {
    bool loaded = false;
    bool usable = false;                // every word is text without NUL
    std::string text;                   // "word\0word\0..."
    std::vector<std::uint32_t> starts;  // offset of each word in text
  };

  void Check(TDatabase& db);
  void Load(TDatabase& db, int table, List& list);

  struct Stamp {
    std::uint64_t connection = 0;
    std::int64_t data_version = -1;      // PRAGMA data_version: commits of others
    unsigned int file_data_version = 0;  // SQLITE_FCNTL_DATA_VERSION: this connection's too
    bool operator==(const Stamp&) const = default;
  };
  Stamp stamp_;
  List lists_[kWordTableCount];
};

}  // namespace vellumark
