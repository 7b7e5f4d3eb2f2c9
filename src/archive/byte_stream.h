// The byte sinks and sources the index stream is written to and read from: a string, a
// buffered file (the temporary file "~kiv1.tmp") and a block of memory. The export writes the
// temporary file through the file-system seam (index_archive.cpp).
//
// A source always knows how many bytes it still holds, so a reader can check every count and
// length against what is left before it uses it. A sink raises EArchiveIoError when a write
// falls short, so a full disk fails the run instead of leaving a cut stream behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "util/exception.h"

namespace vellumark {

// A file could not be opened, read or written in full.
class EArchiveIoError : public Exception {
 public:
  using Exception::Exception;
};

class TByteSink {
 public:
  virtual ~TByteSink() = default;
  // Writes all of `bytes` or raises EArchiveIoError.
  virtual void Write(std::string_view bytes) = 0;
  void WriteByte(unsigned char b) {
    char c = static_cast<char>(b);
    Write(std::string_view(&c, 1));
  }
};

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Reads up to `n` bytes into `buf`; returns how many were read (0 only at the end).
  virtual std::size_t Read(char* buf, std::size_t n) = 0;
  // Bytes not yet read.
  virtual std::uint64_t Left() const = 0;
};

// A source over bytes owned by the caller, which must outlive it.
class TMemorySource final : public TByteSource {
 public:
  explicit TMemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* buf, std::size_t n) override;
  std::uint64_t Left() const override { return bytes_.size() - pos_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// A sink that collects the bytes in a string.
class TStringSink final : public TByteSink {
 public:
  void Write(std::string_view bytes) override { data.append(bytes); }
  std::string data;
};

// A file opened for reading, buffered. Its size is taken when it is opened.
class TFileSource final : public TByteSource {
 public:
  // Raises EArchiveIoError when the file cannot be opened.
  explicit TFileSource(const std::string& path);
  ~TFileSource() override;
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  std::size_t Read(char* buf, std::size_t n) override;
  std::uint64_t Left() const override { return size_ - offset_; }
  // Bytes read so far: the position in the file of the next byte.
  std::uint64_t Offset() const { return offset_; }

 private:
  std::FILE* file_;
  std::uint64_t size_ = 0;
  std::uint64_t offset_ = 0;
};

// Reads `source` through a buffer of its own, one byte at a time or in pieces, and counts
// what is left. The source must outlive the reader and must not be read past it.
class TBufferedReader final {
 public:
  explicit TBufferedReader(TByteSource& source) : source_(source) {}

  // Bytes not yet taken (in the buffer and in the source).
  std::uint64_t Left() const { return (end_ - pos_) + source_.Left(); }
  // Bytes taken so far.
  std::uint64_t Taken() const { return taken_; }
  // The next byte, or -1 at the end.
  int Next() {
    if (pos_ == end_ && !Fill()) return -1;
    ++taken_;
    return static_cast<unsigned char>(buffer_[pos_++]);
  }
  // Appends exactly `n` bytes to `out`; false (with `out` holding what there was) when the
  // source ends first. REQUIRES: the caller checked `n` against Left().
  bool Take(std::size_t n, std::string& out);

 private:
  bool Fill();

  TByteSource& source_;
  char buffer_[65536];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t taken_ = 0;
};

}  // namespace vellumark
