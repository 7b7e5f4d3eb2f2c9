// The compression container: header, method choice and refusals, store fall-back, checksum,
// key, progress, and the two kinds of stream.
#include "compress/compressor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "lh5_test_util.h"
#include "util/temp_folder.h"

namespace vellumark::testing {
namespace {

Bytes Compress(const Bytes& in, TCompressMethod method, int32_t key = 0) {
  TCompressor c;
  c.Key = key;
  TMemoryStream source(in), dest;
  c.CompressStream(dest, source, method);
  return dest.Data();
}

Bytes Expand(const Bytes& packed, int32_t key = 0) {
  TCompressor c;
  c.Key = key;
  TMemoryStream source(packed), dest;
  c.ExpandStream(dest, source);
  return dest.Data();
}

Bytes Header(const char* id, int32_t size, uint8_t type, uint32_t checksum, int32_t lock) {
  Bytes h = {0x1A, uint8_t(id[0]), uint8_t(id[1]), uint8_t(id[2])};
  for (uint32_t v : {uint32_t(size)}) {
    for (int i = 0; i < 4; ++i) h.push_back(uint8_t(v >> (8 * i)));
  }
  h.push_back(type);
  for (uint32_t v : {checksum, uint32_t(lock)}) {
    for (int i = 0; i < 4; ++i) h.push_back(uint8_t(v >> (8 * i)));
  }
  return h;
}

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

uint32_t Sum(const Bytes& b) {
  uint32_t s = 0;
  for (uint8_t x : b) s += x;
  return s;
}

template <typename E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TEST(CompressorRoundTrip, MethodsAndKeys) {
  const std::vector<Bytes> inputs = {HtmlLikeText(100000, 1),
                                     StructuredBinary(30000, 2),
                                     RandomBytes(5000, 3),
                                     Bytes(20000, 0x1A),
                                     ToBytes("exactly 17 bytes!"),
                                     ToBytes("short"),
                                     Bytes{}};
  for (const Bytes& in : inputs) {
    for (TCompressMethod m : {coNone, coLZH5}) {
      for (int32_t key : {0, 1, 0x12345678, -77}) {
        SCOPED_TRACE(::testing::Message() << in.size() << " method " << m << " key " << key);
        const Bytes packed = Compress(in, m, key);
        EXPECT_EQ(Expand(packed, key), in);
        if (key != 0 && !in.empty()) {
          // Locked data always has a header with the lock flag and the checksum plus key.
          ASSERT_GE(packed.size(), 17u);
          EXPECT_EQ(Le32(packed, 13), 2u);
          EXPECT_EQ(Le32(packed, 9), Sum(in) + uint32_t(key));
        }
      }
    }
  }
}

TEST(CompressorHeader, LayoutOfCompressedData) {
  const Bytes in = HtmlLikeText(50000, 4);
  const Bytes packed = Compress(in, coLZH5);
  ASSERT_GT(packed.size(), 17u);
  EXPECT_LT(packed.size(), in.size() / 2);
  EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), ToBytes("\x1aLH5"));
  EXPECT_EQ(Le32(packed, 4), in.size());
  EXPECT_EQ(packed[8], 0);
  EXPECT_EQ(Le32(packed, 9), Sum(in));
  EXPECT_EQ(Le32(packed, 13), 0u);
  // The data behind the header is a bare LH5 stream.
  EXPECT_EQ(Bytes(packed.begin() + 17, packed.end()), EncodeRaw(in));
}

TEST(CompressorHeader, SizesAroundTheHeader) {
  // 16 bytes are stored without header even when LH5 is asked for.
  const Bytes sixteen = Bytes(16, 'a');
  EXPECT_EQ(Compress(sixteen, coLZH5), sixteen);
  // From 17 bytes on a header is written and LH5 runs; the budget is the size less the
  // header, so 17 bytes (budget 0) always fall back to storing, and 40 bytes can compress.
  int runs = 0;
  TCompressor c;
  c.OnShowProgress = [&runs](int& p) { runs += p == 0; };
  const Bytes seventeen = Bytes(17, 'a');
  TMemoryStream source(seventeen), dest;
  c.CompressStream(dest, source, coLZH5);
  EXPECT_EQ(runs, 2);  // LH5, then the stored copy
  EXPECT_EQ(dest.Data(), seventeen);
  const Bytes forty = Bytes(40, 'a');
  const Bytes packed = Compress(forty, coLZH5);
  EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), ToBytes("\x1aLH5"));
  EXPECT_LT(packed.size(), forty.size());
  EXPECT_EQ(Expand(packed), forty);
}

TEST(CompressorHeader, IncompressibleDataIsStoredAsIs) {
  const Bytes in = RandomBytes(100000, 5);
  EXPECT_EQ(Compress(in, coLZH5), in);
  // With a key the fall-back keeps a header, now saying NON.
  const Bytes locked = Compress(in, coLZH5, 99);
  EXPECT_EQ(locked.size(), in.size() + 17);
  EXPECT_EQ(Bytes(locked.begin(), locked.begin() + 4), ToBytes("\x1aNON"));
  EXPECT_EQ(Expand(locked, 99), in);
}

TEST(CompressorHeader, StoredDataBeginningWithTheMarkKeepsAHeader) {
  // Without a header such data would be read back as a header.
  Bytes in = RandomBytes(1000, 16);
  in[0] = 0x1A;
  for (TCompressMethod m : {coNone, coLZH5}) {
    const Bytes packed = Compress(in, m);
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), ToBytes("\x1aNON"));
    EXPECT_EQ(Le32(packed, 9), Sum(in));
    EXPECT_EQ(Expand(packed), in);
  }
}

TEST(CompressorExpand, DataWithoutHeaderIsCopied) {
  const Bytes small = {0x1A, 'L', 'H', '5', 1, 2, 3};  // 17 bytes or fewer: never a header
  EXPECT_EQ(Expand(small), small);
  const Bytes plain = HtmlLikeText(5000, 6);  // first byte not 0x1A
  EXPECT_EQ(Expand(plain), plain);
}

TEST(CompressorExpand, Refusals) {
  const Bytes body = EncodeRaw(HtmlLikeText(3000, 7));
  auto with = [&body](Bytes h) {
    h.insert(h.end(), body.begin(), body.end());
    return h;
  };
  EXPECT_EQ(MessageOf<EUnrecognizedCompressionMethod>(
                [&] { Expand(with(Header("lh5", 3000, 0, 0, 0))); }),
            "Unrecognized compression method: \"lh5\" in header");
  EXPECT_EQ(
      MessageOf<EInvalidHeaderArchiveType>([&] { Expand(with(Header("LH5", 3000, 1, 0, 0))); }),
      "Expand can't handle caMulti archive type in compressed header");
  EXPECT_EQ(MessageOf<EInvalidKey>([&] { Expand(with(Header("LH5", 3000, 0, 0, 2))); }),
            "File locked -- valid key required");
  EXPECT_EQ(MessageOf<EUnrecognizedCompressionMethod>(
                [&] { Expand(with(Header("RLE", 3000, 0, 0, 0))); }),
            "RLE expansion disabled in this build");
  EXPECT_EQ(MessageOf<EUnrecognizedCompressionMethod>(
                [&] { Expand(with(Header("LZH", 3000, 0, 0, 0))); }),
            "LZH1 expansion disabled in this build");
  // CUS without an expand handler has nothing to run it.
  EXPECT_EQ(MessageOf<EUnrecognizedCompressionMethod>(
                [&] { Expand(with(Header("CUS", 3000, 0, 0, 0))); }),
            "Unrecognized compression method: \"CUS\" in header");
  const Bytes in = HtmlLikeText(100, 8);
  EXPECT_EQ(MessageOf<EUnrecognizedCompressionMethod>([&] { Compress(in, coRLE); }),
            "RLE compression disabled in this build");
  EXPECT_EQ(MessageOf<EUnrecognizedCompressionMethod>([&] { Compress(in, coLZH); }),
            "LZH1 compression disabled in this build");
}

TEST(CompressorExpand, Checksum) {
  const Bytes in = HtmlLikeText(20000, 9);
  Bytes packed = Compress(in, coLZH5);
  packed[9] ^= 1;
  EXPECT_EQ(MessageOf<EBadChecksum>([&] { Expand(packed); }),
            "Bad checksum during expansion -- data may be invalid");
  // Stored data with a header and a checksum of 0 passes whatever its bytes.
  Bytes stored = Header("NON", 5, 0, 0, 0);
  for (uint8_t b : {9, 8, 7, 6, 5}) stored.push_back(b);
  EXPECT_EQ(Expand(stored), Bytes({9, 8, 7, 6, 5}));
  // A damaged byte in the data breaks a table or the checksum, or (rarely) yields the same sum.
  const Bytes good = Compress(in, coLZH5);
  for (size_t at = 17; at < good.size(); at += good.size() / 37) {
    Bytes bad = good;
    bad[at] ^= 0x10;
    try {
      const Bytes out = Expand(bad);
      EXPECT_EQ(Sum(out), Sum(in));
    } catch (const ELZHBadDecodeTable&) {
    } catch (const EBadChecksum&) {
    }
  }
}

TEST(CompressorExpand, TheAnnouncedSizeBoundsTheOutput) {
  const Bytes packed = Compress(Bytes(20000, 'q'), coLZH5);
  ASSERT_LT(packed.size(), 100u);
  auto announcing = [&packed](int32_t size) {
    Bytes b = packed;
    for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t(uint32_t(size) >> (8 * i));
    return b;
  };
  // More than the coder can make of so few bytes, or less than nothing: refused up front.
  for (int32_t size : {256 << 20, -1}) {
    TCompressor c;
    TMemoryStream source(announcing(size)), dest;
    EXPECT_THROW(c.ExpandStream(dest, source), EImplausibleSize);
    EXPECT_EQ(dest.Size(), 0);
  }
  // Less than the data holds: the output stops there (the last match is copied whole).
  TCompressor c;
  TMemoryStream source(announcing(1000)), dest;
  EXPECT_THROW(c.ExpandStream(dest, source), EBadChecksum);
  EXPECT_GE(dest.Size(), 1000);
  EXPECT_LT(dest.Size(), 1000 + 256);
}

TEST(CompressorKey, WrongOrMissingKey) {
  const Bytes in = HtmlLikeText(20000, 10);
  const Bytes locked = Compress(in, coLZH5, 4242);
  EXPECT_NE(Bytes(locked.begin() + 17, locked.end()), EncodeRaw(in));  // scrambled
  EXPECT_THROW(Expand(locked, 0), EInvalidKey);
  EXPECT_THROW(Expand(locked, 4243), EInvalidKey);
  // Unlocked data expands whatever key the component holds.
  EXPECT_EQ(Expand(Compress(in, coLZH5), 555), in);
}

TEST(CompressorCustom, HandlersAndRecognition) {
  const Bytes in = HtmlLikeText(1000, 11);
  TCompressor c;
  // No OnCompress: stored.
  {
    TMemoryStream source(in), dest;
    c.CompressStream(dest, source, coCustom);
    EXPECT_EQ(dest.Data(), in);
  }
  // A handler that writes the bytes reversed.
  c.OnCompress = [](TStream& dest, TStream& source, std::string&, int64_t& size,
                    uint32_t& checksum) {
    Bytes b(static_cast<size_t>(source.Size()));
    source.Read(b.data(), b.size());
    checksum = Sum(b);
    std::reverse(b.begin(), b.end());
    dest.Write(b.data(), b.size());
    size = static_cast<int64_t>(b.size());
  };
  c.OnExpand = [](TStream& dest, TStream& source, int64_t source_size, int64_t dest_size,
                  const std::string& id, uint32_t& checksum) {
    EXPECT_EQ(source_size, dest_size);
    EXPECT_TRUE(id == "CUS" || id == "XYZ");
    Bytes b(static_cast<size_t>(source_size));
    source.Read(b.data(), b.size());
    std::reverse(b.begin(), b.end());
    checksum = Sum(b);
    dest.Write(b.data(), b.size());
  };
  TMemoryStream source(in), packed;
  c.CompressStream(packed, source, coCustom);
  EXPECT_EQ(Bytes(packed.Data().begin(), packed.Data().begin() + 4), ToBytes("\x1a"
                                                                             "CUS"));
  packed.SetPosition(0);
  TMemoryStream out;
  c.ExpandStream(out, packed);
  EXPECT_EQ(out.Data(), in);
  // An identifier the application claims.
  Bytes foreign = packed.Data();
  std::copy_n("XYZ", 3, foreign.begin() + 1);
  EXPECT_THROW(Expand(foreign), EUnrecognizedCompressionMethod);
  c.OnRecognize = [](const std::string& id, bool& recognized) { recognized = id == "XYZ"; };
  TMemoryStream src2(foreign), out2;
  c.ExpandStream(out2, src2);
  EXPECT_EQ(out2.Data(), in);
}

TEST(CompressorProgress, ReportsAndAborts) {
  const Bytes in = HtmlLikeText(200000, 12);
  std::vector<int> seen;
  TCompressor c;
  c.OnShowProgress = [&seen](int& p) { seen.push_back(p); };
  TMemoryStream source(in), dest;
  c.CompressStream(dest, source, coLZH5);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  // Asking to abort at the first refill ends the input there: nothing is read.
  c.OnShowProgress = [](int& p) {
    if (p > 0 && p < 100) p = -1;
  };
  TMemoryStream source2(in), dest2;
  c.CompressStream(dest2, source2, coNone);
  EXPECT_TRUE(dest2.Data().empty());
  EXPECT_EQ(Percentage(50, 200), 25);
  EXPECT_EQ(Percentage(150000, 300000), 50);
  EXPECT_EQ(Percentage(2000000000, 2000000000), 100);
}

// A stream that fails on a write after `limit` bytes, like a full disk.
class FullDisk final : public TStream {
 public:
  explicit FullDisk(size_t limit) : limit_(limit) {}
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    if (inner_.Size() + static_cast<int64_t>(count) > static_cast<int64_t>(limit_)) {
      throw EStreamError("disk full");
    }
    inner_.Write(buffer, count);
  }
  int64_t Position() const override { return inner_.Position(); }
  void SetPosition(int64_t p) override { inner_.SetPosition(p); }
  int64_t Size() const override { return inner_.Size(); }

 private:
  size_t limit_;
  TMemoryStream inner_;
};

TEST(CompressorStreams, StreamErrorsPassThrough) {
  const Bytes in = HtmlLikeText(100000, 13);
  TCompressor c;
  TMemoryStream source(in);
  FullDisk disk(10000);
  EXPECT_THROW(c.CompressStream(disk, source, coLZH5), EStreamError);
  const Bytes packed = Compress(in, coLZH5);
  TMemoryStream src2(packed);
  FullDisk disk2(10000);
  EXPECT_THROW(c.ExpandStream(disk2, src2), EStreamError);
}

TEST(CompressorStreams, FilesAndPositions) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("vm_compress_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const Bytes in = HtmlLikeText(70000, 14);
  const std::string plain = (dir / "plain").string(), packed = (dir / "packed").string(),
                    back = (dir / "back").string();
  {
    TFileStream f(plain, TFileStream::Mode::kCreate);
    f.Write(in.data(), in.size());
  }
  TCompressor c;
  {
    TFileStream source(plain, TFileStream::Mode::kOpenRead);
    TFileStream dest(packed, TFileStream::Mode::kCreate);
    const Bytes lead = ToBytes("archive head\n");  // data after a head, as in an archive
    dest.Write(lead.data(), lead.size());
    c.CompressStream(dest, source, coLZH5);
    EXPECT_EQ(dest.Position(), dest.Size());
  }
  {
    TFileStream source(packed, TFileStream::Mode::kOpenRead);
    source.SetPosition(13);
    TFileStream dest(back, TFileStream::Mode::kCreate);
    c.ExpandStream(dest, source);
  }
  TFileStream result(back, TFileStream::Mode::kOpenRead);
  Bytes got(static_cast<size_t>(result.Size()));
  EXPECT_EQ(result.Read(got.data(), got.size()), in.size());
  EXPECT_EQ(got, in);
  EXPECT_THROW(TFileStream((dir / "missing").string(), TFileStream::Mode::kOpenRead), EStreamError);
  std::filesystem::remove_all(dir);
}

TEST(CompressorStreams, ASourceOf2GiBIsRefusedBeforeAnythingIsWritten) {
  // The header's size is a signed 32-bit number; a sparse file stands in for 2 GiB of data.
  TempFolder dir("vm_compress_");
  const std::string path = dir.path() + "huge";
  {
    TFileStream f(path, TFileStream::Mode::kCreate);
    f.SetPosition(TCompressor::kMaxSourceSize);
    const uint8_t last = 1;
    f.Write(&last, 1);
  }
  TFileStream source(path, TFileStream::Mode::kOpenRead);
  TMemoryStream dest;
  EXPECT_THROW(TCompressor().CompressStream(dest, source, coLZH5), ESourceTooLarge);
  EXPECT_EQ(dest.Size(), 0);
}

TEST(CompressorStreams, ForgedSizeReservesLittle) {
  // A header claiming 2 GB over a few bytes of data must not make the memory stream set
  // aside 2 GB.
  Bytes forged = Header("LH5", 0x7FFFFFFF, 0, 0, 0);
  const Bytes junk = RandomBytes(100, 15);
  forged.insert(forged.end(), junk.begin(), junk.end());
  TCompressor c;
  TMemoryStream source(forged), dest;
  try {
    c.ExpandStream(dest, source);
  } catch (const Exception&) {
  }
  EXPECT_LT(dest.Data().capacity(), size_t{64} << 20);
}

}  // namespace
}  // namespace vellumark::testing
