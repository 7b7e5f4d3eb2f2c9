// The byte streams the compressor reads and writes: one small interface with two kinds behind
// it, a growable in-memory buffer and a file. A stream has a size and a current position;
// reads and writes start at the position and move it on. Writing past the end extends the
// stream. Failures of the underlying file raise `EStreamError`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/exception.h"

namespace vellumark {

// Read, write, seek or open failure of a stream. Passes through the compressor unchanged.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to `count` bytes at the position; returns how many were read (fewer only at the
  // end of the stream).
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all `count` bytes at the position or raises `EStreamError`.
  virtual void Write(const void* buffer, size_t count) = 0;

  virtual int64_t Position() const = 0;
  // REQUIRES: position >= 0. A position past the end is allowed; writing there fills the gap
  // with zero bytes.
  virtual void SetPosition(int64_t position) = 0;
  virtual int64_t Size() const = 0;

  // A hint that about `count` more bytes will be written; an in-memory stream sets its room
  // aside so that it does not grow in small steps. Other streams ignore it.
  virtual void ReserveAhead(int64_t /*count*/) {}
};

// A stream over a byte vector it owns.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return static_cast<int64_t>(position_); }
  void SetPosition(int64_t position) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void ReserveAhead(int64_t count) override;

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }

 private:
  std::vector<uint8_t> data_;  // the stream's bytes; size() is the stream size
  size_t position_ = 0;        // may lie past the end
};

// A stream over a file it opens in its constructor and closes in its destructor.
class TFileStream final : public TStream {
 public:
  enum class Mode {
    kCreate,     // create or truncate, read and write
    kOpenRead,   // existing file, read only
    kOpenWrite,  // existing file, read and write
  };

  // Raises `EStreamError` when the file cannot be opened.
  TFileStream(const std::string& path, Mode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t position) override;
  int64_t Size() const override;

 private:
  std::string path_;
  int fd_ = -1;
  int64_t position_ = 0;
};

}  // namespace vellumark
