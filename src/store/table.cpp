#include "store/table.h"

#include <charconv>

namespace vellumark {

namespace {

// Binds without a copy: every value bound lives in a field or a local of the caller until the
// statement is reset.
void BindValue(sqlite3_stmt* stmt, int index, const TField::Value& value, TFieldKind kind) {
  if (auto* i = std::get_if<std::int64_t>(&value)) {
    sqlite3_bind_int64(stmt, index, *i);
  } else if (auto* s = std::get_if<std::string>(&value)) {
    if (kind == TFieldKind::kBlob) {
      sqlite3_bind_blob64(stmt, index, s->data(), s->size(), SQLITE_STATIC);
    } else {
      sqlite3_bind_text64(stmt, index, s->data(), s->size(), SQLITE_STATIC, SQLITE_UTF8);
    }
  } else {
    sqlite3_bind_null(stmt, index);
  }
}

TField::Value ColumnValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      return static_cast<std::int64_t>(sqlite3_column_int64(stmt, column));
    case SQLITE_NULL:
      return std::monostate{};
    case SQLITE_BLOB: {
      const void* data = sqlite3_column_blob(stmt, column);
      int size = sqlite3_column_bytes(stmt, column);
      return std::string(static_cast<const char*>(data), size);
    }
    default: {
      const unsigned char* data = sqlite3_column_text(stmt, column);
      int size = sqlite3_column_bytes(stmt, column);
      return std::string(reinterpret_cast<const char*>(data), size);
    }
  }
}

// A key value given as text, converted to the column's kind so that it compares as stored.
TField::Value KeyValue(const std::string& text, TFieldKind kind) {
  if (kind == TFieldKind::kInteger) {
    std::int64_t v;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && end == text.data() + text.size()) return v;
  }
  return text;
}

}  // namespace

TTable::TTable(TDatabase& db, const TTableDef& def) : db_(db), def_(def) {
  for (std::size_t i = 0; i < def_.fields.size(); ++i) {
    fields_.emplace_back(this, def_.fields[i].name, def_.fields[i].kind);
    if (i) select_list_ += ", ";
    select_list_ += def_.fields[i].name;
    if (def_.fields[i].name == def_.primary_key) key_column_ = static_cast<int>(i);
  }
  modified_.assign(fields_.size(), false);
  orders_.push_back({key_column_});
  for (const auto& index : def_.indexes) {
    std::vector<int> order;
    for (const auto& column : index.columns) {
      for (std::size_t i = 0; i < def_.fields.size(); ++i) {
        if (def_.fields[i].name == column) order.push_back(static_cast<int>(i));
      }
    }
    order.push_back(key_column_);
    orders_.push_back(order);
  }
  db_.Register(this);
}

TTable::~TTable() { db_.Unregister(this); }

void TTable::CheckActive() const {
  if (!active_) throw EDatabaseError("Table '" + def_.name + "' is not open");
}

void TTable::FieldChanging(TField& field) {
  if (state_ != TTableState::kEdit && state_ != TTableState::kInsert) {
    throw EDatabaseError("Table '" + def_.name + "' is not in edit or insert mode");
  }
  modified_[&field - fields_.data()] = true;
}

void TTable::Open() {
  if (active_) return;
  // Preparing a statement over every field proves the table and its fields exist.
  db_.Prepared("SELECT " + select_list_ + " FROM " + def_.name + " LIMIT 0");
  active_ = true;
  state_ = TTableState::kBrowse;
  has_record_ = FetchEdge(false);
  if (!has_record_) ClearFields();
  bof_ = true;
  eof_ = !has_record_;
  if (has_record_) RunAfterScroll();
}

void TTable::Close() {
  if (!active_) return;
  if (state_ == TTableState::kEdit || state_ == TTableState::kInsert) Cancel();
  active_ = false;
  state_ = TTableState::kInactive;
  has_record_ = false;
  bof_ = eof_ = true;
  ClearFields();
}

void TTable::ClearFields() {
  for (auto& f : fields_) f.Load(std::monostate{});
}

void TTable::CheckBrowseMode() {
  CheckActive();
  if (state_ == TTableState::kEdit || state_ == TTableState::kInsert) {
    bool changed = false;
    for (bool m : modified_) changed = changed || m;
    if (changed) {
      Post();
    } else {
      Cancel();
    }
  }
}

void TTable::RunBeforeScroll() {
  if (BeforeScroll && !BeforeScroll()) throw ESilentAbort();
}

void TTable::RunAfterScroll() {
  if (AfterScroll) AfterScroll();
}

const std::vector<int>& TTable::OrderColumns() const { return orders_[order_]; }

std::string TTable::OrderBy(bool descending) const {
  std::string s;
  for (int c : OrderColumns()) {
    if (!s.empty()) s += ", ";
    s += def_.fields[c].name;
    if (descending) s += " DESC";
  }
  return s;
}

std::vector<TField::Value> TTable::Position() const {
  std::vector<TField::Value> pos;
  for (int c : OrderColumns()) pos.push_back(fields_[c].RawValue());
  return pos;
}

void TTable::LoadRow(sqlite3_stmt* stmt) {
  for (int i = 0; i < FieldCount(); ++i) fields_[i].Load(ColumnValue(stmt, i));
}

bool TTable::FetchOne(const std::string& sql, const std::vector<TField::Value>& params,
                      const std::vector<int>* columns) {
  sqlite3_stmt* stmt = db_.Prepared(sql);
  StatementUse use(stmt);
  for (std::size_t i = 0; i < params.size(); ++i) {
    const int column = columns ? (*columns)[i] : key_column_;
    BindValue(stmt, static_cast<int>(i) + 1, params[i], def_.fields[column].kind);
  }
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    LoadRow(stmt);
    return true;
  }
  if (rc != SQLITE_DONE) db_.Fail("Cannot read table '" + def_.name + "'");
  return false;
}

bool TTable::FetchEdge(bool last) {
  return FetchOne(
      "SELECT " + select_list_ + " FROM " + def_.name + " ORDER BY " + OrderBy(last) + " LIMIT 1",
      {});
}

bool TTable::FetchAfter(bool after, const std::vector<TField::Value>& position, bool inclusive) {
  const std::vector<int>& order = OrderColumns();
  std::string lhs, rhs;
  for (std::size_t i = 0; i < position.size(); ++i) {
    if (i) {
      lhs += ", ";
      rhs += ", ";
    }
    lhs += def_.fields[order[i]].name;
    rhs += "?";
  }
  std::string op = after ? (inclusive ? ">=" : ">") : (inclusive ? "<=" : "<");
  std::string sql = "SELECT " + select_list_ + " FROM " + def_.name + " WHERE (" + lhs + ") " + op +
                    " (" + rhs + ") ORDER BY " + OrderBy(!after) + " LIMIT 1";
  return FetchOne(sql, position, &order);
}

void TTable::SetIndexName(const std::string& name) {
  int order = -1;
  if (name.empty()) {
    order = 0;
  } else {
    for (std::size_t i = 0; i < def_.indexes.size(); ++i) {
      if (def_.indexes[i].name == name) order = static_cast<int>(i) + 1;
    }
  }
  if (order < 0) throw EDatabaseError("Index '" + name + "' not found in '" + def_.name + "'");
  if (active_) CheckBrowseMode();
  order_ = order;
  index_name_ = name;
  bof_ = eof_ = !has_record_;
}

void TTable::LandOnEdge(bool last) {
  has_record_ = FetchEdge(last);
  if (!has_record_) ClearFields();
  (last ? eof_ : bof_) = true;
  (last ? bof_ : eof_) = !has_record_;
}

void TTable::MoveToEdge(bool last) {
  CheckBrowseMode();
  RunBeforeScroll();
  LandOnEdge(last);
  if (has_record_) RunAfterScroll();
}

void TTable::Step(bool forward) {
  CheckBrowseMode();
  bool& edge = forward ? eof_ : bof_;
  if (edge || !has_record_) {
    edge = true;
    return;
  }
  RunBeforeScroll();
  if (FetchAfter(forward, Position(), false)) {
    bof_ = eof_ = false;
    RunAfterScroll();
  } else {
    edge = true;
  }
}

void TTable::First() { MoveToEdge(false); }
void TTable::Last() { MoveToEdge(true); }
void TTable::Next() { Step(true); }
void TTable::Prior() { Step(false); }

std::int64_t TTable::RecordCount() {
  CheckActive();
  sqlite3_stmt* stmt = db_.Prepared("SELECT count(*) FROM " + def_.name);
  StatementUse use(stmt);
  if (sqlite3_step(stmt) != SQLITE_ROW) db_.Fail("Cannot count '" + def_.name + "'");
  return sqlite3_column_int64(stmt, 0);
}

bool TTable::FindKey(const std::vector<std::string>& key) {
  CheckBrowseMode();
  const std::vector<int>& order = OrderColumns();
  std::size_t fields = order_ == 0 ? 1 : order.size() - 1;
  if (key.size() != fields) {
    throw EDatabaseError("FindKey on '" + def_.name + "' needs " + std::to_string(fields) +
                         " values");
  }
  RunBeforeScroll();
  std::string where;
  std::vector<TField::Value> params;
  for (std::size_t i = 0; i < fields; ++i) {
    if (i) where += " AND ";
    where += def_.fields[order[i]].name + " = ?";
    params.push_back(KeyValue(key[i], def_.fields[order[i]].kind));
  }
  std::string sql = "SELECT " + select_list_ + " FROM " + def_.name + " WHERE " + where +
                    " ORDER BY " + OrderBy(false) + " LIMIT 1";
  if (!FetchOne(sql, params, &order)) return false;
  has_record_ = true;
  bof_ = eof_ = false;
  RunAfterScroll();
  return true;
}

bool TTable::FindNearest(const std::vector<std::string>& key) {
  CheckBrowseMode();
  const std::vector<int>& order = OrderColumns();
  if (key.empty() || key.size() > order.size()) {
    throw EDatabaseError("FindNearest on '" + def_.name + "' with a wrong key");
  }
  RunBeforeScroll();
  std::vector<TField::Value> position;
  for (std::size_t i = 0; i < key.size(); ++i) {
    position.push_back(KeyValue(key[i], def_.fields[order[i]].kind));
  }
  if (FetchAfter(true, position, true)) {
    has_record_ = true;
    bof_ = eof_ = false;
    RunAfterScroll();
    return true;
  }
  LandOnEdge(true);
  return false;
}

void TTable::Insert() {
  CheckBrowseMode();
  RunBeforeScroll();
  saved_.clear();
  for (auto& f : fields_) saved_.push_back(f.RawValue());
  saved_has_record_ = has_record_;
  ClearFields();
  modified_.assign(fields_.size(), false);
  state_ = TTableState::kInsert;
}

void TTable::Edit() {
  CheckActive();
  if (state_ == TTableState::kEdit || state_ == TTableState::kInsert) return;
  if (!has_record_) throw EDatabaseError("Table '" + def_.name + "' has no current record");
  saved_.clear();
  for (auto& f : fields_) saved_.push_back(f.RawValue());
  saved_has_record_ = true;
  modified_.assign(fields_.size(), false);
  state_ = TTableState::kEdit;
}

void TTable::Cancel() {
  if (state_ != TTableState::kEdit && state_ != TTableState::kInsert) return;
  for (int i = 0; i < FieldCount(); ++i) fields_[i].Load(saved_[i]);
  has_record_ = saved_has_record_;
  state_ = TTableState::kBrowse;
}

void TTable::Post() {
  CheckActive();
  if (state_ == TTableState::kBrowse) return;
  std::vector<int> columns;
  for (int i = 0; i < FieldCount(); ++i) {
    if (modified_[i]) columns.push_back(i);
  }
  if (state_ == TTableState::kInsert) {
    std::string sql;
    if (columns.empty()) {
      sql = "INSERT INTO " + def_.name + " DEFAULT VALUES";
    } else {
      std::string names, marks;
      for (int c : columns) {
        if (!names.empty()) {
          names += ", ";
          marks += ", ";
        }
        names += def_.fields[c].name;
        marks += "?";
      }
      sql = "INSERT INTO " + def_.name + " (" + names + ") VALUES (" + marks + ")";
    }
    TField::Value key;
    {
      sqlite3_stmt* stmt = db_.Prepared(sql);
      StatementUse use(stmt);
      for (std::size_t i = 0; i < columns.size(); ++i) {
        BindValue(stmt, static_cast<int>(i) + 1, fields_[columns[i]].RawValue(),
                  def_.fields[columns[i]].kind);
      }
      if (sqlite3_step(stmt) != SQLITE_DONE) db_.Fail("Cannot post to '" + def_.name + "'");
      key = fields_[key_column_].RawValue();
      if (std::holds_alternative<std::monostate>(key) && def_.integer_key) {
        key = static_cast<std::int64_t>(sqlite3_last_insert_rowid(db_.Handle()));
      }
    }
    // Read the record back, so defaults and the assigned key show in the fields.
    if (!FetchOne(
            "SELECT " + select_list_ + " FROM " + def_.name + " WHERE " + def_.primary_key + " = ?",
            {key})) {
      db_.Fail("Posted record of '" + def_.name + "' not found");
    }
  } else if (!columns.empty()) {
    std::string sets;
    for (int c : columns) {
      if (!sets.empty()) sets += ", ";
      sets += def_.fields[c].name + " = ?";
    }
    sqlite3_stmt* stmt = db_.Prepared("UPDATE " + def_.name + " SET " + sets + " WHERE " +
                                      def_.primary_key + " = ?");
    StatementUse use(stmt);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      BindValue(stmt, static_cast<int>(i) + 1, fields_[columns[i]].RawValue(),
                def_.fields[columns[i]].kind);
    }
    BindValue(stmt, static_cast<int>(columns.size()) + 1, saved_[key_column_],
              def_.fields[key_column_].kind);
    if (sqlite3_step(stmt) != SQLITE_DONE) db_.Fail("Cannot post to '" + def_.name + "'");
    if (sqlite3_changes(db_.Handle()) == 0) {
      throw EDatabaseError("Record of '" + def_.name + "' was deleted by another user");
    }
  }
  has_record_ = true;
  bof_ = eof_ = false;
  modified_.assign(fields_.size(), false);
  state_ = TTableState::kBrowse;
}

void TTable::Delete() {
  CheckActive();
  if (state_ == TTableState::kInsert) return Cancel();
  if (state_ == TTableState::kEdit) Cancel();
  if (!has_record_) throw EDatabaseError("Table '" + def_.name + "' has no record to delete");
  RunBeforeScroll();
  {
    sqlite3_stmt* stmt =
        db_.Prepared("DELETE FROM " + def_.name + " WHERE " + def_.primary_key + " = ?");
    StatementUse use(stmt);
    BindValue(stmt, 1, fields_[key_column_].RawValue(), def_.fields[key_column_].kind);
    if (sqlite3_step(stmt) != SQLITE_DONE) db_.Fail("Cannot delete from '" + def_.name + "'");
  }
  std::vector<TField::Value> position = Position();
  if (FetchAfter(true, position, false)) {
    bof_ = eof_ = false;
  } else {
    LandOnEdge(true);
  }
  if (has_record_) RunAfterScroll();
}

void TTable::Refresh() {
  CheckBrowseMode();
  if (!has_record_) return;
  std::vector<TField::Value> position = Position();
  if (FetchOne(
          "SELECT " + select_list_ + " FROM " + def_.name + " WHERE " + def_.primary_key + " = ?",
          {fields_[key_column_].RawValue()})) {
    return;
  }
  if (FetchAfter(true, position, false)) {
    bof_ = eof_ = false;
  } else {
    LandOnEdge(true);
  }
}

void TTable::EmptyTable() {
  if (active_) CheckBrowseMode();
  if (db_.InTransaction()) {
    TSavepoint savepoint(db_);
    db_.Execute("DELETE FROM " + def_.name);
    savepoint.Release();
  } else {
    TTransaction transaction(db_);
    db_.Execute("DELETE FROM " + def_.name);
    transaction.Commit();
  }
  if (active_) {
    has_record_ = false;
    bof_ = eof_ = true;
    ClearFields();
  }
}

bool ClearTable(TTable& table) {
  table.Close();
  bool ok = true;
  try {
    table.EmptyTable();
  } catch (const EDatabaseError&) {
    ok = false;
  }
  // Reopen shared in every case, so a failed emptying does not leave the table closed.
  try {
    table.Open();
  } catch (const EDatabaseError&) {
    ok = false;
  }
  return ok;
}

}  // namespace vellumark
