#include "compress/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vellumark {

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= data_.size()) return 0;
  const size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
}

void TMemoryStream::SetPosition(int64_t position) {
  if (position < 0) throw EStreamError("Stream position out of range");
  position_ = static_cast<size_t>(position);
}

void TMemoryStream::ReserveAhead(int64_t count) {
  if (count <= 0) return;
  const size_t wanted = std::max(data_.size(), position_) + static_cast<size_t>(count);
  if (wanted > data_.capacity()) data_.reserve(wanted);
}

namespace {

int OpenFlags(TFileStream::Mode mode) {
  switch (mode) {
    case TFileStream::Mode::kCreate:
      return O_RDWR | O_CREAT | O_TRUNC;
    case TFileStream::Mode::kOpenRead:
      return O_RDONLY;
    case TFileStream::Mode::kOpenWrite:
      return O_RDWR;
  }
  return O_RDONLY;
}

}  // namespace

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  fd_ = ::open(path.c_str(), OpenFlags(mode) | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    throw EStreamError(
        std::string(mode == Mode::kCreate ? "Cannot create file \"" : "Cannot open file \"") +
        path + "\". " + std::strerror(errno));
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done, position_);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EStreamError("Stream read error on \"" + path_ + "\". " + std::strerror(errno));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    position_ += n;
  }
  return done;
}

void TFileStream::Write(const void* buffer, size_t count) {
  size_t done = 0;
  const auto* in = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::pwrite(fd_, in + done, count - done, position_);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EStreamError("Stream write error on \"" + path_ + "\". " + std::strerror(errno));
    }
    done += static_cast<size_t>(n);
    position_ += n;
  }
}

void TFileStream::SetPosition(int64_t position) {
  if (position < 0) throw EStreamError("Stream position out of range");
  position_ = position;
}

int64_t TFileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    throw EStreamError("Stream size unknown for \"" + path_ + "\". " + std::strerror(errno));
  }
  return static_cast<int64_t>(st.st_size);
}

}  // namespace vellumark
