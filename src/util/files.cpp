#include "util/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace vellumark {

namespace fs = std::filesystem;

namespace {

// Small writes (the index stream is written a few bytes at a time) are collected up to this.
constexpr std::size_t kBufferSize = 1 << 16;

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw EFileError(std::string(what) + " " + path + ": " + std::strerror(error));
}

// The file a replacement is renamed over: `path`, or the file it names when it is a link, so
// that the link stays and the new file lands in the target's folder (a rename cannot cross
// file systems).
std::string ReplacedFile(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target.string();
}

// Creates a file of a name not yet taken in the folder of `target`, for writing. The name
// starts with "." so that a file left by a crash stays out of the way. Created with the mode
// every new file gets (0666 less the umask); Commit keeps the mode of a file it replaces.
int CreateUnique(const std::string& target, std::string& path) {
  const fs::path t(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
  const std::string stem = "." + t.filename().string() + ".";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = (folder / (stem + std::to_string(random()))).string();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

TOutputFile::TOutputFile(const std::string& path, Kind kind) {
  if (kind == Kind::kScratch) {
    path_ = path;
    // A link in the scratch file's place is refused: emptying it would empty what it names.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0) Fail("Cannot create file", path, errno);
  } else {
    target_ = ReplacedFile(path);
    fd_ = CreateUnique(target_, path_);
    if (fd_ < 0) Fail("Cannot create file", path, errno);
    remove_ = true;
  }
  buffer_.reserve(kBufferSize);
}

TOutputFile::~TOutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (remove_) ::unlink(path_.c_str());
}

void TOutputFile::Append(std::string_view data) {
  if (fd_ < 0) Fail("Cannot write file", path_, EBADF);
  size_ += data.size();
  if (buffer_.size() + data.size() <= kBufferSize) {
    buffer_.append(data);
    return;
  }
  Flush();
  if (data.size() < kBufferSize) {
    buffer_.append(data);
    return;
  }
  // A large piece goes straight to the file.
  WriteAll(data);
}

void TOutputFile::WriteAll(std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    // A write of nothing on a non-empty buffer is how some file systems say they are full.
    if (n <= 0) Fail("Cannot write file", path_, n < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(n);
  }
}

void TOutputFile::Flush() {
  WriteAll(buffer_);
  buffer_.clear();
}

void TOutputFile::Close() {
  if (fd_ < 0) return;
  Flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("Cannot write file", path_, errno);
}

void TOutputFile::Commit() {
  if (fd_ < 0 || target_.empty()) Fail("Cannot write file", path_, EBADF);
  Flush();
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0 && ::fchmod(fd_, st.st_mode & 07777) != 0) {
    Fail("Cannot write file", path_, errno);
  }
  if (::fsync(fd_) != 0) Fail("Cannot write file", path_, errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("Cannot write file", path_, errno);
  if (std::rename(path_.c_str(), target_.c_str()) != 0) Fail("Cannot rename to", target_, errno);
  remove_ = false;
}

void WriteFileAtomically(const std::string& path, std::string_view data) {
  TOutputFile file(path, TOutputFile::Kind::kReplacement);
  file.Append(data);
  file.Commit();
}

std::uint64_t FreeSpace(const std::string& folder) {
  struct statvfs st;
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

}  // namespace vellumark
