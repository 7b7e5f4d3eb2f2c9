// The postings recorded since the word lists were last written: a side table PendingPostings
// in the location's Index.db, which StoreWords appends to inside each page's own transaction,
// and which MergePendingPostings folds into Words1, Words2 and Words3 once, when a run ends and
// whenever a location is opened (so the postings of a killed run arrive at the next open).
//
// Why a side table: a page list is one value that grows with the site, so appending a posting
// by rewriting the list costs in proportion to the index. A page's pending row costs in
// proportion to the page, and the merge writes each list it touches once. The word tables then
// hold exactly the bytes per-page recording writes: a word's postings in the order the pages
// were recorded, and within one page in word-list order.
//
// Rows (doc/formats.md): one row per page, its Id one above the highest, so Id order is
// recording order; in a row the keys are in byte order. The merge reads the rows in Id order and
// gathers the postings of a range of keys at a time: all keys when they fit its memory budget, else
// as many as fit, then the next range in another pass over the rows. Each pass writes its keys'
// lists and records how far it got in the same transaction (the row of Id 0); the last pass also
// deletes the merged rows. So a merge killed at any point loses no posting and writes none twice,
// and the next merge goes on where it stopped. Between runs the table does not exist.
//
// The functions raise EDatabaseError on engine failures and on rows they cannot read, and use
// `db` only for the call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/view.h"
#include "store/database.h"

namespace vellumark {

inline constexpr const char* kPendingTableName = "PendingPostings";

// The postings of one page, gathered and written as its row.
class TPendingPage final {
 public:
  // REQUIRES: 1 <= file_no <= kMaxPageNo.
  explicit TPendingPage(int file_no);

  // The posting of `key` (a word key of 1 to 24 bytes) with `weight` (1 to 7). Postings of
  // one key keep the order in which they were added.
  void Add(std::string key, int weight);
  bool Empty() const { return postings_.empty(); }
  // Appends the page's row, creating the table when it is missing; all or nothing. Call it in
  // the page's transaction, so the row lands with the page's other changes or not at all.
  void Write(TDatabase& db);

 private:
  int file_no_;
  std::vector<std::pair<std::string, int>> postings_;  // key, weight
};

struct TMergeOptions {
  std::size_t memory_budget = std::size_t{64} << 20;  // bytes of postings a pass gathers
  int status_every = 2000;                            // lists written between status texts
};

// True when the table exists (it then holds rows, unless a merge was cut short).
bool HasPendingPostings(TDatabase& db);

// Appends every pending posting to its word's page list and removes the table; then, when the
// removal left more than a quarter of the file unused, compacts the file. Shows "Writing word
// lists ..." on `status` (may be null) as it goes. Nothing to do when the table is missing.
// REQUIRES: no transaction is open on `db`.
void MergePendingPostings(TDatabase& db, StatusView* status = nullptr,
                          const TMergeOptions& options = {});

}  // namespace vellumark
