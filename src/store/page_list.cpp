#include "store/page_list.h"

#include <cassert>

namespace vellumark {

void AppendPosting(std::string& list, int file_no, int weight) {
  assert(file_no >= 1 && file_no <= kMaxPageNo && weight >= 1 && weight <= kMaxWeight);
  const unsigned n = static_cast<unsigned>(file_no - 1);
  const unsigned w = static_cast<unsigned>(weight) & 7u;
  if (file_no <= kMaxShortPageNo) {
    list.push_back(static_cast<char>(w * 16 + (n >> 8)));
    list.push_back(static_cast<char>(n & 0xFF));
  } else {
    list.push_back(static_cast<char>(0x80 + w * 16 + ((n >> 8) & 0x0F)));
    list.push_back(static_cast<char>(n & 0xFF));
    list.push_back(static_cast<char>(((n >> 16) & 0x0F) * 16 + ((n >> 12) & 0x0F)));
  }
}

bool TPageListDecoder::Next(TPosting& posting) {
  if (pos_ >= list_.size()) return false;
  const auto b0 = static_cast<unsigned char>(list_[pos_]);
  const std::size_t size = (b0 & 0x80) ? 3 : 2;
  if (pos_ + size > list_.size()) {
    truncated_ = true;
    pos_ = list_.size();
    return false;
  }
  const auto b1 = static_cast<unsigned char>(list_[pos_ + 1]);
  unsigned n = (b0 & 0x0Fu) * 256 + b1;
  if (size == 3) n += static_cast<unsigned char>(list_[pos_ + 2]) * 4096u;
  posting.file_no = static_cast<int>(n) + 1;
  posting.weight = (b0 >> 4) & 7;
  pos_ += size;
  return true;
}

int WeightOf(int count, std::int64_t text_length) {
  int c = count;
  if (c > 4 && text_length > 30000) {
    c = c / 2 + 1;
    if (text_length > 100000) {
      c = c / 2 + 1;
      if (text_length > 1000000) c = c / 2 + 1;
    }
  }
  if (c <= 1) return 1;
  if (c == 2) return 2;
  if (c <= 4) return 3;
  if (c <= 9) return 4;
  if (c <= 19) return 5;
  if (c <= 49) return 6;
  return 7;
}

}  // namespace vellumark
