// The index stream: the uncompressed content of an index archive, one location's pages and
// words in a compact byte format of its own (doc/formats.md, "Index archive").
//
//   page count     decimal text, 0x00
//   page records   as many as the count says
//   word records   the rows of the three word tables merged in byte order, then 0x00
//
// Neighbouring addresses, excerpts and words are front-compressed against the previous record
// of their kind. The writer and the reader each keep those previous texts, so one object
// writes or reads one whole stream, in order.
//
// The reader trusts nothing: every count, length and head byte is checked against the bytes
// left in its source before it is used, so a cut, corrupt or hostile stream raises
// EIndexStreamError and never makes it allocate more than the source holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/byte_stream.h"
#include "store/schema.h"
#include "util/exception.h"

namespace vellumark {

// A stream that is cut short, breaks a rule of the format, or holds a value out of range;
// also a record the writer cannot represent.
class EIndexStreamError : public Exception {
 public:
  using Exception::Exception;
};

// One row of Files as the stream carries it.
struct TPageRecord {
  std::int64_t file_no = 0;  // 1 to kMaxPageNo
  std::string address;       // F1 and File_URLRest joined
  int state = 0;             // File_State, 0 to 255 (0 also for an empty field)
  std::string header;        // File_Header
  std::string title;         // File_Title
  std::string text;          // File_Text
};

// One row of a word table.
struct TWordRecord {
  std::string word;       // 1 to 24 bytes
  std::string page_list;  // the Files blob, unchanged
};

// Limits the reader enforces besides the bytes left.
inline constexpr std::size_t kMaxStreamText = 1 << 20;         // any one text, in bytes
inline constexpr std::size_t kMaxStreamWord = kMaxWordLength;  // a full word, in bytes

class TIndexStreamWriter final {
 public:
  // The sink must outlive the writer.
  explicit TIndexStreamWriter(TByteSink& sink) : sink_(sink) {}

  void WritePageCount(std::int64_t count);
  // Writes the record with the three-byte page number head. A 0x00 byte in any text is
  // written as a blank, and a 0xFF byte in the address or the excerpt as "?", because the
  // format ends texts at those bytes. Raises EIndexStreamError for a page number outside
  // 1 to kMaxPageNo.
  void WritePage(const TPageRecord& page);
  // Raises EIndexStreamError for a word that is empty or longer than 24 bytes, and for a
  // page list of 2^32 bytes or more.
  void WriteWord(std::string_view word, std::string_view page_list);
  // The closing 0x00 byte.
  void WriteEnd();

 private:
  void WriteText(std::string_view text);
  void WriteFrontCompressed(std::string& text, std::string& previous);

  TByteSink& sink_;
  std::string previous_address_;
  std::string previous_text_;
  std::string previous_word_;
};

class TIndexStreamReader final {
 public:
  // The source must outlive the reader.
  explicit TIndexStreamReader(TByteSource& source) : in_(source) {}

  // Reads the page count: digits only, at most what the bytes left can hold in records.
  std::int64_t ReadPageCount();
  void ReadPage(TPageRecord& page);
  // Reads the next word record; false at the closing 0x00 byte.
  bool ReadWord(TWordRecord& word);

  std::uint64_t BytesLeft() const { return in_.Left(); }
  std::uint64_t BytesRead() const { return in_.Taken(); }

 private:
  int Byte();  // the next byte; raises at the end
  std::string ReadText(const char* what);
  std::string ReadFrontCompressed(std::string& previous, const char* what);

  TBufferedReader in_;
  std::int64_t previous_file_no_ = 0;
  std::string previous_address_;
  std::string previous_text_;
  std::string previous_word_;
};

// A page record takes at least this many bytes (one-byte head, five empty texts and the
// state byte), which bounds the page count by the bytes left.
inline constexpr std::uint64_t kMinPageRecordBytes = 6;

}  // namespace vellumark
