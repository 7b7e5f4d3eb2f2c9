// Files that are written whole or not at all, scratch files, and the free space of a folder:
// the real file operations behind the file-system seam (platform/file_system.h). The settings
// file writes through WriteFileAtomically here unless it is handed another writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/exception.h"

namespace vellumark {

// A file could not be created, written, synced, closed or renamed (a full disk, a missing
// folder, no permission). The text names the file and the system's reason.
class EFileError : public Exception {
 public:
  using Exception::Exception;
};

// A file open for writing, with a buffer of its own. Two kinds:
//   kScratch      the file at `path` itself, created or emptied; it stays when the object goes
//                 (its owner removes it when done with it). A link at `path` is refused.
//   kReplacement  a new file under a unique name in the folder of `path`, which Commit renames
//                 over `path`; removed when the object goes without a Commit, so `path` is
//                 replaced whole or not at all. When `path` is a symbolic link, the file it
//                 names is replaced and the link stays.
// Every failure raises EFileError; after one, the object only cleans up.
class TOutputFile final {
 public:
  enum class Kind { kScratch, kReplacement };

  TOutputFile(const std::string& path, Kind kind);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // The file being written (for a replacement: its temporary name until Commit).
  const std::string& Path() const { return path_; }
  // Bytes appended so far.
  std::uint64_t Size() const { return size_; }

  void Append(std::string_view data);
  // Writes what is buffered and closes the file. Nothing happens when it is closed already.
  void Close();
  // Writes what is buffered, syncs the file to disk, gives it the mode of the file it replaces
  // (or the mode a new file gets) and renames it over the target.
  // REQUIRES: a kReplacement file, not closed.
  void Commit();

 private:
  void Flush();
  // Writes all of `data` at the file's position; raises on a failed or empty write.
  void WriteAll(std::string_view data);

  std::string path_;        // the file written
  std::string target_;      // kReplacement: the file Commit replaces
  int fd_ = -1;             // -1 once closed
  bool remove_ = false;     // remove path_ when the object goes
  std::string buffer_;      // bytes not yet written to fd_
  std::uint64_t size_ = 0;  // bytes appended
};

// Makes `data` the whole content of `path`: written to a replacement beside it, synced, and
// renamed over it. On failure EFileError is raised, the old file is as it was and no temporary
// file stays.
void WriteFileAtomically(const std::string& path, std::string_view data);

// How a whole file is written; WriteFileAtomically is the real one.
using TWholeFileWriter = std::function<void(const std::string& path, std::string_view data)>;

// Bytes an ordinary user may still write on the file system of `folder` (the current folder
// when empty); UINT64_MAX when it cannot be told.
std::uint64_t FreeSpace(const std::string& folder);

}  // namespace vellumark
