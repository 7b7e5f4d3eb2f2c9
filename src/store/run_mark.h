// A mark on a location folder that says an indexing run is adding to its pending postings. The
// run holds the mark shared for its whole length; opening a location writes the pending postings
// into the word lists only while it can hold the mark exclusive, so a search or an archive
// command never merges the rows of a live run (in this process or another). That merge would
// hold the database's write lock for seconds, and the run's next page would fail on it; the
// run's own end writes those rows instead.
//
// The mark is the kernel's lock on the folder (flock), not a file: it goes with the process
// that held it, so a killed run leaves nothing that keeps its postings from the next open.
// When the folder cannot be opened or locked the mark is not held, and blocks nothing.
#pragma once

#include <string>

namespace vellumark {

class TRunMark final {
 public:
  enum class Kind {
    kRun,    // shared; more than one run may hold it
    kMerge,  // exclusive; not held while any run holds the mark
  };
  // Tries to take the mark on `folder` without waiting.
  TRunMark(const std::string& folder, Kind kind);
  ~TRunMark();
  TRunMark(const TRunMark&) = delete;
  TRunMark& operator=(const TRunMark&) = delete;

  bool Held() const { return fd_ >= 0; }
  // True when another holder kept the mark from being taken; false when it was taken, and when
  // the folder could not be opened or its file system does not lock.
  bool Blocked() const { return blocked_; }

 private:
  int fd_ = -1;
  bool blocked_ = false;
};

}  // namespace vellumark
