// A table with a cursor. The cursor stands on one record (or none, when the table is empty)
// and moves in the order of the current index: the primary key ("") or a named secondary
// index ("I1"). Its position is the current record's key in that order, so it keeps its
// meaning while records are inserted and deleted during a traversal: Next always goes to the
// first record after the current key as the table holds it now. Deleting the current record
// makes the next one current.
//
// The flags follow the usual data-set rules: First sets Bof, Last sets Eof, a Next past the
// last record sets Eof and a Prior before the first sets Bof, staying on that record; an
// empty table has both. Moving while a record is being edited or inserted posts it first
// when a field was changed, and cancels it otherwise.
//
// Hooks: BeforeScroll runs before every move (First, Last, Next, Prior, FindKey,
// FindNearest, Insert, Append, Delete); when it returns false the move is refused and
// ESilentAbort is raised, leaving the cursor where it was. AfterScroll runs after a move
// that reached a record, and after Open when the table has records.
//
// The table's database (and its definition) must outlive it. Failures raise EDatabaseError.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"
#include "store/field.h"
#include "store/schema.h"

namespace vellumark {

enum class TTableState { kInactive, kBrowse, kEdit, kInsert };

class TTable final : public TDataSet {
 public:
  TTable(TDatabase& db, const TTableDef& def);
  ~TTable() override;
  TTable(const TTable&) = delete;
  TTable& operator=(const TTable&) = delete;

  const std::string& TableName() const { return def_.name; }
  TDatabase& Database() const { return db_; }

  // Opens on the first record of the current index. Raises when the database is not
  // connected or does not hold the table. Opening an open table does nothing.
  void Open();
  void Close() override;  // cancels a pending edit or insert
  TTableState State() const { return state_; }

  // "" (primary key) or the name of a secondary index. The current record stays current.
  void SetIndexName(const std::string& name);
  const std::string& IndexName() const { return index_name_; }

  void First();
  void Last();
  void Next();
  void Prior();
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return !has_record_; }
  std::int64_t RecordCount();

  // Goes to the first record, in the current index, whose index fields equal `key` (one
  // value per index field; the primary index has one field). Returns false and stays when
  // there is none.
  bool FindKey(const std::vector<std::string>& key);
  // Goes to the first record whose leading index fields are at or after `key` (a partial key
  // may give fewer values than the index has fields). Returns false when no record is at or
  // after it; the cursor is then on the last record with Eof set.
  bool FindNearest(const std::vector<std::string>& key);

  // Starts a new record with every field empty. Insert and Append are the same: where the
  // record stands follows from its key once it is posted.
  void Insert();
  void Append() { Insert(); }
  // REQUIRES: the table has a current record.
  void Edit();
  // Writes the record. For an insert into a table with an integer key left empty, the key
  // is assigned (one more than the highest ever used for Tasks). The posted record becomes
  // current. Raises on a key violation or engine failure; the record then stays in edit or
  // insert state so the caller may Cancel.
  void Post();
  void Cancel();
  // Deletes the current record; the next one becomes current (Eof when it was the last).
  void Delete();
  // Reads the current record again, e.g. after a rollback. When it is gone, the next one
  // becomes current as after Delete.
  void Refresh();

  // Empties the table under the write lock (DELETE inside an immediate transaction, or a
  // savepoint when a transaction is open). Raises when another connection holds the
  // database. The cursor is left on the empty table.
  void EmptyTable();

  std::function<bool()> BeforeScroll;  // false refuses the move (ESilentAbort)
  std::function<void()> AfterScroll;

 private:
  void FieldChanging(TField& field) override;
  void CheckActive() const;
  void CheckBrowseMode();
  void RunBeforeScroll();
  void RunAfterScroll();
  // Order columns of the current index (index fields, then the primary key).
  const std::vector<int>& OrderColumns() const;
  std::string OrderBy(bool descending) const;
  // Runs a SELECT of all fields and loads its first row; false when there is none. Parameter i
  // is bound as a value of field (*columns)[i], or of the primary key when `columns` is null.
  bool FetchOne(const std::string& sql, const std::vector<TField::Value>& params,
                const std::vector<int>* columns = nullptr);
  bool FetchEdge(bool last);
  bool FetchAfter(bool after, const std::vector<TField::Value>& position, bool inclusive);
  // Loads the first (or last) record, or clears the fields when there is none, and sets Bof
  // and Eof for a table standing at that end.
  void LandOnEdge(bool last);
  // First and Last: LandOnEdge between the scroll hooks.
  void MoveToEdge(bool last);
  // Next and Prior.
  void Step(bool forward);
  std::vector<TField::Value> Position() const;
  void LoadRow(sqlite3_stmt* stmt);
  void ClearFields();

  TDatabase& db_;
  const TTableDef& def_;
  std::string select_list_;               // "a, b, c"
  int key_column_ = 0;                    // position of the primary key
  std::string index_name_;                // current index
  std::vector<std::vector<int>> orders_;  // [0] primary, [i] = index i-1
  int order_ = 0;
  TTableState state_ = TTableState::kInactive;
  bool bof_ = true;
  bool eof_ = true;
  bool has_record_ = false;
  std::vector<bool> modified_;        // per field, during edit / insert
  std::vector<TField::Value> saved_;  // record before edit / insert, for Cancel
  bool saved_has_record_ = false;
};

// Empties a table as the utilities do: it closes and reopens the table around emptying it,
// and answers false on any failure (another connection holding the database among them).
bool ClearTable(TTable& table);

}  // namespace vellumark
