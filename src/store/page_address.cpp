#include "store/page_address.h"

#include <sqlite3.h>

#include "store/table.h"
#include "util/utf8.h"

namespace vellumark {

TPageAddress SplitPageAddress(std::string_view relative_address) {
  std::string_view head = Utf8Prefix(relative_address, kF1Length);
  return {std::string(head), std::string(relative_address.substr(head.size()))};
}

bool FindPage(TTable& files, std::string_view relative_address) {
  const TPageAddress address = SplitPageAddress(relative_address);
  // One keyed lookup on F1 and File_URLRest together (kPageAddressIndexSql), so pages
  // whose addresses share their first 40 bytes cost no more to find than others.
  TDatabase& db = files.Database();
  sqlite3_stmt* stmt = db.Prepared(
      "SELECT File_No FROM Files WHERE F1 = ? AND ifnull(File_URLRest, '') = ?"
      " ORDER BY File_No LIMIT 1");
  sqlite3_bind_text64(stmt, 1, address.head.data(), address.head.size(), SQLITE_STATIC,
                      SQLITE_UTF8);
  sqlite3_bind_text64(stmt, 2, address.tail.data(), address.tail.size(), SQLITE_STATIC,
                      SQLITE_UTF8);
  const int rc = sqlite3_step(stmt);
  const std::int64_t file_no = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
  sqlite3_reset(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) db.Fail("Cannot read table 'Files'");
  bool found = false;
  if (file_no) {
    files.SetIndexName("");
    found = files.FindKey({std::to_string(file_no)});
  }
  files.SetIndexName("I1");
  return found;
}

}  // namespace vellumark
