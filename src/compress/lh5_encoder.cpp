// The LH5 encoder: a lazy LZ77 parse over a 16,640-byte text buffer, with the matches found by
// a binary search tree per 3-byte hash, and static Huffman blocks.
//
// The match finder keeps, for each hash of the next three bytes, a binary tree of the window's
// positions ordered by the text that starts there (at most 256 bytes compared) and arranged so
// that every node is newer than the nodes below it: each new position becomes the root and the
// old tree is split along its search path. The search path therefore meets every candidate
// that shares the longest prefix, and meets the newest of them first, which gives the longest
// match with ties to the most recent position. A node older than the window ends the path; all
// nodes below it are older still. Positions are absolute stream offsets, so the buffer shift
// does not renumber the tree.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "compress/lh5.h"
#include "compress/lh5_huffman.h"

namespace vellumark {

namespace {

using namespace lh5;

constexpr int kTextSize = 2 * kDicSize + kMaxMatch;  // 16,640
constexpr int kHashBits = 16;
constexpr int kTreeSlots = 16384;  // at least the window plus the current position; power of 2
// Positions are offsets from the start of the text buffer's first filling, which begin at
// 8,448, so 0 never names a position and marks an empty link. Inputs are below 2^31 bytes.
using Pos = uint32_t;
constexpr Pos kNil = 0;

int BitLength(unsigned v) { return v == 0 ? 0 : 32 - __builtin_clz(v); }

// Length of the common prefix of `a` and `b`, at most kMaxMatch, knowing that the first
// `len` bytes agree. Compares 8 bytes at a time; both texts have kMaxMatch bytes readable.
static_assert(std::endian::native == std::endian::little);
inline int CommonPrefix(const uint8_t* a, const uint8_t* b, int len) {
  while (len + 8 <= kMaxMatch) {
    uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    if (x != y) return len + __builtin_ctzll(x ^ y) / 8;  // little-endian: lowest byte first
    len += 8;
  }
  while (len < kMaxMatch && a[len] == b[len]) ++len;
  return len;
}

// Writes fields most significant bit first through the run state.
class BitWriter {
 public:
  explicit BitWriter(TCompressRunState& state) : state_(state) {}
  // REQUIRES: 0 <= n <= 24.
  void Put(int n, uint32_t value) {
    acc_ = (acc_ << n) | (value & ((1u << n) - 1));
    count_ += n;
    while (count_ >= 8) {
      count_ -= 8;
      state_.WriteByte(static_cast<uint8_t>(acc_ >> count_));
    }
  }
  // Bits still pending (fewer than 8) are never written: the stream ends at a whole byte.

 private:
  TCompressRunState& state_;
  uint64_t acc_ = 0;  // pending bits in the low `count_` bits
  int count_ = 0;
};

class Encoder {
 public:
  explicit Encoder(TCompressRunState& state)
      : state_(state),
        bits_(state),
        text_(kTextSize, 0),
        head_(1u << kHashBits, kNil),
        smaller_(kTreeSlots, kNil),
        larger_(kTreeSlots, kNil),
        buf_(kBlockBufferSize, 0) {}

  void Run();

 private:
  int ReadText(int at, int count);
  void Advance();
  void FindAndInsert();
  void Output(int c, unsigned distance_value);
  void SendBlock();
  int CLenCount() const;  // C lengths up to the last non-zero one
  template <typename Emit>
  void WalkCLen(Emit emit) const;
  void CountTFreq();
  void WritePtLen(int nn, int nbit, int special, const uint8_t* len);
  void WriteCLen();

  TCompressRunState& state_;
  BitWriter bits_;

  std::vector<uint8_t> text_;  // the text buffer; the current position runs in its upper half
  int pos_ = 0;                // current position in text_
  Pos base_ = 0;               // position of text_[0]
  int64_t remainder_ = 0;      // real bytes from the current position on
  int match_len_ = 0;          // match found for the current position
  Pos match_pos_ = 0;          // its position

  std::vector<Pos> head_;     // per hash: the newest position, root of its tree
  std::vector<Pos> smaller_;  // per tree slot: subtree of texts that sort before the node
  std::vector<Pos> larger_;   // per tree slot: subtree of texts that sort after the node

  std::vector<uint8_t> buf_;  // pending symbols, a flag byte before each group of 8
  int buf_pos_ = 0;
  int flag_pos_ = 0;
  unsigned flag_mask_ = 0;

  std::array<uint32_t, kNC> c_freq_{};
  std::array<uint32_t, kNP> p_freq_{};
  std::array<uint32_t, kNT> t_freq_{};
  std::array<uint8_t, kNC> c_len_{};
  std::array<uint16_t, kNC> c_code_{};
  std::array<uint8_t, kNP> p_len_{};
  std::array<uint16_t, kNP> p_code_{};
  std::array<uint8_t, kNT> t_len_{};
  std::array<uint16_t, kNT> t_code_{};
};

int Encoder::ReadText(int at, int count) {
  int n = 0;
  uint8_t b;
  while (n < count && state_.ReadByte(b)) text_[at + n++] = b;
  return n;
}

void Encoder::Run() {
  const int start = kDicSize + kMaxMatch;  // 8,448
  const int n = ReadText(start, kDicSize);
  std::fill(text_.begin() + start + n, text_.begin() + start + kDicSize, ' ');
  remainder_ = n;
  if (n == 0) return;
  pos_ = start;
  match_len_ = 0;
  match_pos_ = 0;
  FindAndInsert();
  while (remainder_ > 0) {
    const int last_len = match_len_;
    const Pos last_pos = match_pos_;
    Advance();
    if (match_len_ > remainder_) match_len_ = static_cast<int>(remainder_);
    if (match_len_ > last_len || last_len < kThreshold) {
      Output(text_[pos_ - 1], 0);
    } else {
      Output(last_len + (256 - kThreshold),
             static_cast<unsigned>(base_ + pos_ - last_pos - 2) & (kDicSize - 1));
      for (int i = 1; i < last_len; ++i) Advance();
      if (match_len_ > remainder_) match_len_ = static_cast<int>(remainder_);
    }
  }
  SendBlock();
  bits_.Put(7, 0);
}

void Encoder::Advance() {
  --remainder_;
  if (++pos_ == 2 * kDicSize) {
    std::memmove(text_.data(), text_.data() + kDicSize, kDicSize + kMaxMatch);
    // A short read leaves the places behind the new bytes as they were.
    remainder_ += ReadText(kDicSize + kMaxMatch, kDicSize);
    pos_ = kDicSize;
    base_ += kDicSize;
  }
  FindAndInsert();
}

void Encoder::FindAndInsert() {
  const Pos p = base_ + static_cast<Pos>(pos_);
  const uint8_t* cur = text_.data() + pos_;
  const uint32_t key = (uint32_t{cur[0]} << 16) | (uint32_t{cur[1]} << 8) | cur[2];
  const uint32_t h = (key * 2654435761u) >> (32 - kHashBits);
  Pos cand = head_[h];
  head_[h] = p;
  // The next position's bucket is a likely cache miss; ask for it now.
  const uint32_t next_key = (key << 8 | cur[3]) & 0xFFFFFF;
  __builtin_prefetch(&head_[(next_key * 2654435761u) >> (32 - kHashBits)]);
  constexpr Pos kSlotMask = kTreeSlots - 1;
  Pos* smaller_link = &smaller_[p & kSlotMask];  // where the next smaller node goes
  Pos* larger_link = &larger_[p & kSlotMask];    // where the next larger node goes
  int smaller_len = 0, larger_len = 0;           // prefix shared with every node beyond each link
  const Pos limit = p - kDicSize;                // p >= 8,448, so no wrap
  int best_len = 0;
  Pos best_pos = 0;
  for (;;) {
    if (cand < limit) {
      *smaller_link = *larger_link = kNil;
      break;
    }
    const uint8_t* c = text_.data() + (cand - base_);
    const int len = CommonPrefix(c, cur, std::min(smaller_len, larger_len));
    if (len > best_len) {
      best_len = len;
      best_pos = cand;
    }
    const Pos slot = cand & kSlotMask;
    if (len == kMaxMatch) {
      // Equal as far as matches reach: the new position takes the older one's place.
      *smaller_link = smaller_[slot];
      *larger_link = larger_[slot];
      break;
    }
    if (c[len] < cur[len]) {
      *smaller_link = cand;
      smaller_link = &larger_[slot];
      cand = *smaller_link;
      smaller_len = len;
    } else {
      *larger_link = cand;
      larger_link = &smaller_[slot];
      cand = *larger_link;
      larger_len = len;
    }
  }
  match_len_ = best_len;
  match_pos_ = best_pos;
}

void Encoder::Output(int c, unsigned distance_value) {
  flag_mask_ >>= 1;
  if (flag_mask_ == 0) {
    flag_mask_ = 0x80;
    if (buf_pos_ >= kBlockBufferSize - 24) {
      SendBlock();
      buf_pos_ = 0;
    }
    flag_pos_ = buf_pos_++;
    buf_[flag_pos_] = 0;
  }
  buf_[buf_pos_++] = static_cast<uint8_t>(c);
  ++c_freq_[c];
  if (c >= 256) {
    buf_[flag_pos_] |= static_cast<uint8_t>(flag_mask_);
    buf_[buf_pos_++] = static_cast<uint8_t>(distance_value >> 8);
    buf_[buf_pos_++] = static_cast<uint8_t>(distance_value);
    ++p_freq_[BitLength(distance_value)];
  }
}

int Encoder::CLenCount() const {
  int n = kNC;
  while (n > 0 && c_len_[n - 1] == 0) --n;
  return n;
}

// The C code lengths as the T alphabet carries them: a length k is symbol k + 2; a run of
// zero lengths is symbol 0 per zero (runs of 1 or 2), symbol 1 with 4 extra bits (3 to 18),
// symbol 2 with 9 extra bits (20 and more), and a run of 19 is one zero then a run of 18.
// `emit(symbol, extra_bits, extra)` is called for each item in order.
template <typename Emit>
void Encoder::WalkCLen(Emit emit) const {
  const int n = CLenCount();
  int i = 0;
  while (i < n) {
    const int k = c_len_[i++];
    if (k != 0) {
      emit(k + 2, 0, 0u);
      continue;
    }
    int run = 1;
    while (i < n && c_len_[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (int j = 0; j < run; ++j) emit(0, 0, 0u);
    } else if (run <= 18) {
      emit(1, 4, static_cast<unsigned>(run - 3));
    } else if (run == 19) {
      emit(0, 0, 0u);
      emit(1, 4, 15u);
    } else {
      emit(2, kCBits, static_cast<unsigned>(run - 20));
    }
  }
}

void Encoder::CountTFreq() {
  t_freq_.fill(0);
  WalkCLen([&](int t, int, unsigned) { ++t_freq_[t]; });
}

void Encoder::WritePtLen(int nn, int nbit, int special, const uint8_t* len) {
  int n = nn;
  while (n > 0 && len[n - 1] == 0) --n;
  bits_.Put(nbit, n);
  int i = 0;
  while (i < n) {
    const int k = len[i++];
    if (k <= 6) {
      bits_.Put(3, k);
    } else {
      bits_.Put(k - 3, (1u << (k - 3)) - 2);  // k - 4 one bits, then a zero bit
    }
    if (i == special) {
      int z = 0;
      while (z < 3 && i + z < n && len[i + z] == 0) ++z;
      bits_.Put(2, z);
      i += z;
    }
  }
}

void Encoder::WriteCLen() {
  bits_.Put(kCBits, CLenCount());
  WalkCLen([&](int t, int extra_bits, unsigned extra) {
    bits_.Put(t_len_[t], t_code_[t]);
    if (extra_bits > 0) bits_.Put(extra_bits, extra);
  });
}

void Encoder::SendBlock() {
  uint32_t size = 0;
  for (uint32_t f : c_freq_) size += f;
  const int c_root = MakeHuffmanCode(kNC, c_freq_.data(), c_len_.data(), c_code_.data());
  bits_.Put(16, size);
  if (c_root >= kNC) {
    CountTFreq();
    const int t_root = MakeHuffmanCode(kNT, t_freq_.data(), t_len_.data(), t_code_.data());
    if (t_root >= kNT) {
      WritePtLen(kNT, kTBits, kTSpecial, t_len_.data());
    } else {
      bits_.Put(kTBits, 0);
      bits_.Put(kTBits, t_root);
    }
    WriteCLen();
  } else {
    bits_.Put(kTBits, 0);
    bits_.Put(kTBits, 0);
    bits_.Put(kCBits, 0);
    bits_.Put(kCBits, c_root);
  }
  const int p_root = MakeHuffmanCode(kNP, p_freq_.data(), p_len_.data(), p_code_.data());
  if (p_root >= kNP) {
    WritePtLen(kNP, kPBits, -1, p_len_.data());
  } else {
    bits_.Put(kPBits, 0);
    bits_.Put(kPBits, p_root);
  }

  int at = 0;
  unsigned flags = 0;
  for (uint32_t i = 0; i < size; ++i) {
    if (i % 8 == 0) flags = buf_[at++];
    const bool is_match = (flags & 0x80) != 0;
    flags <<= 1;
    if (!is_match) {
      const int c = buf_[at++];
      bits_.Put(c_len_[c], c_code_[c]);
    } else {
      const int c = buf_[at++] + 256;
      bits_.Put(c_len_[c], c_code_[c]);
      const unsigned v = (unsigned{buf_[at]} << 8) | buf_[at + 1];
      at += 2;
      const int nb = BitLength(v);
      bits_.Put(p_len_[nb], p_code_[nb]);
      if (nb > 1) bits_.Put(nb - 1, v & ((1u << (nb - 1)) - 1));
    }
  }
  c_freq_.fill(0);
  p_freq_.fill(0);
}

}  // namespace

void Lh5Encode(TCompressRunState& state) {
  auto encoder = std::make_unique<Encoder>(state);
  encoder->Run();
}

void StoreCopy(TCompressRunState& state) {
  uint8_t b;
  while (state.ReadByte(b)) state.WriteByte(b);
}

}  // namespace vellumark
