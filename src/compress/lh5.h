// The LH5 coder (the "-lh5-" method of LHA archives) and the stored copy. Both work byte by
// byte through a `TCompressRunState`, which buffers, sums, applies the key and enforces the
// output budget. The coders allocate their tables when they start and free them when they end,
// also when an exception leaves them.
#pragma once

#include <array>
#include <cstdint>

#include "compress/compress_run_state.h"

namespace vellumark {

namespace lh5 {

constexpr int kDicBits = 13;
constexpr int kDicSize = 1 << kDicBits;  // 8,192 bytes of dictionary
constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;                          // shortest match
constexpr int kNC = 256 + kMaxMatch - kThreshold + 1;  // 510 C symbols
constexpr int kNP = kDicBits + 1;                      // 14 P symbols
constexpr int kNT = 16 + 3;                            // 19 T symbols
constexpr int kCBits = 9;
constexpr int kPBits = 4;
constexpr int kTBits = 5;
constexpr int kTSpecial = 3;
constexpr int kMaxCodeLength = 16;
constexpr int kBlockBufferSize = 16384;

// What the decoder read in one block head; given to a `Trace`.
struct BlockHead {
  int block_size = 0;
  int t_count = 0;                      // 0 when the T table is a single symbol
  int t_zero_run = -1;                  // the 2-bit z after the third T length; -1 when not present
  int c_count = 0;                      // 0 when the C table is a single symbol
  int p_count = 0;                      // 0 when the P table is a single symbol
  int single_symbol[3] = {-1, -1, -1};  // T, C, P single symbols, -1 when not single
  std::array<uint8_t, kNT> t_lengths{};
  std::array<uint8_t, kNC> c_lengths{};
  std::array<uint8_t, kNP> p_lengths{};
};

// Observer of the decoder, for tests and tools: block heads and matches as they are decoded.
class Trace {
 public:
  virtual ~Trace() = default;
  virtual void OnBlockHead(const BlockHead& head) = 0;
  // A match of `length` bytes at `distance` (1 to 8,192) back; `produced` bytes came before it.
  virtual void OnMatch(int64_t produced, int length, int distance) = 0;
  // The run ended after the decoder had used `bits_used` bits of its input.
  virtual void OnEnd(int64_t bits_used) = 0;
};

}  // namespace lh5

// Compresses the whole input of `state` into an LH5 stream. Produces nothing for empty input.
void Lh5Encode(TCompressRunState& state);

// Expands an LH5 stream until `size` bytes have been produced (none when size <= 0); the last
// match is copied whole, so up to 255 bytes more may come out of a damaged stream. Raises
// `ELZHBadDecodeTable` for a block head that is not well formed.
void Lh5Decode(TCompressRunState& state, int64_t size, lh5::Trace* trace = nullptr);

// Method NON: copies every input byte unchanged until the end of input.
void StoreCopy(TCompressRunState& state);

}  // namespace vellumark
