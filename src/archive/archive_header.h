// The plain-text head of an index archive: nine texts, each ended by a 0x00 byte, in front of
// the compressed index stream.
//
//   1 "Vellumark Index v 1.0.0"    2 the maker line, ending with "Dunmereworkshop LLC."
//   3 Task_URL  4 Task_Description  5 Date as mm/dd/yyyy  6 Time_Start  7 Time_End
//   8 Files (decimal)  9 SearchDelimiters
//
// Texts 3 to 9 are the location's Tasks fields. Dates are stored as "YYYY-MM-DD" and written
// as "MM/DD/YYYY"; times go as "HH:MM:SS"; an empty field is the empty text.
#pragma once

#include <string>

#include "archive/byte_stream.h"
#include "util/exception.h"

namespace vellumark {

inline constexpr const char* kArchiveTitle = "Vellumark Index v 1.0.0";
inline constexpr const char* kArchiveTitleStart = "Vellumark Index";
inline constexpr const char* kArchiveVersion = "v 1.0.0";
inline constexpr const char* kArchiveMakerTag = "Dunmereworkshop LLC.";
inline constexpr const char* kArchiveMakerLine =
    "Index archive of Vellumark by Dunmereworkshop LLC.";

// A head that is cut short or fails its checks.
class EArchiveHeaderError : public Exception {
 public:
  using Exception::Exception;
};

// The seven location texts, in archive order, as the Tasks fields give them.
struct TArchiveTask {
  std::string task_url;
  std::string task_description;
  std::string date;  // "YYYY-MM-DD" in the table, "MM/DD/YYYY" in the archive
  std::string time_start;
  std::string time_end;
  std::string files;
  std::string search_delimiters;
};

// The whole head: texts 1 and 2, then the task's texts with the date written as
// "MM/DD/YYYY" (a date text in any other form is written as it is). A 0x00 byte inside a
// text is written as a blank.
std::string BuildArchiveHeader(const TArchiveTask& task);

// Reads one head text up to its 0x00 byte. Raises EArchiveHeaderError when the source ends
// first or the text runs longer than `max_bytes`.
std::string ReadHeaderText(TBufferedReader& in, std::size_t max_bytes = 1 << 20);

// Reads texts 1 and 2 and checks them: 1 must begin with "Vellumark Index" and hold
// "v 1.0.0", 2 must hold "Dunmereworkshop LLC.". Raises EArchiveHeaderError.
void ReadArchiveTitle(TBufferedReader& in);

// Reads texts 3 to 9 (the date as it stands in the archive). Raises EArchiveHeaderError.
TArchiveTask ReadArchiveTask(TBufferedReader& in);

// "YYYY-MM-DD" -> "MM/DD/YYYY"; any other text is returned as it is.
std::string ArchiveDateText(const std::string& stored);

}  // namespace vellumark
