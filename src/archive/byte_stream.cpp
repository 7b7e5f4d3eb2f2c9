#include "archive/byte_stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace vellumark {

std::size_t TMemorySource::Read(char* buf, std::size_t n) {
  n = std::min<std::size_t>(n, bytes_.size() - pos_);
  if (n > 0) std::memcpy(buf, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

TFileSource::TFileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
  if (file_ == nullptr) throw EArchiveIoError("Cannot open file " + path);
  struct stat st;
  if (fstat(fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(file_);
    file_ = nullptr;
    throw EArchiveIoError("Cannot open file " + path);
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

TFileSource::~TFileSource() {
  if (file_ != nullptr) std::fclose(file_);
}

std::size_t TFileSource::Read(char* buf, std::size_t n) {
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, Left()));
  if (n == 0) return 0;
  std::size_t got = std::fread(buf, 1, n, file_);
  if (got < n && std::ferror(file_)) throw EArchiveIoError("Cannot read file");
  offset_ += got;
  // A file that shrank while it was read: nothing more is to be had.
  if (got < n) size_ = offset_;
  return got;
}

bool TBufferedReader::Fill() {
  pos_ = 0;
  end_ = source_.Read(buffer_, sizeof buffer_);
  return end_ > 0;
}

bool TBufferedReader::Take(std::size_t n, std::string& out) {
  while (n > 0) {
    if (pos_ == end_ && !Fill()) return false;
    std::size_t piece = std::min(n, end_ - pos_);
    out.append(buffer_ + pos_, piece);
    pos_ += piece;
    taken_ += piece;
    n -= piece;
  }
  return true;
}

}  // namespace vellumark
