// The LH5 decoder: block heads with their code-length tables, direct lookup tables (12 bits
// for C, 8 bits for P and T) with a tree walk for longer codes, and an 8,192-byte ring.
//
// It reads only through the run state (which yields zero bytes past the end of the input) and
// checks every field that sizes or indexes a table before using it, so any input ends in
// `ELZHBadDecodeTable`, wrong bytes or the right ones.
#include <algorithm>
#include <array>
#include <memory>

#include "compress/lh5.h"

namespace vellumark {

namespace {

using namespace lh5;

constexpr uint16_t kUnset = 0xFFFF;
constexpr int kCTableBits = 12;
constexpr int kPTableBits = 8;

// A lookup table of 2^bits entries with child arrays for codes longer than `bits`.
template <int kSymbols, int kBits>
struct CodeTable {
  static constexpr int kNodes = 2 * kSymbols - 1;
  std::array<uint16_t, 1u << kBits> table;
  std::array<uint16_t, kNodes> left;
  std::array<uint16_t, kNodes> right;
  std::array<uint8_t, kSymbols> len;

  // Every lookup yields `symbol`, which takes no bits.
  void SetSingle(int symbol) {
    len.fill(0);
    table.fill(static_cast<uint16_t>(symbol));
  }

  // Builds the table from `len`. REQUIRES: every length is at most 16.
  void Build() {
    std::array<uint32_t, kMaxCodeLength + 1> count{};
    for (uint8_t l : len) ++count[l];
    uint32_t total = 0;
    for (int d = 1; d <= kMaxCodeLength; ++d) total += count[d] << (kMaxCodeLength - d);
    if (total != (1u << kMaxCodeLength)) {
      // Only a complete code is accepted, or a set of nothing but zero lengths, which
      // decodes as symbol 0 in no bits.
      if (total == 0) {
        SetSingle(0);
        return;
      }
      throw ELZHBadDecodeTable();
    }
    std::array<uint32_t, kMaxCodeLength + 2> start{};  // first code of each length, 16 bits
    for (int d = 1; d <= kMaxCodeLength; ++d) {
      start[d + 1] = start[d] + (count[d] << (kMaxCodeLength - d));
    }
    table.fill(kUnset);
    int avail = kSymbols;
    for (int sym = 0; sym < kSymbols; ++sym) {
      const int l = len[sym];
      if (l == 0) continue;
      const uint32_t code = start[l];
      start[l] += 1u << (kMaxCodeLength - l);
      if (l <= kBits) {
        const uint32_t first = code >> (kMaxCodeLength - kBits);
        std::fill_n(table.begin() + first, 1u << (kBits - l), static_cast<uint16_t>(sym));
        continue;
      }
      uint16_t* node = &table[code >> (kMaxCodeLength - kBits)];
      for (int k = kBits; k < l; ++k) {
        if (*node == kUnset) {
          if (avail >= kNodes) throw ELZHBadDecodeTable();
          left[avail] = right[avail] = kUnset;
          *node = static_cast<uint16_t>(avail++);
        } else if (*node < kSymbols) {
          throw ELZHBadDecodeTable();
        }
        const bool bit = (code >> (kMaxCodeLength - 1 - k)) & 1;
        node = bit ? &right[*node] : &left[*node];
      }
      if (*node != kUnset) throw ELZHBadDecodeTable();
      *node = static_cast<uint16_t>(sym);
    }
  }

  // Decodes one symbol from the next 16 bits (left-aligned in `bits`); returns it.
  int Lookup(uint32_t bits) const {
    int c = table[bits >> (kMaxCodeLength - kBits)];
    if (c >= kSymbols) {
      uint32_t mask = 1u << (kMaxCodeLength - 1 - kBits);
      do {
        if (c >= kNodes || mask == 0) throw ELZHBadDecodeTable();
        c = (bits & mask) ? right[c] : left[c];
        mask >>= 1;
      } while (c >= kSymbols);
    }
    return c;
  }
};

struct Tables {
  std::array<uint8_t, kDicSize> ring;
  CodeTable<kNC, kCTableBits> c;
  CodeTable<kNP, kPTableBits> p;
  CodeTable<kNT, kPTableBits> t;
};

class Decoder {
 public:
  Decoder(TCompressRunState& state, Trace* trace)
      : state_(state), trace_(trace), tables_(std::make_unique<Tables>()) {
    tables_->ring.fill(' ');
  }

  void Run(int64_t size);

 private:
  void Fill() {
    while (bit_count_ <= 56) {
      uint8_t b;
      state_.ReadByte(b);  // zero bytes past the end of the input
      ++bytes_pulled_;
      bit_buffer_ |= uint64_t{b} << (56 - bit_count_);
      bit_count_ += 8;
    }
  }
  // The next 16 bits, left-aligned, without consuming them.
  uint32_t Peek16() {
    if (bit_count_ < 16) Fill();
    return static_cast<uint32_t>(bit_buffer_ >> 48);
  }
  void Drop(int n) {
    bit_buffer_ <<= n;
    bit_count_ -= n;
  }
  // REQUIRES: 1 <= n <= 16.
  uint32_t Get(int n) {
    if (bit_count_ < n) Fill();
    const auto v = static_cast<uint32_t>(bit_buffer_ >> (64 - n));
    Drop(n);
    return v;
  }

  template <int kSymbols, int kBits>
  void ReadPtLen(CodeTable<kSymbols, kBits>& t, int nbit, int special, int& count_out,
                 int& single_out, int* zero_run_out);
  void ReadCLen(BlockHead& head);
  void ReadBlockHead();

  int DecodeC() {
    const int c = tables_->c.Lookup(Peek16());
    Drop(tables_->c.len[c]);
    return c;
  }
  int DecodeP() {
    const int c = tables_->p.Lookup(Peek16());
    Drop(tables_->p.len[c]);
    if (c <= 1) return c;
    return static_cast<int>((1u << (c - 1)) + Get(c - 1));
  }

  TCompressRunState& state_;
  Trace* trace_;
  std::unique_ptr<Tables> tables_;
  uint64_t bit_buffer_ = 0;  // unread bits, left-aligned
  int bit_count_ = 0;
  int block_left_ = 0;        // C symbols left in the current block
  int64_t bytes_pulled_ = 0;  // bytes taken into the bit buffer
};

template <int kSymbols, int kBits>
void Decoder::ReadPtLen(CodeTable<kSymbols, kBits>& t, int nbit, int special, int& count_out,
                        int& single_out, int* zero_run_out) {
  const int n = static_cast<int>(Get(nbit));
  count_out = n;
  if (n == 0) {
    const int c = static_cast<int>(Get(nbit));
    if (c >= kSymbols) throw ELZHBadDecodeTable();
    single_out = c;
    t.SetSingle(c);
    return;
  }
  if (n > kSymbols) throw ELZHBadDecodeTable();
  int i = 0;
  while (i < n) {
    int c = static_cast<int>(Get(3));
    if (c == 7) {
      while (Get(1) != 0) {
        if (++c > kMaxCodeLength) throw ELZHBadDecodeTable();
      }
    }
    t.len[i++] = static_cast<uint8_t>(c);
    if (i == special) {
      const int z = static_cast<int>(Get(2));
      if (zero_run_out != nullptr) *zero_run_out = z;
      if (i + z > n) throw ELZHBadDecodeTable();
      for (int k = 0; k < z; ++k) t.len[i++] = 0;
    }
  }
  std::fill(t.len.begin() + n, t.len.end(), 0);
  t.Build();
}

void Decoder::ReadCLen(BlockHead& head) {
  auto& c_table = tables_->c;
  const int n = static_cast<int>(Get(kCBits));
  head.c_count = n;
  if (n == 0) {
    const int c = static_cast<int>(Get(kCBits));
    if (c >= kNC) throw ELZHBadDecodeTable();
    head.single_symbol[1] = c;
    c_table.SetSingle(c);
    return;
  }
  if (n > kNC) throw ELZHBadDecodeTable();
  int i = 0;
  while (i < n) {
    const int c = tables_->t.Lookup(Peek16());
    Drop(tables_->t.len[c]);
    if (c <= 2) {
      const int run = c == 0   ? 1
                      : c == 1 ? static_cast<int>(Get(4)) + 3
                               : static_cast<int>(Get(kCBits)) + 20;
      if (i + run > n) throw ELZHBadDecodeTable();
      std::fill_n(c_table.len.begin() + i, run, 0);
      i += run;
    } else {
      c_table.len[i++] = static_cast<uint8_t>(c - 2);
    }
  }
  std::fill(c_table.len.begin() + n, c_table.len.end(), 0);
  c_table.Build();
}

void Decoder::ReadBlockHead() {
  BlockHead head;
  head.block_size = static_cast<int>(Get(16));
  if (head.block_size == 0) throw ELZHBadDecodeTable();
  ReadPtLen(tables_->t, kTBits, kTSpecial, head.t_count, head.single_symbol[0], &head.t_zero_run);
  ReadCLen(head);
  ReadPtLen(tables_->p, kPBits, -1, head.p_count, head.single_symbol[2], nullptr);
  block_left_ = head.block_size;
  if (trace_ != nullptr) {
    head.t_lengths = tables_->t.len;
    head.c_lengths = tables_->c.len;
    head.p_lengths = tables_->p.len;
    trace_->OnBlockHead(head);
  }
}

void Decoder::Run(int64_t size) {
  if (size <= 0) return;
  Fill();
  auto& ring = tables_->ring;
  unsigned r = 0;
  int64_t produced = 0;
  while (produced < size) {
    if (block_left_ == 0) ReadBlockHead();
    --block_left_;
    const int c = DecodeC();
    if (c < 256) {
      ring[r] = static_cast<uint8_t>(c);
      r = (r + 1) & (kDicSize - 1);
      state_.WriteByte(static_cast<uint8_t>(c));
      ++produced;
      continue;
    }
    const int len = c - (256 - kThreshold);
    const int v = DecodeP();
    if (trace_ != nullptr) trace_->OnMatch(produced, len, v + 1);
    unsigned from = (r - static_cast<unsigned>(v) - 1) & (kDicSize - 1);
    for (int k = 0; k < len; ++k) {
      const uint8_t b = ring[from];
      ring[r] = b;
      from = (from + 1) & (kDicSize - 1);
      r = (r + 1) & (kDicSize - 1);
      state_.WriteByte(b);
    }
    produced += len;
  }
  if (trace_ != nullptr) trace_->OnEnd(8 * bytes_pulled_ - bit_count_);
}

}  // namespace

void Lh5Decode(TCompressRunState& state, int64_t size, Trace* trace) {
  Decoder decoder(state, trace);
  decoder.Run(size);
}

}  // namespace vellumark
