// A query: one SQL statement with parameters, run against a database, whose rows are read in
// order through the same field interface as a table (read only). The statement text is the
// caller's; values from outside (a search word) go in as parameters, never into the text.
//
// LikePattern builds a LIKE pattern that matches the word literally: `%`, `_` and the escape
// character in it match themselves. Statements using it must carry ESCAPE '\' (the texts
// below do). LIKE compares case-sensitively, so a prefix pattern uses the word key.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"
#include "store/field.h"

namespace vellumark {

class TQuery final : public TDataSet {
 public:
  explicit TQuery(TDatabase& db);
  ~TQuery() override;
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  // Sets the statement text; closes the query and forgets the parameters.
  void SetSQL(std::string sql);
  const std::string& SQL() const { return sql_; }
  // Parameters by position, counting from 1 (the `?` marks in order).
  void SetParam(int index, std::string_view text);
  void SetParamInteger(int index, std::int64_t value);
  void SetParamBlob(int index, std::string_view bytes);

  // Runs the statement and stands on its first row (Eof when there is none). Raises on a bad
  // statement or an engine failure.
  void Open();
  void Close() override;
  void Next();  // the next row; Eof after the last
  bool Eof() const { return eof_; }
  // Number of rows the statement yields (runs it once more, counting).
  std::int64_t RecordCount();

 private:
  void FieldChanging(TField& field) override;
  void Bind(sqlite3_stmt* stmt) const;
  void Step();

  TDatabase& db_;
  std::string sql_;
  std::vector<TField::Value> params_;  // [0] is parameter 1; Blob kept as string too
  std::vector<bool> param_is_blob_;
  sqlite3_stmt* stmt_ = nullptr;
  bool eof_ = true;
};

// One run of a statement that the database keeps prepared (TDatabase::Prepared) until it
// disconnects, for statements run many times with new parameters: no parse per run, and the
// columns of a row are read in place, without copies.
//
//   TPreparedQuery q(db, sql); q.BindText(1, word); while (q.Step()) use(q.ColumnBytes(0));
//
// The run ends with the object: the statement is reset then, releasing its read lock.
// REQUIRES: the database stays connected while the object lives, and no other run of the same
// statement text is under way at the same time (both would share one statement).
class TPreparedQuery final {
 public:
  TPreparedQuery(TDatabase& db, const std::string& sql);
  ~TPreparedQuery();
  TPreparedQuery(const TPreparedQuery&) = delete;
  TPreparedQuery& operator=(const TPreparedQuery&) = delete;

  // Parameters by position, counting from 1. The text is copied into the statement.
  void BindText(int index, std::string_view text);
  void BindInteger(int index, std::int64_t value);
  // Goes to the next row (the first on the first call); false after the last. Raises
  // EDatabaseError when the engine fails.
  bool Step();
  // The bytes of a text or blob column of the current row, "" for null; valid until the next
  // Step or the end of the run. An integer column reads as its decimal text.
  std::string_view ColumnBytes(int column) const;

 private:
  TDatabase& db_;
  sqlite3_stmt* stmt_;
};

// How a word is matched in a word table.
enum class TWordMatch {
  kExact,   // Word = word
  kPrefix,  // stored words that begin with the word
  kInside,  // stored words that hold the word anywhere
};

// The escape character of LikePattern.
inline constexpr char kLikeEscape = '\\';
// The LIKE pattern for `word`: word + "%" (prefix) or "%" + word + "%" (inside), with `%`,
// `_` and `\` in the word escaped. REQUIRES: match is kPrefix or kInside.
std::string LikePattern(std::string_view word, TWordMatch match);
// "SELECT Files FROM Words<n> WHERE Word = ?" or "... WHERE Word LIKE ? ESCAPE '\'".
std::string WordQuerySql(int table_number, TWordMatch match);
// The parameter for WordQuerySql: the word itself or its LIKE pattern.
std::string WordQueryParam(std::string_view word, TWordMatch match);

// What the result page shows of page ?: F1, File_URLRest, File_Title, File_Text.
inline constexpr const char* kPageEntrySql =
    "SELECT F1, File_URLRest, File_Title, File_Text FROM Files WHERE File_No = ?";

// The page rows in address order, as the archive reads them.
inline constexpr const char* kFilesByAddressSql = "SELECT * FROM Files\nORDER BY F1";

}  // namespace vellumark
