#include "store/database.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "store/field.h"

namespace vellumark {

namespace {

std::optional<TDatabase::FileId> FileIdOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return TDatabase::FileId{static_cast<std::uint64_t>(st.st_dev),
                           static_cast<std::uint64_t>(st.st_ino)};
}

// Short enough that a database held by another program fails the operation promptly, long
// enough to ride over a checkpoint of a reader.
constexpr int kBusyTimeoutMs = 250;

}  // namespace

TDatabase::TDatabase(std::string file_name) : file_name_(std::move(file_name)) {}

TDatabase::~TDatabase() {
  // Data sets normally die first (they are members declared after their database); any that
  // remain only lose their registration.
  sets_.clear();
  Disconnect();
}

void TDatabase::Connect(const std::string& folder) {
  Disconnect();
  const bool memory = file_name_ == kMemoryFileName;
  const std::string path = memory ? file_name_ : folder + file_name_;
  sqlite3* db = nullptr;
  // One thread uses a connection, so it needs no mutex of its own around every call.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (memory ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw EDatabaseError("Cannot open database '" + path + "': " + text);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  db_ = db;
  folder_ = memory ? std::string() : folder;
  file_id_ = FileIdOf(path);
  try {
    // LIKE compares bytes, so a prefix pattern can use the word key and upper-case letters
    // outside A to Z are never folded.
    Execute("PRAGMA case_sensitive_like = ON");
    if (!memory) {
      // Reading the journal mode also proves the file is a database at all.
      Execute("PRAGMA journal_mode = WAL");
      // The -wal and -shm files stay when the last connection closes (the WAL emptied): a
      // short-lived process, such as a search from the command line, then neither creates nor
      // deletes files at each run.
      int persist = 1;
      sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
      Execute("PRAGMA synchronous = NORMAL");
      // A long WAL lets one checkpoint, and its sync, serve the passes of many pages (each
      // appends a row of pending postings and touches a few pages of Files): at 20,000 pages,
      // recording took about a fifth longer with the default of 1,000 pages. Longer (65,536),
      // a larger cache or larger pages made no difference beyond the machine's noise.
      Execute("PRAGMA wal_autocheckpoint = 16384");
      Execute("PRAGMA journal_size_limit = 67108864");
      // Reads straight from the file's pages in memory instead of a copy per page read: a
      // search reads the page lists and page rows of a large index without a system call each.
      Execute("PRAGMA mmap_size = 1073741824");
    }
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

bool TDatabase::ConnectedTo(const std::string& folder) const {
  if (!db_ || file_name_ == kMemoryFileName || folder != folder_) return false;
  const std::optional<FileId> now = FileIdOf(Path());
  return now && file_id_ && *now == *file_id_;
}

void TDatabase::CloseDataSets() {
  // Copy: closing a data set may not unregister it, but keep the walk safe regardless.
  std::vector<TDataSet*> sets = sets_;
  for (TDataSet* set : sets) set->Close();
}

void TDatabase::Disconnect() {
  CloseDataSets();
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
  cache_.clear();
  if (db_) {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

sqlite3* TDatabase::Handle() const {
  if (!db_) throw EDatabaseError("Database '" + file_name_ + "' is not connected");
  return db_;
}

void TDatabase::Fail(const std::string& what) const {
  throw EDatabaseError(what + ": " + (db_ ? sqlite3_errmsg(db_) : "not connected"));
}

void TDatabase::Execute(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(Handle(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string text = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw EDatabaseError(text);
  }
}

sqlite3_stmt* TDatabase::Prepared(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(Handle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    Fail("Cannot prepare '" + sql + "'");
  }
  cache_.emplace(sql, stmt);
  return stmt;
}

void TDatabase::BeginTransaction() { Execute("BEGIN IMMEDIATE"); }
void TDatabase::Commit() { Execute("COMMIT"); }
void TDatabase::Rollback() {
  if (InTransaction()) Execute("ROLLBACK");
}
bool TDatabase::InTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

void TDatabase::Register(TDataSet* set) { sets_.push_back(set); }
void TDatabase::Unregister(TDataSet* set) {
  sets_.erase(std::remove(sets_.begin(), sets_.end(), set), sets_.end());
}

void TDatabase::CreateFile(const std::string& path, const std::string& schema_sql) {
  if (std::filesystem::exists(path)) throw EDatabaseError("File exists: " + path);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::string error;
  if (rc == SQLITE_OK) {
    char* msg = nullptr;
    rc = sqlite3_exec(db, ("BEGIN;" + schema_sql + ";COMMIT;").c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) error = msg ? msg : sqlite3_errstr(rc);
    sqlite3_free(msg);
  } else {
    error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  }
  sqlite3_close(db);
  if (!error.empty()) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    throw EDatabaseError("Cannot create '" + path + "': " + error);
  }
}

TTransaction::TTransaction(TDatabase& db) : db_(db), open_(false) {
  db_.BeginTransaction();
  open_ = true;
}

TTransaction::~TTransaction() {
  if (open_) {
    try {
      db_.Rollback();
    } catch (...) {
      // Nothing more can be done from a destructor; the connection rolls back when it closes.
    }
  }
}

void TTransaction::Commit() {
  if (!open_) return;
  db_.Commit();
  open_ = false;
}

TReadTransaction::TReadTransaction(TDatabase& db) : db_(db) {
  if (!db_.Connected() || db_.InTransaction()) return;
  try {
    db_.Execute("BEGIN DEFERRED");
    began_ = true;
  } catch (const EDatabaseError&) {
  }
}

TReadTransaction::~TReadTransaction() {
  // An engine error inside may already have ended the transaction.
  if (!began_ || !db_.InTransaction()) return;
  try {
    db_.Execute("COMMIT");
  } catch (const EDatabaseError&) {
    try {
      db_.Rollback();
    } catch (const EDatabaseError&) {
    }
  }
}

TSavepoint::TSavepoint(TDatabase& db) : db_(db), name_(db.NextSavepointName()), open_(false) {
  db_.Execute("SAVEPOINT " + name_);
  open_ = true;
}

TSavepoint::~TSavepoint() {
  if (open_) {
    try {
      RollbackToStart();
    } catch (...) {
    }
  }
}

void TSavepoint::Release() {
  if (!open_) return;
  open_ = false;
  db_.Execute("RELEASE " + name_);
}

void TSavepoint::RollbackToStart() {
  if (!open_) return;
  open_ = false;
  if (!db_.Connected()) return;
  db_.Execute("ROLLBACK TO " + name_ + "; RELEASE " + name_);
}

}  // namespace vellumark
