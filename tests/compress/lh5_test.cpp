// The LH5 coder on its own: round trips, the encoder's choices as the decoder sees them, and
// the decoder's refusals of malformed block heads.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "compress/compress_errors.h"
#include "compress/lh5.h"
#include "compress/lh5_huffman.h"
#include "lh5_test_util.h"

namespace vellumark::testing {
namespace {

using lh5::BlockHead;

// Records what the decoder saw.
class Recorder final : public lh5::Trace {
 public:
  struct Match {
    int64_t at;
    int length;
    int distance;
  };
  void OnBlockHead(const BlockHead& head) override { heads.push_back(head); }
  void OnMatch(int64_t produced, int length, int distance) override {
    matches.push_back({produced, length, distance});
  }
  void OnEnd(int64_t bits) override { bits_used = bits; }

  std::vector<BlockHead> heads;
  std::vector<Match> matches;
  int64_t bits_used = -1;
};

// Encodes, decodes with a recorder, and checks the round trip.
Recorder RoundTrip(const Bytes& input, Bytes* stream_out = nullptr) {
  Recorder rec;
  const Bytes stream = EncodeRaw(input);
  EXPECT_EQ(DecodeRaw(stream, static_cast<int64_t>(input.size()), &rec), input);
  if (stream_out != nullptr) *stream_out = stream;
  return rec;
}

// Writes bit fields most significant bit first, for hand-made streams.
class Bits {
 public:
  Bits& Put(int n, uint32_t v) {
    for (int i = n - 1; i >= 0; --i) {
      if (bit_ == 0) bytes_.push_back(0);
      if ((v >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> bit_);
      bit_ = (bit_ + 1) % 8;
    }
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  int bit_ = 0;
};

// A block head of `size` symbols whose C table is the single symbol `c`.
Bits SingleSymbolHead(int size, int c) {
  Bits b;
  b.Put(16, size).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, c);
  return b;
}

TEST(Lh5RoundTrip, AssortedInputs) {
  const std::vector<Bytes> inputs = {
      ToBytes("a"),           ToBytes("ab"),
      ToBytes("abcabc"),      ToBytes("exactly 17 bytes!"),
      HtmlLikeText(70000, 1), StructuredBinary(50000, 2),
      RandomBytes(30000, 3),  Bytes(40000, 0),
      Bytes(8191, 'x'),       HtmlLikeText(8192, 4),
      HtmlLikeText(8193, 5),  RandomBytes(16384 + 7, 6),
  };
  for (const Bytes& in : inputs) {
    SCOPED_TRACE(in.size());
    RoundTrip(in);
  }
}

TEST(Lh5RoundTrip, EmptyInputProducesNothing) {
  EXPECT_TRUE(EncodeRaw({}).empty());
  EXPECT_TRUE(DecodeRaw({}, 0).empty());
}

TEST(Lh5RoundTrip, ManyBlocks) {
  const Bytes in = HtmlLikeText(200000, 8);
  const Recorder rec = RoundTrip(in);
  EXPECT_GT(rec.heads.size(), 2u);
}

// Checks that lengths form a complete prefix code and that codes are canonical.
void ExpectCanonicalComplete(int n, const uint8_t* len, const uint16_t* code) {
  uint32_t kraft = 0;
  for (int i = 0; i < n; ++i) {
    ASSERT_LE(len[i], 16);
    if (len[i] != 0) kraft += 1u << (16 - len[i]);
  }
  EXPECT_EQ(kraft, 1u << 16);
  // Canonical: ordered by (length, symbol), each code is the previous one plus one, shifted.
  std::vector<int> syms;
  for (int i = 0; i < n; ++i) {
    if (len[i] != 0) syms.push_back(i);
  }
  std::stable_sort(syms.begin(), syms.end(), [&](int a, int b) { return len[a] < len[b]; });
  uint32_t next = 0;
  int prev_len = len[syms[0]];
  for (int s : syms) {
    next <<= (len[s] - prev_len);
    prev_len = len[s];
    EXPECT_EQ(code[s], next) << s;
    ++next;
  }
}

TEST(Lh5Huffman, LengthsAreCappedAt16) {
  // Fibonacci frequencies make a tree 24 levels deep; the deepest leaves are pulled up.
  std::vector<uint32_t> freq = {1, 1};
  while (freq.size() < 25) freq.push_back(freq[freq.size() - 1] + freq[freq.size() - 2]);
  std::vector<uint8_t> len(freq.size());
  std::vector<uint16_t> code(freq.size());
  const int root =
      lh5::MakeHuffmanCode(static_cast<int>(freq.size()), freq.data(), len.data(), code.data());
  EXPECT_GE(root, static_cast<int>(freq.size()));
  EXPECT_EQ(*std::max_element(len.begin(), len.end()), 16);
  // The most frequent symbol gets the shortest code.
  EXPECT_EQ(len.back(), 1);
  ExpectCanonicalComplete(static_cast<int>(freq.size()), len.data(), code.data());
}

TEST(Lh5Huffman, FewSymbols) {
  uint32_t freq[14] = {};
  uint8_t len[14];
  uint16_t code[14];
  EXPECT_EQ(lh5::MakeHuffmanCode(14, freq, len, code), 0);  // none: symbol 0
  freq[5] = 9;
  EXPECT_EQ(lh5::MakeHuffmanCode(14, freq, len, code), 5);  // one: that symbol, 0 bits
  EXPECT_EQ(len[5], 0);
  freq[2] = 3;
  EXPECT_GE(lh5::MakeHuffmanCode(14, freq, len, code), 14);
  EXPECT_EQ(len[2], 1);
  EXPECT_EQ(len[5], 1);
  EXPECT_EQ(code[2], 0);
  EXPECT_EQ(code[5], 1);
}

TEST(Lh5Encoder, MatchesOfThreeToTwoHundredFiftySix) {
  // A repeat of 2 bytes stays literal; one of 3 bytes becomes a match.
  Recorder two = RoundTrip(ToBytes("xy-xy"));
  EXPECT_TRUE(two.matches.empty());
  Recorder three = RoundTrip(ToBytes("xyz-xyz"));
  ASSERT_EQ(three.matches.size(), 1u);
  EXPECT_EQ(three.matches[0].length, 3);
  EXPECT_EQ(three.matches[0].distance, 4);
  // A long run is split into matches of at most 256 bytes.
  Recorder run = RoundTrip(Bytes(1000, 'r'));
  ASSERT_FALSE(run.matches.empty());
  int longest = 0;
  for (const auto& m : run.matches) longest = std::max(longest, m.length);
  EXPECT_EQ(longest, 256);
  // A block without matches sends its P table as a 4-bit 0 and a 4-bit 0.
  Recorder none = RoundTrip(ToBytes("abcdefgh"));
  ASSERT_EQ(none.heads.size(), 1u);
  EXPECT_EQ(none.heads[0].p_count, 0);
  EXPECT_EQ(none.heads[0].single_symbol[2], 0);
}

TEST(Lh5Encoder, WindowReachesExactly8192Back) {
  const Bytes block = RandomBytes(8192, 11);
  Bytes at_8192 = block;
  at_8192.insert(at_8192.end(), block.begin(), block.begin() + 300);
  Recorder rec = RoundTrip(at_8192);
  // The random filler holds a few chance matches of 3 bytes; the repeat is the one that counts.
  const auto repeat = std::find_if(rec.matches.begin(), rec.matches.end(),
                                   [](const auto& m) { return m.at == 8192; });
  ASSERT_NE(repeat, rec.matches.end());
  EXPECT_EQ(repeat->distance, 8192);
  EXPECT_EQ(repeat->length, 256);

  // One byte further back is out of reach: the repeat goes out as literals.
  Bytes at_8193 = RandomBytes(8193, 11);
  at_8193.insert(at_8193.end(), at_8193.begin(), at_8193.begin() + 300);
  Recorder far = RoundTrip(at_8193);
  for (const auto& m : far.matches) {
    if (m.at >= 8193) {
      EXPECT_LE(m.length, 4) << m.at << " " << m.distance;
    }
  }
}

// The input ends with "abc". An older "abcZ" and a newer "abcY" both match it within the
// data; only the bytes behind the end of the data, as the text buffer holds them, decide.
Bytes TailMatchInput(size_t size, uint8_t behind_end, size_t behind_at) {
  Bytes in = RandomBytes(size, 21);
  for (auto& b : in) b |= 0x80;  // filler never matches the ASCII marks below
  auto put = [&in](size_t at, const char* s) {
    for (size_t i = 0; s[i] != 0; ++i) in[at + i] = static_cast<uint8_t>(s[i]);
  };
  put(2000, "abc");
  in[2003] = behind_end;
  put(5000, "abcY");
  put(size - 4, "Qabc");
  if (behind_at < size) in[behind_at] = behind_end;
  return in;
}

TEST(Lh5Encoder, BytesBehindTheEndDecideTheLastMatch) {
  // Short first read: the buffer behind the data holds spaces, so the older "abc " wins and
  // keeps its place after the length is clamped to 3.
  {
    const Bytes in = TailMatchInput(6000, ' ', 6000);
    Recorder rec = RoundTrip(in);
    ASSERT_FALSE(rec.matches.empty());
    const auto& last = rec.matches.back();
    EXPECT_EQ(last.at, 6000 - 3);
    EXPECT_EQ(last.length, 3);
    EXPECT_EQ(last.distance, 6000 - 3 - 2000);
  }
  // Short later read: the place behind the data keeps the byte read 8,192 earlier ('Z' at
  // offset 1000), which makes the older "abcZ" the longer candidate.
  {
    const size_t size = 8192 + 1000;
    const Bytes in = TailMatchInput(size, 'Z', 1000);
    Recorder rec = RoundTrip(in);
    ASSERT_FALSE(rec.matches.empty());
    const auto& last = rec.matches.back();
    EXPECT_EQ(last.at, static_cast<int64_t>(size - 3));
    EXPECT_EQ(last.length, 3);
    EXPECT_EQ(last.distance, static_cast<int>(size - 3 - 2000));
  }
  // Without such a byte the tie goes to the most recent candidate, "abcY".
  {
    const size_t size = 8192 + 1000;
    const Bytes in = TailMatchInput(size, 'W', size);
    Recorder rec = RoundTrip(in);
    ASSERT_FALSE(rec.matches.empty());
    EXPECT_EQ(rec.matches.back().distance, static_cast<int>(size - 3 - 5000));
  }
}

TEST(Lh5Encoder, TableCountsAreTrimmedAndZeroRunIsFull) {
  std::vector<Bytes> inputs = {HtmlLikeText(60000, 31), StructuredBinary(40000, 32)};
  Bytes small;  // matches at distances 1 and 2 only: P symbols 0 and 1
  for (int i = 0; i < 20; ++i) small.push_back(uint8_t('a' + i));
  small.insert(small.end(), 30, 'q');
  for (int i = 0; i < 20; ++i) small.insert(small.end(), {'u', 'v'});
  inputs.push_back(small);
  for (const Bytes& in : inputs) {
    Recorder rec = RoundTrip(in);
    for (const BlockHead& h : rec.heads) {
      if (h.t_count > 0) {
        EXPECT_NE(h.t_lengths[h.t_count - 1], 0);
      }
      if (h.p_count > 0) {
        EXPECT_NE(h.p_lengths[h.p_count - 1], 0);
      }
      if (h.c_count > 0) {
        EXPECT_NE(h.c_lengths[h.c_count - 1], 0);
      }
      if (h.t_count >= 3) {
        int z = 0;
        while (z < 3 && 3 + z < h.t_count && h.t_lengths[3 + z] == 0) ++z;
        EXPECT_EQ(h.t_zero_run, z);
      }
    }
  }
  Recorder rec = RoundTrip(small);
  ASSERT_EQ(rec.heads.size(), 1u);
  EXPECT_EQ(rec.heads[0].p_count, 2);
}

TEST(Lh5Encoder, StreamEndsAtTheLastWholeByte) {
  for (const Bytes& in : {ToBytes("x"), ToBytes("exactly 17 bytes!"), HtmlLikeText(5000, 41),
                          Bytes(3000, 7), RandomBytes(20000, 42)}) {
    Bytes stream;
    Recorder rec = RoundTrip(in, &stream);
    // The end is padded with zero bits to a whole byte and no further.
    EXPECT_EQ(static_cast<int64_t>(stream.size()), (rec.bits_used + 7) / 8) << in.size();
  }
}

TEST(Lh5Encoder, SameInputSameStream) {
  const Bytes in = HtmlLikeText(50000, 51);
  EXPECT_EQ(EncodeRaw(in), EncodeRaw(in));
}

TEST(Lh5Decoder, HandMadeStreams) {
  // One literal through a single-symbol C table and no P table.
  Bits ok = SingleSymbolHead(1, 'A');
  ok.Put(4, 0).Put(4, 0);
  EXPECT_EQ(DecodeRaw(ok.bytes(), 1), ToBytes("A"));
  // The stream ends after one symbol; the zero bits behind it read as a block size of 0.
  EXPECT_THROW(DecodeRaw(ok.bytes(), 2), ELZHBadDecodeTable);
  // A P table of nothing but zero lengths is taken as symbol 0.
  Bits zeros = SingleSymbolHead(1, 'A');
  zeros.Put(4, 2).Put(3, 0).Put(3, 0);
  EXPECT_EQ(DecodeRaw(zeros.bytes(), 1), ToBytes("A"));
}

TEST(Lh5Decoder, RefusesMalformedTables) {
  std::vector<std::pair<const char*, Bits>> bad;
  auto head_then_p = [](const char* what, auto p_fields) {
    Bits b = SingleSymbolHead(1, 'A');
    p_fields(b);
    return std::make_pair(what, b);
  };
  bad.push_back(head_then_p("over-full P: four codes of length 1",
                            [](Bits& b) { b.Put(4, 4).Put(3, 1).Put(3, 1).Put(3, 1).Put(3, 1); }));
  bad.push_back(
      head_then_p("incomplete P: one code of length 1", [](Bits& b) { b.Put(4, 1).Put(3, 1); }));
  bad.push_back(head_then_p("P count above 14", [](Bits& b) { b.Put(4, 15); }));
  bad.push_back(head_then_p("P single symbol 14", [](Bits& b) { b.Put(4, 0).Put(4, 14); }));
  bad.push_back(head_then_p("P length 17 in unary", [](Bits& b) {
    b.Put(4, 2).Put(3, 7).Put(10, 0x3FF).Put(1, 0).Put(3, 1);
  }));
  {
    Bits b;
    b.Put(16, 0);
    bad.push_back({"block size 0", b});
  }
  {
    Bits b;
    b.Put(16, 1).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 510);
    bad.push_back({"C single symbol 510", b});
  }
  {
    Bits b;
    b.Put(16, 1).Put(5, 0).Put(5, 19);
    bad.push_back({"T single symbol 19", b});
  }
  {
    Bits b;
    b.Put(16, 1).Put(5, 20);
    bad.push_back({"T count above 19", b});
  }
  {
    // T: lengths 1, 0, 0 then z = 2 with a count of 4: the zero run passes the count.
    Bits b;
    b.Put(16, 1).Put(5, 4).Put(3, 1).Put(3, 0).Put(3, 1).Put(2, 2);
    bad.push_back({"T zero run past the count", b});
  }
  {
    // T: symbols 0 and 3 with length 1 (codes 0 and 1). C count 511.
    Bits b;
    b.Put(16, 1).Put(5, 4).Put(3, 1).Put(3, 0).Put(3, 0).Put(2, 0).Put(3, 1).Put(9, 511);
    bad.push_back({"C count above 510", b});
  }
  {
    // Same T code; C count 2, then T symbol 0 three times: a zero run past the count.
    Bits b;
    b.Put(16, 1).Put(5, 4).Put(3, 1).Put(3, 0).Put(3, 0).Put(2, 0).Put(3, 1).Put(9, 2);
    b.Put(1, 0).Put(1, 0).Put(1, 0);
    bad.push_back({"C zero run past the count", b});
  }
  {
    // Same T code; C count 3 with lengths 1, 1, 1 (T symbol 3 = code 1): over-full.
    Bits b;
    b.Put(16, 1).Put(5, 4).Put(3, 1).Put(3, 0).Put(3, 0).Put(2, 0).Put(3, 1).Put(9, 3);
    b.Put(1, 1).Put(1, 1).Put(1, 1);
    bad.push_back({"over-full C", b});
  }
  for (const auto& [what, bits] : bad) {
    SCOPED_TRACE(what);
    EXPECT_THROW(DecodeRaw(bits.bytes(), 10), ELZHBadDecodeTable);
  }
}

TEST(Lh5Decoder, SurvivesDamagedInput) {
  // Truncated, bit-flipped and random streams end in an exception or in some bytes, never
  // outside the buffers (the sanitizer build checks that) and never beyond size + 255 bytes.
  const Bytes in = HtmlLikeText(30000, 61);
  const Bytes stream = EncodeRaw(in);
  const Bytes noise = RandomBytes(4096, 62);
  auto attempt = [&](const Bytes& s) {
    try {
      const Bytes out = DecodeRaw(s, static_cast<int64_t>(in.size()));
      EXPECT_LE(out.size(), in.size() + 255);
      EXPECT_GE(out.size(), in.size());
    } catch (const ELZHBadDecodeTable&) {
    }
  };
  for (size_t cut : {size_t{0}, size_t{1}, size_t{5}, stream.size() / 3, stream.size() - 1}) {
    attempt(Bytes(stream.begin(), stream.begin() + cut));
  }
  for (int i = 0; i < 200; ++i) {
    Bytes s = stream;
    const size_t at = (noise[2 * i] * 256u + noise[2 * i + 1]) % std::min<size_t>(s.size(), 600);
    s[at] ^= static_cast<uint8_t>(1u << (noise[i + 1000] % 8));
    attempt(s);
  }
  for (int i = 0; i < 50; ++i) attempt(RandomBytes(64 + i * 13, 100 + i));
}

}  // namespace
}  // namespace vellumark::testing
