#include "store/schema.h"

namespace vellumark {

namespace {

using K = TFieldKind;

TTableDef MakeWords(int n) {
  return {
      "Words" + std::to_string(n), {{"Word", K::kText}, {"Files", K::kBlob}}, "Word", false, {}};
}

}  // namespace

// The definitions list their fields in the order of the column enums of schema.h; a test holds
// them to it.
const TTableDef& TasksTableDef() {
  static const TTableDef def{"Tasks",
                             {{"Task_No", K::kInteger},
                              {"Task_URL", K::kText},
                              {"Task_Description", K::kText},
                              {"Date", K::kDate},
                              {"Time_Start", K::kTime},
                              {"Time_End", K::kTime},
                              {"Files", K::kInteger},
                              {"SearchDelimiters", K::kText}},
                             "Task_No",
                             true,
                             {}};
  return def;
}

const TTableDef& FilesTableDef() {
  static const TTableDef def{"Files",
                             {{"File_No", K::kInteger},
                              {"F1", K::kText},
                              {"File_URLRest", K::kText},
                              {"File_State", K::kInteger},
                              {"File_Header", K::kText},
                              {"File_Title", K::kText},
                              {"File_Text", K::kText}},
                             "File_No",
                             true,
                             {{"I1", {"F1"}}}};
  return def;
}

const TTableDef& WordsTableDef(int number) {
  static const TTableDef defs[3] = {MakeWords(1), MakeWords(2), MakeWords(3)};
  return defs[number - 1];
}

std::string TasksSchemaSql() {
  // AUTOINCREMENT: a location number is never given twice, so a new location never meets
  // the folder of a deleted one.
  return "CREATE TABLE Tasks ("
         " Task_No INTEGER PRIMARY KEY AUTOINCREMENT,"
         " Task_URL TEXT,"
         " Task_Description TEXT,"
         " Date TEXT,"
         " Time_Start TEXT,"
         " Time_End TEXT,"
         " Files INTEGER,"
         " SearchDelimiters TEXT)";
}

std::string IndexSchemaSql() {
  std::string sql =
      "CREATE TABLE Files ("
      " File_No INTEGER PRIMARY KEY,"
      " F1 TEXT NOT NULL DEFAULT '',"
      " File_URLRest TEXT,"
      " File_State INTEGER,"
      " File_Header TEXT,"
      " File_Title TEXT,"
      " File_Text TEXT);"
      "CREATE INDEX I1 ON Files (F1);" +
      std::string(kPageAddressIndexSql) + ";";
  for (int n = 1; n <= 3; ++n) {
    // Without a row id the word key is the table's own b-tree: one lookup per word.
    sql += "CREATE TABLE Words" + std::to_string(n) +
           " (Word TEXT NOT NULL PRIMARY KEY, Files BLOB) WITHOUT ROWID;";
  }
  return sql;
}

}  // namespace vellumark
