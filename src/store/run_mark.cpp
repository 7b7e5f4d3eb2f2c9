#include "store/run_mark.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vellumark {

TRunMark::TRunMark(const std::string& folder, Kind kind) {
  // A descriptor of its own: flock locks belong to the open file, so two marks in one process
  // exclude each other as marks in two processes do.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (flock(fd, (kind == Kind::kRun ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    blocked_ = errno == EWOULDBLOCK;
    close(fd);
    return;
  }
  fd_ = fd;
}

TRunMark::~TRunMark() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

}  // namespace vellumark
