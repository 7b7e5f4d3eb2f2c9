// The table engine's database object: one SQLite connection on one file in one folder. A
// location's database is switched between folders with Disconnect / Connect; the root tables
// and the scratch tables have databases of their own. Tables and queries name the database
// they work on and register with it, so Disconnect closes every one of them.
//
// All failures raise EDatabaseError. The object is used on one thread only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/exception.h"

namespace vellumark {

// Every failure of the table engine: a missing or locked file, a bad statement, a key
// violation, a full disk, a field conversion.
class EDatabaseError : public Exception {
 public:
  explicit EDatabaseError(const std::string& message) : Exception(message) {}
};

// The platform's silent abort: raised when a before-scroll hook refuses a move. The window
// boundary catches it and does nothing, so the user sees no message.
class ESilentAbort : public Exception {
 public:
  ESilentAbort() : Exception("Operation aborted") {}
};

class TDataSet;

// The file name of a location's (and the template's) database, and of the root table file.
inline constexpr const char* kIndexFileName = "Index.db";
inline constexpr const char* kTasksFileName = "Tasks.db";
// A database whose file name is this lives in memory and is empty at each Connect.
inline constexpr const char* kMemoryFileName = ":memory:";

class TDatabase final {
 public:
  // A file's identity: device and inode.
  struct FileId {
    std::uint64_t device;
    std::uint64_t inode;
    bool operator==(const FileId&) const = default;
  };

  // `file_name` is the file inside the folder given to Connect (kIndexFileName, ...).
  explicit TDatabase(std::string file_name);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  // Opens folder + file name. The file must exist and be a database; it is never created
  // here. A file database is switched to WAL journal mode. Connecting a connected database
  // disconnects it first. Raises EDatabaseError on failure (and stays disconnected).
  // REQUIRES: `folder` is empty or ends with "/" (ignored for the in-memory database).
  void Connect(const std::string& folder);
  // Closes every table and query on this database, then the connection. A transaction that
  // is still open is rolled back.
  void Disconnect();
  bool Connected() const { return db_ != nullptr; }
  // True when connected to `folder` and the file there is still the one that was opened: not
  // removed or replaced by another since (the location's tables made anew, say).
  bool ConnectedTo(const std::string& folder) const;
  // Closes every table and query on this database; the connection stays, with the statements
  // it keeps prepared.
  void CloseDataSets();
  // The folder of the last successful Connect ("" when never connected).
  const std::string& Folder() const { return folder_; }
  const std::string& FileName() const { return file_name_; }
  // folder + file name of the last Connect.
  std::string Path() const { return folder_ + file_name_; }
  // A number that names the current connection: each Connect in the process gets a new one, so
  // what was read through an earlier connection is known to be of another.
  std::uint64_t ConnectionSerial() const { return connection_serial_; }

  // One explicit transaction at a time. BeginTransaction takes the write lock at once
  // (BEGIN IMMEDIATE), so a database held by another connection fails here and not in the
  // middle of the work.
  void BeginTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;

  // Runs one or more statements without results (schema set-up, pragmas).
  void Execute(const std::string& sql);

  // Creates `path` as a new database holding the statements `schema_sql` (a rollback-journal
  // file that is complete in itself, so it can be copied as one file). Raises when the file
  // exists already or cannot be written.
  static void CreateFile(const std::string& path, const std::string& schema_sql);

  // --- for the table layer itself ---
  sqlite3* Handle() const;                                // REQUIRES: Connected()
  sqlite3_stmt* Prepared(const std::string& sql);         // cached; reset before it is returned
  [[noreturn]] void Fail(const std::string& what) const;  // raises with the engine's text
  void Register(TDataSet* set);
  void Unregister(TDataSet* set);
  std::string NextSavepointName() { return "vm_sp" + std::to_string(++savepoints_); }

 private:
  std::string file_name_;
  std::string folder_;
  std::optional<FileId> file_id_;  // of the file opened by the last Connect
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> cache_;  // prepared statements by text
  std::vector<TDataSet*> sets_;                 // tables and queries on this database
  int savepoints_ = 0;                          // names savepoints uniquely
  std::uint64_t connection_serial_ = 0;         // of the current connection (0: none yet)
};

// Resets a cached statement (TDatabase::Prepared) when the work with it ends, so it holds no
// read lock.
class StatementUse final {
 public:
  explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~StatementUse() { sqlite3_reset(stmt_); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

// A transaction for one unit of work (the indexer's pass over one page): begun on
// construction, rolled back on destruction unless committed.
class TTransaction final {
 public:
  explicit TTransaction(TDatabase& db);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;
  void Commit();

 private:
  TDatabase& db_;
  bool open_;
};

// One read transaction for a run of reads (the search's word lookups and page rows): begun
// on construction when no transaction is open, ended on destruction. The reads inside it see
// one state of the database and take the engine's file locks once instead of once per
// statement. Inside a transaction that is already open it does nothing. Failures to begin or
// end it are not reported: the reads then run each in a transaction of their own.
class TReadTransaction final {
 public:
  explicit TReadTransaction(TDatabase& db);
  ~TReadTransaction();
  TReadTransaction(const TReadTransaction&) = delete;
  TReadTransaction& operator=(const TReadTransaction&) = delete;

 private:
  TDatabase& db_;
  bool began_ = false;
};

// A savepoint: nests inside a transaction (or stands for one when there is none). Released
// by Release(); rolled back to its start on destruction otherwise, so every change made
// since its construction is undone when the work ends early or raises.
class TSavepoint final {
 public:
  explicit TSavepoint(TDatabase& db);
  ~TSavepoint();
  TSavepoint(const TSavepoint&) = delete;
  TSavepoint& operator=(const TSavepoint&) = delete;
  void Release();
  void RollbackToStart();  // undoes the changes and ends the savepoint

 private:
  TDatabase& db_;
  std::string name_;
  bool open_;
};

}  // namespace vellumark
