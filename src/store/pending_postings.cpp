#include "store/pending_postings.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <optional>
#include <vector>

#include "store/page_list.h"
#include "store/schema.h"
#include "store/word_store.h"

namespace vellumark {

namespace {

constexpr unsigned char kRowFormat = 1;
constexpr std::size_t kRowHeader = 4;  // format byte, File_No in 3 bytes
// The row of this Id records how far a merge cut short had got.
constexpr std::int64_t kProgressId = 0;
// What a key held in a pass costs beyond its bytes and postings.
constexpr std::size_t kKeyOverhead = 64;

const char* const kMergeStatus = "Writing word lists ...";

void Step(TDatabase& db, sqlite3_stmt* stmt, const char* what) {
  if (sqlite3_step(stmt) != SQLITE_DONE) db.Fail(what);
}

// The first column of the first row of `sql` as an integer (0 for none or NULL).
std::int64_t IntegerOf(TDatabase& db, const char* sql) {
  sqlite3_stmt* stmt = db.Prepared(sql);
  StatementUse use(stmt);
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) db.Fail(sql);
  return rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
}

std::string_view BlobOf(sqlite3_stmt* stmt, int column) {
  const void* data = sqlite3_column_blob(stmt, column);
  const int size = sqlite3_column_bytes(stmt, column);
  return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

[[noreturn]] void Damaged(std::int64_t id) {
  throw EPendingPostingsDamaged("Pending postings row " + std::to_string(id) + " is damaged");
}

// Where a merge stands: the rows it takes (Id 1 to last_id) and the first key whose list it
// has not written yet ("" before the first pass).
struct Progress {
  std::int64_t last_id = 0;
  std::string next_key;
};

Progress ReadProgress(TDatabase& db) {
  Progress progress;
  sqlite3_stmt* stmt = db.Prepared("SELECT Entries FROM PendingPostings WHERE Id = ?");
  StatementUse use(stmt);
  sqlite3_bind_int64(stmt, 1, kProgressId);
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    const std::string_view row = BlobOf(stmt, 0);
    if (row.size() < 9 || static_cast<unsigned char>(row[0]) != kRowFormat) Damaged(kProgressId);
    for (std::size_t i = 1; i < 9; ++i) {
      progress.last_id = progress.last_id << 8 | static_cast<unsigned char>(row[i]);
    }
    progress.next_key.assign(row.substr(9));
    if (progress.last_id < 1 || progress.next_key.size() > kMaxWordLength) Damaged(kProgressId);
    return progress;
  }
  if (rc != SQLITE_DONE) db.Fail("Cannot read the pending postings");
  progress.last_id = IntegerOf(db, "SELECT max(Id) FROM PendingPostings");
  return progress;
}

void WriteProgress(TDatabase& db, const Progress& progress) {
  std::string row(1, static_cast<char>(kRowFormat));
  for (int shift = 56; shift >= 0; shift -= 8) {
    row.push_back(static_cast<char>((progress.last_id >> shift) & 0xFF));
  }
  row += progress.next_key;
  sqlite3_stmt* stmt =
      db.Prepared("INSERT OR REPLACE INTO PendingPostings (Id, Entries) VALUES (?, ?)");
  StatementUse use(stmt);
  sqlite3_bind_int64(stmt, 1, kProgressId);
  sqlite3_bind_blob64(stmt, 2, row.data(), row.size(), SQLITE_STATIC);
  Step(db, stmt, "Cannot record the progress of the word lists");
}

// Reads the entries of row `id` in order: RowReader r(id, row); while (r.Next()) r.Key() ...
// Raises when the row does not read back as written.
class RowReader {
 public:
  RowReader(std::int64_t id, std::string_view row) : id_(id), row_(row) {
    if (row.size() < kRowHeader || Byte(0) != kRowFormat) Damaged(id_);
    file_no_ = (Byte(1) << 16) | (Byte(2) << 8) | Byte(3);
    if (file_no_ < 1 || file_no_ > kMaxPageNo) Damaged(id_);
  }

  bool Next() {
    if (pos_ == row_.size()) return false;
    if (row_.size() - pos_ < 2) Damaged(id_);
    const std::size_t shared = Byte(pos_);
    const std::size_t length = Byte(pos_ + 1) >> 3;
    weight_ = Byte(pos_ + 1) & 7;
    pos_ += 2;
    if (shared > key_.size() || shared + length == 0 || shared + length > kMaxWordLength ||
        weight_ == 0 || length > row_.size() - pos_) {
      Damaged(id_);
    }
    // Keys come in byte order: the new key's tail sorts at or after the previous key's.
    const std::string_view tail = row_.substr(pos_, length);
    if (tail < std::string_view(key_).substr(shared)) Damaged(id_);
    key_.resize(shared);
    key_.append(tail);
    pos_ += length;
    return true;
  }

  int FileNo() const { return file_no_; }
  const std::string& Key() const { return key_; }
  int Weight() const { return weight_; }

 private:
  unsigned Byte(std::size_t i) const { return static_cast<unsigned char>(row_[i]); }

  const std::int64_t id_;
  const std::string_view row_;  // not owned
  int file_no_ = 0;
  std::size_t pos_ = kRowHeader;
  std::string key_;
  int weight_ = 0;
};

// Runs `f(id, row)` on the rows 1 to last_id in Id order.
template <typename F>
void ForEachRow(TDatabase& db, std::int64_t last_id, F&& f) {
  sqlite3_stmt* rows =
      db.Prepared("SELECT Id, Entries FROM PendingPostings WHERE Id BETWEEN 1 AND ? ORDER BY Id");
  StatementUse use(rows);
  sqlite3_bind_int64(rows, 1, last_id);
  int rc;
  while ((rc = sqlite3_step(rows)) == SQLITE_ROW) f(sqlite3_column_int64(rows, 0), BlobOf(rows, 1));
  if (rc != SQLITE_DONE) db.Fail("Cannot read the pending postings");
}

// The keys at which passes start, when the postings from `progress.next_key` on exceed the
// budget: the postings are counted by the first two bytes of their keys, and each pass takes
// whole groups up to about the budget (an overfull one is split further as it is gathered).
std::vector<std::string> PlanPasses(TDatabase& db, const Progress& progress, std::size_t budget) {
  sqlite3_stmt* size =
      db.Prepared("SELECT sum(length(Entries)) FROM PendingPostings WHERE Id BETWEEN 1 AND ?");
  {
    StatementUse use(size);
    sqlite3_bind_int64(size, 1, progress.last_id);
    if (sqlite3_step(size) != SQLITE_ROW) db.Fail("Cannot read the pending postings");
    // A row holds each posting's key besides its 2 or 3 bytes: what fits here fits in memory.
    if (static_cast<std::uint64_t>(sqlite3_column_int64(size, 0)) <= budget / 2) return {};
  }
  const auto group = [](const std::string& key) {
    return static_cast<unsigned char>(key[0]) << 8 |
           (key.size() > 1 ? static_cast<unsigned char>(key[1]) : 0u);
  };
  std::vector<std::uint64_t> bytes(1 << 16);
  ForEachRow(db, progress.last_id, [&](std::int64_t id, std::string_view row) {
    RowReader reader(id, row);
    const unsigned posting = reader.FileNo() <= kMaxShortPageNo ? 2 : 3;
    while (reader.Next()) {
      if (reader.Key() >= progress.next_key) bytes[group(reader.Key())] += posting;
    }
  });
  // Twice the postings: a list's room grows ahead of its bytes, and each key costs its own.
  std::vector<std::string> starts;
  std::uint64_t sum = 0;
  for (unsigned g = 0; g < bytes.size(); ++g) {
    if (sum > 0 && sum + 2 * bytes[g] > budget) {
      starts.push_back(g & 0xFF
                           ? std::string{static_cast<char>(g >> 8), static_cast<char>(g & 0xFF)}
                           : std::string(1, static_cast<char>(g >> 8)));
      sum = 0;
    }
    sum += 2 * bytes[g];
  }
  return starts;
}

// The postings one pass gathers: those of the keys from `from` up to, not including, the
// bound (none: to the end), by key. Over budget, it lowers the bound.
//
// The keys are held in an open-addressing table: a pass adds a posting for every entry of
// every row, so one probe of adjacent memory per posting matters.
class Gathering {
 public:
  struct List {
    std::uint64_t hash = 0;  // 0: the slot is free
    std::string key;
    std::string postings;  // to append to the key's page list
  };

  Gathering(std::string from, std::optional<std::string> bound, std::size_t budget)
      : from_(std::move(from)), bound_(std::move(bound)), budget_(budget), slots_(1024) {}

  // Adds the postings of row `id` whose keys lie in the range.
  void AddRow(std::int64_t id, std::string_view row) {
    RowReader reader(id, row);
    std::string posting[kMaxWeight + 1];
    for (int w = 1; w <= kMaxWeight; ++w) AppendPosting(posting[w], reader.FileNo(), w);
    while (reader.Next()) {
      const std::string& key = reader.Key();
      if (bound_ && key >= *bound_) break;  // the rest of the row lies beyond the range
      if (!from_.empty() && key < from_) continue;
      const std::string& bytes = posting[reader.Weight()];
      ListOf(key).postings += bytes;
      bytes_ += bytes.size();
      if (bytes_ > budget_ && used_ > 1) KeepLowerHalf();
    }
  }

  const std::string& From() const { return from_; }
  const std::optional<std::string>& Bound() const { return bound_; }
  // The gathered lists in key order, so each b-tree page of the word tables is visited once.
  std::vector<const List*> InKeyOrder() const {
    std::vector<const List*> order;
    order.reserve(used_);
    for (const List& list : slots_) {
      if (list.hash) order.push_back(&list);
    }
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->key < b->key; });
    return order;
  }

 private:
  List& ListOf(const std::string& key) {
    if (2 * (used_ + 1) > slots_.size()) Rehash(2 * slots_.size());
    // FNV-1a: keys are short, so a simple byte loop beats a general-purpose hash.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hash |= 1;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      List& list = slots_[i];
      if (list.hash == hash && list.key == key) return list;
      if (list.hash == 0) {
        list.hash = hash;
        list.key = key;
        ++used_;
        bytes_ += key.size() + kKeyOverhead;
        return list;
      }
    }
  }

  // Moves the used slots into a table of `size` slots (a power of two).
  void Rehash(std::size_t size) {
    std::vector<List> old(size);
    old.swap(slots_);
    const std::size_t mask = size - 1;
    for (List& list : old) {
      if (!list.hash) continue;
      std::size_t i = list.hash & mask;
      while (slots_[i].hash) i = (i + 1) & mask;
      slots_[i] = std::move(list);
    }
  }

  // Over budget: the upper half of the keys is left for a later pass.
  void KeepLowerHalf() {
    std::vector<const std::string*> keys;
    keys.reserve(used_);
    for (const List& list : slots_) {
      if (list.hash) keys.push_back(&list.key);
    }
    const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
    std::nth_element(keys.begin(), middle, keys.end(),
                     [](const std::string* a, const std::string* b) { return *a < *b; });
    bound_ = **middle;
    used_ = 0;
    bytes_ = 0;
    for (List& list : slots_) {
      if (!list.hash) continue;
      if (list.key >= *bound_) {
        list = List();
      } else {
        ++used_;
        bytes_ += list.key.size() + kKeyOverhead + list.postings.size();
      }
    }
    Rehash(slots_.size());  // the freed slots may break the probe runs of the kept ones
  }

  const std::string from_;
  std::optional<std::string> bound_;
  const std::size_t budget_;
  std::vector<List> slots_;  // a power of two in size, at most half used
  std::size_t used_ = 0;
  std::size_t bytes_ = 0;
};

// Whether word table `table` (1 to 3) holds a word from `from` on, below `bound` when set.
bool HoldsWordsIn(TDatabase& db, int table, const std::string& from,
                  const std::optional<std::string>& bound) {
  sqlite3_stmt* stmt =
      db.Prepared("SELECT 1 FROM Words" + std::to_string(table) + " WHERE Word >= ?" +
                  (bound ? " AND Word < ?" : "") + " LIMIT 1");
  StatementUse use(stmt);
  sqlite3_bind_text64(stmt, 1, from.data(), from.size(), SQLITE_STATIC, SQLITE_UTF8);
  if (bound) sqlite3_bind_text64(stmt, 2, bound->data(), bound->size(), SQLITE_STATIC, SQLITE_UTF8);
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) db.Fail("Cannot read the word lists");
  return rc == SQLITE_ROW;
}

// Appends each key's postings to its page list, creating the word record when there is none.
void WriteLists(TDatabase& db, const Gathering& gathering, StatusView* status, int status_every) {
  static const std::string kSelect[3] = {"SELECT Files FROM Words1 WHERE Word = ?",
                                         "SELECT Files FROM Words2 WHERE Word = ?",
                                         "SELECT Files FROM Words3 WHERE Word = ?"};
  static const std::string kUpdate[3] = {"UPDATE Words1 SET Files = ? WHERE Word = ?",
                                         "UPDATE Words2 SET Files = ? WHERE Word = ?",
                                         "UPDATE Words3 SET Files = ? WHERE Word = ?"};
  static const std::string kInsert[3] = {"INSERT INTO Words1 (Files, Word) VALUES (?, ?)",
                                         "INSERT INTO Words2 (Files, Word) VALUES (?, ?)",
                                         "INSERT INTO Words3 (Files, Word) VALUES (?, ?)"};
  // A table that holds no word of the pass's range (a new index, say) has no list to read.
  bool may_hold[3];
  for (int table = 0; table < 3; ++table) {
    may_hold[table] = HoldsWordsIn(db, table + 1, gathering.From(), gathering.Bound());
  }
  std::string list;
  int counter = 0;
  for (const Gathering::List* entry : gathering.InKeyOrder()) {
    if (status && ++counter >= status_every) {
      status->ShowStatus(kMergeStatus);
      counter = 0;
    }
    const std::string& key = entry->key;
    const int table = WordTableNumber(key) - 1;
    bool found = false;
    if (may_hold[table]) {
      sqlite3_stmt* select = db.Prepared(kSelect[table]);
      StatementUse use(select);
      sqlite3_bind_text64(select, 1, key.data(), key.size(), SQLITE_STATIC, SQLITE_UTF8);
      const int rc = sqlite3_step(select);
      if (rc == SQLITE_ROW) {
        found = true;
        list.assign(BlobOf(select, 0));
      } else if (rc != SQLITE_DONE) {
        db.Fail("Cannot read the word list of '" + key + "'");
      }
    }
    if (!found) list.clear();
    list += entry->postings;
    sqlite3_stmt* write = db.Prepared(found ? kUpdate[table] : kInsert[table]);
    StatementUse use(write);
    sqlite3_bind_blob64(write, 1, list.data(), list.size(), SQLITE_STATIC);
    sqlite3_bind_text64(write, 2, key.data(), key.size(), SQLITE_STATIC, SQLITE_UTF8);
    Step(db, write, "Cannot write a word list");
  }
}

// One pass, in one transaction: gathers the keys from where the merge stands up to the next
// of `starts` (or as many as the budget allows), and writes their lists. When keys remain it
// records where it stopped; else it deletes the merged rows, and the table when nothing else
// is in it. True when the merge is complete.
bool MergePass(TDatabase& db, const std::vector<std::string>& starts, StatusView* status,
               const TMergeOptions& options) {
  TTransaction transaction(db);
  Progress progress = ReadProgress(db);
  const auto next = std::upper_bound(starts.begin(), starts.end(), progress.next_key);
  Gathering gathering(progress.next_key,
                      next == starts.end() ? std::nullopt : std::optional<std::string>(*next),
                      options.memory_budget);
  ForEachRow(db, progress.last_id,
             [&](std::int64_t id, std::string_view row) { gathering.AddRow(id, row); });
  if (status) status->ShowStatus(kMergeStatus);
  WriteLists(db, gathering, status, options.status_every);
  if (gathering.Bound()) {
    progress.next_key = *gathering.Bound();
    WriteProgress(db, progress);
  } else {
    sqlite3_stmt* remove = db.Prepared("DELETE FROM PendingPostings WHERE Id <= ?");
    {
      StatementUse use(remove);
      sqlite3_bind_int64(remove, 1, progress.last_id);
      Step(db, remove, "Cannot remove the merged postings");
    }
    // Rows another connection appended meanwhile wait for the next merge.
    if (IntegerOf(db, "SELECT count(*) FROM (SELECT 1 FROM PendingPostings LIMIT 1)") == 0) {
      db.Execute(std::string("DROP TABLE ") + kPendingTableName);
    }
  }
  transaction.Commit();
  return !gathering.Bound();
}

}  // namespace

TPendingPage::TPendingPage(int file_no) : file_no_(file_no) {
  assert(file_no >= 1 && file_no <= kMaxPageNo);
}

void TPendingPage::Add(std::string key, int weight) {
  assert(!key.empty() && key.size() <= kMaxWordLength && weight >= 1 && weight <= kMaxWeight);
  postings_.emplace_back(std::move(key), weight);
}

void TPendingPage::Write(TDatabase& db) {
  // Keys in byte order let a merge pass stop reading a row at the end of its range. The word
  // list is in collation order, which is byte order for most words; a stable sort keeps the
  // postings of one key in their order.
  const auto by_key = [](const auto& a, const auto& b) { return a.first < b.first; };
  if (!std::is_sorted(postings_.begin(), postings_.end(), by_key)) {
    std::stable_sort(postings_.begin(), postings_.end(), by_key);
  }
  std::string row = {static_cast<char>(kRowFormat), static_cast<char>(file_no_ >> 16),
                     static_cast<char>((file_no_ >> 8) & 0xFF), static_cast<char>(file_no_ & 0xFF)};
  std::string_view previous;
  for (const auto& [key, weight] : postings_) {
    std::size_t shared = 0;
    const std::size_t most = std::min(key.size(), previous.size());
    while (shared < most && key[shared] == previous[shared]) ++shared;
    row.push_back(static_cast<char>(shared));
    row.push_back(static_cast<char>(((key.size() - shared) << 3) | weight));
    row.append(key, shared);
    previous = key;
  }
  TSavepoint savepoint(db);
  db.Execute(std::string("CREATE TABLE IF NOT EXISTS ") + kPendingTableName +
             " (Id INTEGER PRIMARY KEY, Entries BLOB NOT NULL)");
  // Without an Id the row gets one above the highest: recording order.
  sqlite3_stmt* insert = db.Prepared("INSERT INTO PendingPostings (Entries) VALUES (?)");
  {
    StatementUse use(insert);
    sqlite3_bind_blob64(insert, 1, row.data(), row.size(), SQLITE_STATIC);
    Step(db, insert, "Cannot record the postings of a page");
  }
  savepoint.Release();
}

bool HasPendingPostings(TDatabase& db) {
  sqlite3_stmt* stmt = db.Prepared("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  StatementUse use(stmt);
  sqlite3_bind_text(stmt, 1, kPendingTableName, -1, SQLITE_STATIC);
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) db.Fail("Cannot read the schema");
  return rc == SQLITE_ROW;
}

void MergePendingPostings(TDatabase& db, StatusView* status, const TMergeOptions& options) {
  assert(!db.InTransaction());
  if (!HasPendingPostings(db)) return;
  if (status) status->ShowStatus(kMergeStatus);
  const std::vector<std::string> starts = PlanPasses(db, ReadProgress(db), options.memory_budget);
  while (!MergePass(db, starts, status, options)) {
  }
  // The rows' pages are free now. When they are a large part of the file (after a run that
  // added much to a small index), copy the file compactly; the cost is bounded by a multiple
  // of what the run added.
  const std::int64_t pages = IntegerOf(db, "PRAGMA page_count");
  const std::int64_t free_pages = IntegerOf(db, "PRAGMA freelist_count");
  if (free_pages * 4 <= pages) return;
  try {
    db.Execute("VACUUM");
  } catch (const EDatabaseError&) {
    // No room for the copy: the index is whole, only larger than it need be.
  }
}

}  // namespace vellumark
