#include "compress/compressor.h"

#include <algorithm>
#include <cstring>

#include "compress/lh5.h"

namespace vellumark {

namespace {

constexpr TCompressMethod kMethods[] = {coNone, coRLE, coLZH, coCustom, coLZH5};

// Room an in-memory destination sets aside before expanding: the uncompressed size, but no
// more than a generous multiple of the input, so that a forged header cannot make it allocate
// gigabytes up front. The stream still grows as far as the data really goes.
int64_t ReserveFor(int64_t uncompressed_size, int64_t input_length) {
  const int64_t cap = 64 * std::max<int64_t>(input_length, 0) + 65536;
  return std::clamp<int64_t>(uncompressed_size, 0, cap);
}

void PutLe32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetLe32(const uint8_t* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) |
         (uint32_t{at[3]} << 24);
}

}  // namespace

const char* CompressMethodId(TCompressMethod method) {
  switch (method) {
    case coNone:
      return "NON";
    case coRLE:
      return "RLE";
    case coLZH:
      return "LZH";
    case coCustom:
      return "CUS";
    case coLZH5:
      return "LH5";
  }
  return "NON";
}

TCompressor::TCompressor(void* owner)
    : owner_(owner), run_(std::make_unique<TCompressRunState>()) {}

TCompressor::~TCompressor() = default;

void TCompressor::SetTargetPath(const std::string& path) {
  target_path_ = path;
  if (target_path_.empty() || target_path_.back() != '/') target_path_ += '/';
}

void TCompressor::WriteHeader(TStream& dest, const Header& header) {
  uint8_t bytes[kHeaderSize];
  bytes[0] = kHeaderMark;
  std::memcpy(bytes + 1, header.id.data(), 3);
  PutLe32(bytes + 4, static_cast<uint32_t>(header.size));
  bytes[8] = header.archive_type;
  PutLe32(bytes + 9, header.checksum);
  PutLe32(bytes + 13, static_cast<uint32_t>(header.lock));
  dest.Write(bytes, kHeaderSize);
}

TCompressor::RunResult TCompressor::RunCoder(TStream& dest, TStream& source, bool compress,
                                             TCompressMethod method, int64_t uncompressed_size,
                                             int64_t input_length, int64_t budget,
                                             bool unscramble) {
  RunResult result;
  if (OnShowProgress) {
    int percent = 0;
    OnShowProgress(percent);
    if (percent == -1) return result;
  }
  TCompressRunState::Setup setup;
  setup.source = &source;
  setup.dest = &dest;
  setup.input_length = input_length;
  setup.budget = compress ? budget : TCompressRunState::kUnlimitedBudget;
  setup.key = Key;
  setup.unscramble_input = !compress && unscramble;
  setup.scramble_output = compress && Key != 0;
  setup.progress = OnShowProgress;
  run_->Start(setup);
  try {
    switch (method) {
      case coNone:
        StoreCopy(*run_);
        break;
      case coLZH5:
        if (compress) {
          Lh5Encode(*run_);
        } else {
          Lh5Decode(*run_, uncompressed_size);
        }
        break;
      case coRLE:
        throw EUnrecognizedCompressionMethod(compress ? "RLE compression disabled in this build"
                                                      : "RLE expansion disabled in this build");
      case coLZH:
        throw EUnrecognizedCompressionMethod(compress ? "LZH1 compression disabled in this build"
                                                      : "LZH1 expansion disabled in this build");
      case coCustom:
        throw EUnrecognizedCompressionMethod::ForIdentifier(CompressMethodId(method));
    }
    run_->Finish();
  } catch (...) {
    run_->Abandon();
    throw;
  }
  if (OnShowProgress) {
    int percent = 100;
    OnShowProgress(percent);
  }
  result.bytes_written = run_->BytesWritten();
  result.checksum = compress ? run_->SumRead() : run_->SumWritten();
  return result;
}

void TCompressor::CompressStream(TStream& dest, TStream& source, TCompressMethod method) {
  const int64_t source_size = source.Size();
  if (source_size > kMaxSourceSize) throw ESourceTooLarge();
  if (method == coCustom && !OnCompress) method = coNone;
  if (source_size < kHeaderSize) method = coNone;

  const int64_t header_pos = dest.Position();
  // Locked data always carries a header, so that it can be recognised and unlocked again;
  // this holds for negative keys too.
  const int32_t lock = Key != 0 ? 2 : 0;
  // Stored data without header that begins with the header mark would be taken for a header
  // on expansion; such data keeps a header saying NON.
  bool starts_with_mark = false;
  if (source_size > kHeaderSize) {
    const int64_t at = source.Position();
    uint8_t first = 0;
    starts_with_mark = source.Read(&first, 1) == 1 && first == kHeaderMark;
    source.SetPosition(at);
  }
  // An empty source gives an empty destination even with a key: a header alone (17 bytes)
  // would read back as 17 bytes of stored data.
  const bool keep_header = (Key != 0 && source_size > 0) || starts_with_mark;
  Header header{CompressMethodId(method), static_cast<int32_t>(source_size), 0, 0, lock};
  const bool with_header = method != coNone || keep_header;
  if (with_header) WriteHeader(dest, header);
  const int64_t reserve = method != coNone ? kHeaderSize : 0;

  uint32_t checksum = 0;
  try {
    if (method == coCustom) {
      std::string id = header.id;
      int64_t output_size = 0;
      OnCompress(dest, source, id, output_size, checksum);
    } else {
      checksum = RunCoder(dest, source, true, method, source_size, source_size,
                          source_size - reserve, false)
                     .checksum;
    }
  } catch (const EUnableToCompress&) {
    source.SetPosition(0);
    dest.SetPosition(keep_header ? header_pos + kHeaderSize : header_pos);
    method = coNone;
    header.id = CompressMethodId(coNone);
    checksum =
        RunCoder(dest, source, true, coNone, source_size, source_size, source_size, false).checksum;
  }
  header.checksum = checksum + static_cast<uint32_t>(Key);
  if (method == coNone && !keep_header) return;

  const int64_t end_pos = dest.Position();
  dest.SetPosition(header_pos);
  WriteHeader(dest, header);
  dest.SetPosition(end_pos);
}

bool TCompressor::ReadHeader(TStream& source, Header& header) {
  const int64_t start = source.Position();
  // Data of at most a header's size is always stored data.
  if (source.Size() - start <= kHeaderSize) return false;
  uint8_t bytes[kHeaderSize];
  if (source.Read(bytes, kHeaderSize) != kHeaderSize || bytes[0] != kHeaderMark) {
    source.SetPosition(start);
    return false;
  }
  header.id.assign(reinterpret_cast<const char*>(bytes + 1), 3);
  header.size = static_cast<int32_t>(GetLe32(bytes + 4));
  header.archive_type = bytes[8];
  header.checksum = GetLe32(bytes + 9);
  header.lock = static_cast<int32_t>(GetLe32(bytes + 13));
  return true;
}

int64_t TCompressor::AnnouncedSize(TStream& source) {
  const int64_t start = source.Position();
  Header header;
  const bool with_header = ReadHeader(source, header);
  source.SetPosition(start);
  return with_header ? header.size : -1;
}

void TCompressor::ExpandStream(TStream& dest, TStream& source) {
  const int64_t start = source.Position();
  const int64_t length = source.Size() - start;

  Header header;
  if (!ReadHeader(source, header)) {
    RunCoder(dest, source, false, coNone, 0, length, 0, false);
    return;
  }
  if (header.archive_type != 0) throw EInvalidHeaderArchiveType();

  TCompressMethod method = coNone;
  bool known = false;
  for (TCompressMethod m : kMethods) {
    if (header.id == CompressMethodId(m)) {
      method = m;
      known = true;
    }
  }
  if (method == coCustom && !OnExpand) known = false;
  if (!known) {
    bool recognized = false;
    if (OnRecognize && OnExpand) OnRecognize(header.id, recognized);
    if (!recognized) throw EUnrecognizedCompressionMethod::ForIdentifier(header.id);
    method = coCustom;
  }

  const int64_t input_length = length - kHeaderSize;
  if (method == coLZH5 && (header.size < 0 || header.size > kMaxLh5Ratio * input_length)) {
    throw EImplausibleSize();
  }
  const bool locked = header.lock >= 1;
  if (locked && Key == 0) throw EInvalidKey();
  dest.ReserveAhead(ReserveFor(header.size, input_length));

  uint32_t checksum = 0;
  try {
    if (method == coCustom) {
      OnExpand(dest, source, input_length, header.size, header.id, checksum);
    } else {
      checksum = RunCoder(dest, source, false, method, header.size, input_length, 0,
                          header.lock == 2 && Key != 0)
                     .checksum;
    }
  } catch (const ELZHBadDecodeTable&) {
    if (locked) throw EInvalidKey();
    throw;
  }

  if (header.checksum == checksum || (header.checksum == 0 && method == coNone)) return;
  if (!locked) throw EBadChecksum();
  if (header.checksum != checksum + static_cast<uint32_t>(Key)) throw EInvalidKey();
}

}  // namespace vellumark
