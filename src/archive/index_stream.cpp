#include "archive/index_stream.h"

#include <algorithm>

#include "store/page_list.h"

namespace vellumark {

namespace {

constexpr unsigned char kTextEnd = 0x00;
constexpr unsigned char kSharedMark = 0xFF;
// Texts share a front part from this many bytes on; words from kMinSharedWord.
constexpr std::size_t kMinSharedText = 3;
constexpr std::size_t kMinSharedWord = 2;
constexpr std::size_t kMaxShared = 255;

constexpr unsigned char kWordShared = 0x20;
constexpr unsigned char kWordCountMask = 0x1F;

std::size_t SharedPrefix(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  std::size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// The bytes the format cannot carry inside a text.
void Clean(std::string& text, bool front_compressed) {
  for (char& c : text) {
    if (c == '\0')
      c = ' ';
    else if (front_compressed && static_cast<unsigned char>(c) == kSharedMark)
      c = '?';
  }
}

}  // namespace

void TIndexStreamWriter::WritePageCount(std::int64_t count) {
  std::string text = std::to_string(count);
  text.push_back('\0');
  sink_.Write(text);
}

void TIndexStreamWriter::WriteText(std::string_view text) {
  std::string clean(text);
  Clean(clean, false);
  clean.push_back('\0');
  sink_.Write(clean);
}

void TIndexStreamWriter::WriteFrontCompressed(std::string& text, std::string& previous) {
  Clean(text, true);
  std::size_t shared = std::min(SharedPrefix(text, previous), kMaxShared);
  std::string out;
  if (shared >= kMinSharedText) {
    out.assign(text, shared);
    out.push_back(static_cast<char>(kSharedMark));
    out.push_back(static_cast<char>(shared));
  } else {
    out = text;
    out.push_back('\0');
  }
  sink_.Write(out);
  previous.swap(text);
}

void TIndexStreamWriter::WritePage(const TPageRecord& page) {
  if (page.file_no < 1 || page.file_no > kMaxPageNo) {
    throw EIndexStreamError("Page number " + std::to_string(page.file_no) + " out of range");
  }
  // The number in 23 bits behind the mark bit: for every number below 2^20 these are the
  // three bytes of the format, and 1,048,576 (0x90 0x00 0x00) reads back whole.
  const auto n = static_cast<std::uint32_t>(page.file_no);
  const char head[3] = {static_cast<char>(((n >> 16) & 0xFF) | 0x80),
                        static_cast<char>((n >> 8) & 0xFF), static_cast<char>(n & 0xFF)};
  sink_.Write(std::string_view(head, 3));
  std::string address = page.address;
  WriteFrontCompressed(address, previous_address_);
  sink_.WriteByte(static_cast<unsigned char>(page.state & 0xFF));
  WriteText(page.header);
  WriteText(page.title);
  std::string text = page.text;
  WriteFrontCompressed(text, previous_text_);
}

void TIndexStreamWriter::WriteWord(std::string_view word, std::string_view page_list) {
  if (word.empty() || word.size() > kMaxStreamWord) {
    throw EIndexStreamError("Word of " + std::to_string(word.size()) + " bytes");
  }
  const std::uint64_t length = page_list.size();
  if (length > 0xFFFFFFFFu) throw EIndexStreamError("Page list too long");
  int length_bytes = length < 0x100 ? 1 : length < 0x10000 ? 2 : length < 0x1000000 ? 3 : 4;
  // At least one character stays in the record: a count of 0 would read as the end.
  std::size_t shared = std::min(SharedPrefix(word, previous_word_), word.size() - 1);
  if (shared < kMinSharedWord) shared = 0;

  std::string out;
  unsigned char head = static_cast<unsigned char>(word.size() - shared) |
                       static_cast<unsigned char>((length_bytes - 1) << 6);
  if (shared > 0) head |= kWordShared;
  out.push_back(static_cast<char>(head));
  if (shared > 0) out.push_back(static_cast<char>(shared));
  out.append(word.substr(shared));
  for (int i = length_bytes - 1; i >= 0; --i) {
    out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  }
  sink_.Write(out);
  sink_.Write(page_list);
  previous_word_.assign(word);
}

void TIndexStreamWriter::WriteEnd() { sink_.WriteByte(0x00); }

int TIndexStreamReader::Byte() {
  int b = in_.Next();
  if (b < 0) throw EIndexStreamError("Index stream cut short");
  return b;
}

std::int64_t TIndexStreamReader::ReadPageCount() {
  std::int64_t count = 0;
  int digits = 0;
  for (int b = Byte(); b != kTextEnd; b = Byte()) {
    if (b < '0' || b > '9' || ++digits > 9) throw EIndexStreamError("Bad page count");
    count = count * 10 + (b - '0');
  }
  if (digits == 0) throw EIndexStreamError("Bad page count");
  if (count > kMaxPageNo || static_cast<std::uint64_t>(count) > in_.Left() / kMinPageRecordBytes) {
    throw EIndexStreamError("Page count " + std::to_string(count) + " exceeds the stream");
  }
  return count;
}

std::string TIndexStreamReader::ReadText(const char* what) {
  std::string text;
  for (int b = Byte(); b != kTextEnd; b = Byte()) {
    if (text.size() >= kMaxStreamText) throw EIndexStreamError(std::string(what) + " too long");
    text.push_back(static_cast<char>(b));
  }
  return text;
}

std::string TIndexStreamReader::ReadFrontCompressed(std::string& previous, const char* what) {
  std::string tail;
  int b;
  for (b = Byte(); b != kTextEnd && b != kSharedMark; b = Byte()) {
    if (tail.size() >= kMaxStreamText) throw EIndexStreamError(std::string(what) + " too long");
    tail.push_back(static_cast<char>(b));
  }
  std::string text;
  if (b == kSharedMark) {
    std::size_t shared = static_cast<std::size_t>(Byte());
    if (shared > previous.size()) {
      throw EIndexStreamError(std::string(what) + ": shared part longer than the previous text");
    }
    if (shared + tail.size() > kMaxStreamText) {
      throw EIndexStreamError(std::string(what) + " too long");
    }
    text.reserve(shared + tail.size());
    text.assign(previous, 0, shared);
    text += tail;
  } else {
    text.swap(tail);
  }
  previous = text;
  return text;
}

void TIndexStreamReader::ReadPage(TPageRecord& page) {
  int b0 = Byte();
  std::int64_t file_no;
  if (b0 >= 0x80) {
    int b1 = Byte();
    int b2 = Byte();
    file_no = (static_cast<std::int64_t>(b0 & 0x7F) << 16) + (b1 << 8) + b2;
  } else {
    // A one-byte head counts on from the previous record.
    file_no = previous_file_no_ + b0;
  }
  if (file_no < 1 || file_no > kMaxPageNo) {
    throw EIndexStreamError("Page number " + std::to_string(file_no) + " out of range");
  }
  page.file_no = file_no;
  previous_file_no_ = file_no;
  page.address = ReadFrontCompressed(previous_address_, "Address");
  page.state = Byte();
  page.header = ReadText("Header");
  page.title = ReadText("Title");
  page.text = ReadFrontCompressed(previous_text_, "Text");
}

bool TIndexStreamReader::ReadWord(TWordRecord& word) {
  const int head = Byte();
  if (head == 0x00) return false;
  const std::size_t count = head & kWordCountMask;
  if (count == 0 || count > kMaxStreamWord) {
    throw EIndexStreamError("Bad word record head " + std::to_string(head));
  }
  std::size_t shared = 0;
  if (head & kWordShared) {
    shared = static_cast<std::size_t>(Byte());
    if (shared > previous_word_.size()) {
      throw EIndexStreamError("Word: shared part longer than the previous word");
    }
  }
  if (shared + count > kMaxStreamWord) throw EIndexStreamError("Word longer than 24 bytes");
  const int length_bytes = (head >> 6) + 1;
  if (in_.Left() < count + length_bytes) throw EIndexStreamError("Index stream cut short");

  word.word.assign(previous_word_, 0, shared);
  if (!in_.Take(count, word.word)) throw EIndexStreamError("Index stream cut short");
  if (word.word.find('\0', shared) != std::string::npos) {
    throw EIndexStreamError("Word holds a 0x00 byte");
  }
  std::uint64_t length = 0;
  for (int i = 0; i < length_bytes; ++i) length = (length << 8) | static_cast<unsigned>(Byte());
  if (length > in_.Left()) throw EIndexStreamError("Page list longer than the stream");
  word.page_list.clear();
  word.page_list.reserve(static_cast<std::size_t>(length));
  if (!in_.Take(static_cast<std::size_t>(length), word.page_list)) {
    throw EIndexStreamError("Index stream cut short");
  }
  previous_word_ = word.word;
  return true;
}

}  // namespace vellumark
