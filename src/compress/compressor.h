// `TCompressor`: compresses the whole content of one stream into another behind a 17-byte
// header, and expands such data again. It picks among the methods below, stores the data
// unchanged when a method would not make it smaller, keeps an additive checksum of the
// uncompressed bytes and can lock the data with an integer key.
//
// Header (little-endian, no padding): 0x1A; 3-byte method identifier; uncompressed size
// (int32); archive type (1 byte, 0 = single stream); checksum (uint32, sum of the
// uncompressed bytes plus `Key`); lock flag (int32, 2 when written with a key). Data stored
// with method NON and no key has no header at all.
//
// One operation runs at a time, on the caller's thread; failures raise the exceptions of
// compress_errors.h, and stream failures pass through. The destination keeps whatever was
// written before a failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "compress/compress_errors.h"
#include "compress/compress_run_state.h"
#include "compress/stream.h"

namespace vellumark {

enum TCompressMethod : int {
  coNone = 0,    // "NON": stored unchanged
  coRLE = 1,     // "RLE": no coder in this build
  coLZH = 2,     // "LZH": no coder in this build
  coCustom = 3,  // "CUS": the OnCompress / OnExpand handlers do the work
  coLZH5 = 4,    // "LH5"
};

// The three-letter identifier of a method as stored in the header.
const char* CompressMethodId(TCompressMethod method);

enum TCProcessMode { cmCompress, cmExpand };

using TCompressEvent = std::function<void(TStream& dest, TStream& source, std::string& CompressID,
                                          int64_t& Outputsize, uint32_t& checksum)>;
using TExpandEvent =
    std::function<void(TStream& dest, TStream& source, int64_t Sourcesize, int64_t Destsize,
                       const std::string& CompressID, uint32_t& checksum)>;
using TFilenameCheckEvent = std::function<void(std::string& filepath, TCProcessMode mode)>;
using TRecognizeEvent = std::function<void(const std::string& CompressID, bool& recognized)>;

class TCompressor final {
 public:
  static constexpr int kHeaderSize = 17;
  static constexpr uint8_t kHeaderMark = 0x1A;
  // The largest source the header can describe: its size field is a signed 32-bit number.
  static constexpr int64_t kMaxSourceSize = 0x7FFFFFFF;
  // The most bytes an LH5 header may announce per byte of compressed data. The coder's best
  // ratio is a block of 256-byte matches at distance 1 whose C and P codes are single symbols:
  // 52 bits of block head and no bits per symbol. The encoder sends a block whenever its
  // 16,384-byte symbol buffer fills, which is after 5,240 matches (1,341,440 bytes), so none of
  // its streams expands to more than 206,376 times its length; 2^18 leaves a margin above that.
  // (Hand-made blocks of 65,535 symbols would reach 2.6 million times; no encoder makes them.)
  static constexpr int64_t kMaxLh5Ratio = int64_t{1} << 18;

  // `owner` is kept for the caller's bookkeeping only; the caller frees the component.
  explicit TCompressor(void* owner = nullptr);
  ~TCompressor();
  void* Owner() const { return owner_; }
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  // Compresses all of `source` (read from its position for its whole size) into `dest` at
  // its position. A source larger than kMaxSourceSize raises ESourceTooLarge before anything
  // is written.
  void CompressStream(TStream& dest, TStream& source, TCompressMethod method);
  // Expands the data from `source`'s position to its end into `dest` at its position. LH5
  // data stops once the announced size is reached (the last match is copied whole), and a
  // header that announces a negative size or more than kMaxLh5Ratio times the compressed
  // length raises EImplausibleSize before anything is written.
  void ExpandStream(TStream& dest, TStream& source);

  // The uncompressed size that the header at `source`'s position announces, or -1 when the data
  // there has no header (it would expand as stored data). Leaves the position as it was. An
  // expansion writes about that many bytes, so a caller can refuse what it has no room for.
  static int64_t AnnouncedSize(TStream& source);

  // Published properties, in their declared order.
  TCompressEvent OnCompress;
  TExpandEvent OnExpand;
  TFilenameCheckEvent OnCheckFile;  // no role in stream operations
  TRecognizeEvent OnRecognize;
  TShowProgressEvent OnShowProgress;
  const std::string& TargetPath() const { return target_path_; }
  // Stores the text with a trailing "/" added when it has none.
  void SetTargetPath(const std::string& path);
  bool MakeDirectories = false;         // no role in stream operations
  bool ExceptionOnFileError = false;    // no role in stream operations
  int32_t Key = 0;                      // lock key; 0 = none
  bool CheckSpaceBeforeExpand = false;  // no role in stream operations

 private:
  struct RunResult {
    int64_t bytes_written = 0;
    uint32_t checksum = 0;
  };
  struct Header {
    std::string id;
    int32_t size = 0;
    uint8_t archive_type = 0;
    uint32_t checksum = 0;
    int32_t lock = 0;
  };

  // Reads the header at `source`'s position into `header` and stays after it; false (at the
  // same position) when the data there has none.
  static bool ReadHeader(TStream& source, Header& header);
  RunResult RunCoder(TStream& dest, TStream& source, bool compress, TCompressMethod method,
                     int64_t uncompressed_size, int64_t input_length, int64_t budget,
                     bool unscramble);
  static void WriteHeader(TStream& dest, const Header& header);

  void* owner_;
  std::string target_path_;
  std::unique_ptr<TCompressRunState> run_;
};

}  // namespace vellumark
