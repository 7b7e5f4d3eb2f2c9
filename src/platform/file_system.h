// The file-system seam: the file operations that can fail on a full disk or a missing folder.
// A scratch file (the archive's "~kiv1.tmp"), a replacement that takes the place of a file
// whole or not at all (the archive file, the settings file), the free space of a folder, and
// folder removal that never follows a link.
//
// LocalFileSystem() is the real one (util/files.h and util/folders.h do the work); the tests
// hand in a double that fails on demand (tests/support/faulty_file_system.h). Failures raise
// EFileError with a text that names the file and the reason.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/files.h"

namespace vellumark {

// A file open for writing. A scratch file stays when the object goes; a replacement goes
// unless Commit put it in its target's place.
class WritableFile {
 public:
  virtual ~WritableFile() = default;

  virtual const std::string& Path() const = 0;
  // Bytes appended so far.
  virtual std::uint64_t Size() const = 0;
  // Appends all of `data` or raises EFileError.
  virtual void Append(std::string_view data) = 0;
  // Writes everything out and closes the file; raises EFileError when that fails.
  virtual void Close() = 0;
  // A replacement: writes everything out, syncs it and renames it over its target.
  virtual void Commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The file `path` itself, created or emptied.
  virtual std::unique_ptr<WritableFile> CreateScratchFile(const std::string& path) = 0;
  // A new file beside `target` (beside the file it names, when it is a link) that Commit
  // renames over it. Until then `target` is untouched.
  virtual std::unique_ptr<WritableFile> CreateReplacement(const std::string& target) = 0;
  // Bytes that may still be written on the file system of `folder`.
  virtual std::uint64_t FreeSpace(const std::string& folder) = 0;
  // RemoveFolder of util/folders.h: the folder with everything in it, or only the link when
  // `folder` is one; links inside are removed as links. True when nothing is left.
  virtual bool RemoveFolder(const std::string& folder) = 0;
};

// The file system of the machine. It holds no state; it lives as long as the program.
FileSystem& LocalFileSystem();

// Makes `data` the whole content of `path` through a replacement: on failure EFileError is
// raised and the old file stays whole.
void WriteAtomically(FileSystem& file_system, const std::string& path, std::string_view data);

}  // namespace vellumark
