// The tables of the index store: their fields in order, their keys and indexes, and the SQL
// that creates them. Tasks.db (root folder) holds Tasks; Index.db (template in the root
// folder, one copy per location folder) holds Files, Words1, Words2 and Words3.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/field.h"

namespace vellumark {

struct TFieldDef {
  std::string name;
  TFieldKind kind;
};

// A named secondary index. Its order is its columns followed by the primary key, which
// makes every position in it unique. Index columns are NOT NULL in the schema.
struct TIndexDef {
  std::string name;                  // "I1"
  std::vector<std::string> columns;  // field names
};

struct TTableDef {
  std::string name;
  std::vector<TFieldDef> fields;  // in table order; positions are binding (the *Column enums)
  std::string primary_key;        // one field
  bool integer_key = false;       // the key is the row id (assigned on post when empty)
  std::vector<TIndexDef> indexes;
};

// Positions of the columns of Tasks and Files, in table order; typed access by them is in
// store/records.h. The table definitions below list the fields in this order.
enum TasksColumn : int {
  kTaskNoColumn,
  kTaskURLColumn,
  kTaskDescriptionColumn,
  kDateColumn,
  kTimeStartColumn,
  kTimeEndColumn,
  kTaskFilesColumn,
  kSearchDelimitersColumn,
  kTasksColumnCount,
};
enum FilesColumn : int {
  kFileNoColumn,
  kF1Column,
  kFileURLRestColumn,
  kFileStateColumn,
  kFileHeaderColumn,
  kFileTitleColumn,
  kFileTextColumn,
  kFilesColumnCount,
};
// Words1, Words2 and Words3: the word and its page list.
enum WordsColumn : int {
  kWordColumn,
  kPageListColumn,
  kWordsColumnCount,
};

// The word tables by word length: Words1 holds words of 1 to 6 bytes, Words2 of 7 to 12 and
// Words3 of 13 to 24. A word is stored and searched by at most kMaxWordLength bytes.
inline constexpr int kWordTableCount = 3;
inline constexpr std::size_t kMaxWordLength = 24;  // bytes
// The word table of `word`: 1, 2 or 3 by its length in bytes (up to 6, up to 12, longer).
// The store records a word there; a search looks a word up there and in the tables of longer
// words, where a prefix or sub-word match can lie. REQUIRES: !word.empty().
constexpr int WordTableNumber(std::string_view word) {
  return word.size() <= 6 ? 1 : word.size() <= 12 ? 2 : 3;
}

const TTableDef& TasksTableDef();
const TTableDef& FilesTableDef();
const TTableDef& WordsTableDef(int number);  // 1, 2 or 3

// The index that finds a page by its whole relative address: I1 orders by F1 alone, so pages
// sharing their first 40 bytes would be told apart one record at a time. The rest of the
// address comes first, so that the index cannot serve an ORDER BY F1 (the archive's page
// order stays that of I1). Part of the schema of new locations; OpenLocation adds it to
// locations made before it existed.
inline constexpr const char* kPageAddressIndexSql =
    "CREATE INDEX IF NOT EXISTS PageAddress ON Files (ifnull(File_URLRest, ''), F1)";

// Statements creating each database's tables and indexes.
std::string TasksSchemaSql();
std::string IndexSchemaSql();

}  // namespace vellumark
