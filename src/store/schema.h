// The tables of the index store: their fields in order, their keys and indexes, and the SQL
// that creates them. Tasks.db (root folder) holds Tasks; Index.db (template in the root
// folder, one copy per location folder) holds Files, Words1, Words2 and Words3.
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

// Statements creating each database's tables and indexes.
std::string TasksSchemaSql();
std::string IndexSchemaSql();

}  // namespace vellumark
