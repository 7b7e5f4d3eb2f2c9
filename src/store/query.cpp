#include "store/query.h"

namespace vellumark {

TQuery::TQuery(TDatabase& db) : db_(db) { db_.Register(this); }

TQuery::~TQuery() {
  Close();
  db_.Unregister(this);
}

void TQuery::SetSQL(std::string sql) {
  Close();
  sql_ = std::move(sql);
  params_.clear();
  param_is_blob_.clear();
}

void TQuery::FieldChanging(TField&) { throw EDatabaseError("A query's fields are read only"); }

namespace {

void Grow(std::vector<TField::Value>& values, std::vector<bool>& blob, int index) {
  if (index < 1) throw EDatabaseError("Parameter index " + std::to_string(index));
  if (values.size() < static_cast<std::size_t>(index)) {
    values.resize(index);
    blob.resize(index);
  }
}

}  // namespace

void TQuery::SetParam(int index, std::string_view text) {
  Grow(params_, param_is_blob_, index);
  params_[index - 1] = std::string(text);
  param_is_blob_[index - 1] = false;
}

void TQuery::SetParamInteger(int index, std::int64_t value) {
  Grow(params_, param_is_blob_, index);
  params_[index - 1] = value;
  param_is_blob_[index - 1] = false;
}

void TQuery::SetParamBlob(int index, std::string_view bytes) {
  Grow(params_, param_is_blob_, index);
  params_[index - 1] = std::string(bytes);
  param_is_blob_[index - 1] = true;
}

void TQuery::Bind(sqlite3_stmt* stmt) const {
  for (std::size_t i = 0; i < params_.size(); ++i) {
    int n = static_cast<int>(i) + 1;
    const TField::Value& v = params_[i];
    if (auto* x = std::get_if<std::int64_t>(&v)) {
      sqlite3_bind_int64(stmt, n, *x);
    } else if (auto* s = std::get_if<std::string>(&v)) {
      if (param_is_blob_[i]) {
        sqlite3_bind_blob64(stmt, n, s->data(), s->size(), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_text64(stmt, n, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      }
    } else {
      sqlite3_bind_null(stmt, n);
    }
  }
}

void TQuery::Open() {
  Close();
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_.Handle(), sql_.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    db_.Fail("Cannot prepare query '" + sql_ + "'");
  }
  stmt_ = stmt;
  Bind(stmt_);
  fields_.clear();
  int columns = sqlite3_column_count(stmt_);
  fields_.reserve(columns);
  for (int i = 0; i < columns; ++i) {
    const char* decl = sqlite3_column_decltype(stmt_, i);
    std::string type = decl ? decl : "";
    TFieldKind kind = type == "BLOB"      ? TFieldKind::kBlob
                      : type == "INTEGER" ? TFieldKind::kInteger
                                          : TFieldKind::kText;
    fields_.emplace_back(this, sqlite3_column_name(stmt_, i), kind);
  }
  active_ = true;
  eof_ = false;
  try {
    Step();
  } catch (...) {
    Close();
    throw;
  }
}

void TQuery::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) {
    for (int i = 0; i < FieldCount(); ++i) {
      switch (sqlite3_column_type(stmt_, i)) {
        case SQLITE_INTEGER:
          fields_[i].Load(static_cast<std::int64_t>(sqlite3_column_int64(stmt_, i)));
          break;
        case SQLITE_NULL:
          fields_[i].Load(std::monostate{});
          break;
        case SQLITE_BLOB: {
          const void* data = sqlite3_column_blob(stmt_, i);
          fields_[i].Load(
              std::string(static_cast<const char*>(data), sqlite3_column_bytes(stmt_, i)));
          break;
        }
        default: {
          const unsigned char* data = sqlite3_column_text(stmt_, i);
          fields_[i].Load(
              std::string(reinterpret_cast<const char*>(data), sqlite3_column_bytes(stmt_, i)));
        }
      }
    }
    return;
  }
  eof_ = true;
  for (auto& f : fields_) f.Load(std::monostate{});
  // Release the statement's read lock as soon as the rows are through.
  sqlite3_reset(stmt_);
  if (rc != SQLITE_DONE) db_.Fail("Cannot run query '" + sql_ + "'");
}

void TQuery::Next() {
  if (!active_ || eof_) return;
  Step();
}

void TQuery::Close() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  active_ = false;
  eof_ = true;
}

std::int64_t TQuery::RecordCount() {
  sqlite3_stmt* stmt = nullptr;
  std::string sql = "SELECT count(*) FROM (" + sql_ + ")";
  if (sqlite3_prepare_v2(db_.Handle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    db_.Fail("Cannot prepare query '" + sql_ + "'");
  }
  Bind(stmt);
  int rc = sqlite3_step(stmt);
  std::int64_t n = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
  sqlite3_finalize(stmt);
  if (n < 0) db_.Fail("Cannot run query '" + sql_ + "'");
  return n;
}

TPreparedQuery::TPreparedQuery(TDatabase& db, const std::string& sql)
    : db_(db), stmt_(db.Prepared(sql)) {}

TPreparedQuery::~TPreparedQuery() { sqlite3_reset(stmt_); }

void TPreparedQuery::BindText(int index, std::string_view text) {
  if (sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
      SQLITE_OK) {
    db_.Fail("Cannot bind parameter " + std::to_string(index));
  }
}

void TPreparedQuery::BindInteger(int index, std::int64_t value) {
  if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) {
    db_.Fail("Cannot bind parameter " + std::to_string(index));
  }
}

bool TPreparedQuery::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) db_.Fail("Cannot run query '" + std::string(sqlite3_sql(stmt_)) + "'");
  return false;
}

std::string_view TPreparedQuery::ColumnBytes(int column) const {
  // The pointer first, then the size: the size is that of the form the pointer was made in.
  const void* data = sqlite3_column_blob(stmt_, column);
  const int size = sqlite3_column_bytes(stmt_, column);
  if (!data || size <= 0) return {};
  return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

std::string LikePattern(std::string_view word, TWordMatch match) {
  std::string pattern;
  if (match == TWordMatch::kInside) pattern += '%';
  for (char c : word) {
    if (c == '%' || c == '_' || c == kLikeEscape) pattern += kLikeEscape;
    pattern += c;
  }
  pattern += '%';
  return pattern;
}

std::string WordQuerySql(int table_number, TWordMatch match) {
  std::string sql = "SELECT Files FROM Words" + std::to_string(table_number) + " WHERE Word ";
  if (match == TWordMatch::kExact) return sql + "= ?";
  return sql + "LIKE ? ESCAPE '\\'";
}

std::string WordQueryParam(std::string_view word, TWordMatch match) {
  if (match == TWordMatch::kExact) return std::string(word);
  return LikePattern(word, match);
}

}  // namespace vellumark
