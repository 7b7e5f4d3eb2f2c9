// The tables of the index store: their fields in order, their keys and indexes, and the SQL
// that creates them. Tasks.db (root folder) holds Tasks; Index.db (template in the root
// folder, one copy per location folder) holds Files, Words1, Words2 and Words3; Result and
// Result1 live in an in-memory database.
#pragma once

#include <string>
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
  std::vector<TFieldDef> fields;  // in table order; positions are binding for Files
  std::string primary_key;        // one field
  bool integer_key = false;       // the key is the row id (assigned on post when empty)
  std::vector<TIndexDef> indexes;
};

const TTableDef& TasksTableDef();
const TTableDef& FilesTableDef();
const TTableDef& WordsTableDef(int number);  // 1, 2 or 3
const TTableDef& ResultTableDef();
const TTableDef& Result1TableDef();

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
std::string ResultSchemaSql();

}  // namespace vellumark
