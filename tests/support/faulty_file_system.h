// A FileSystem double over the machine's real one that fails on demand: a disk that fills up
// after so many bytes, a free space of the test's choosing, files that report more bytes than
// were written (a stream of gigabytes without writing them). Everything it does not fail it
// passes to LocalFileSystem(), so the code under test meets real files.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace vellumark::testing {

class FaultyFileSystem final : public FileSystem {
 public:
  // Bytes the disk still takes, over all files; an Append beyond fails as on a full disk,
  // after the part that fits was written. Unset: no limit.
  std::optional<std::uint64_t> disk_left;
  // What FreeSpace answers; unset: the real answer.
  std::optional<std::uint64_t> free_space;
  // Added to every file's Size(), as if that much had been written before.
  std::uint64_t extra_size = 0;
  // Bytes appended to all files so far.
  std::uint64_t written = 0;

  std::unique_ptr<WritableFile> CreateScratchFile(const std::string& path) override {
    return std::make_unique<File>(*this, LocalFileSystem().CreateScratchFile(path));
  }
  std::unique_ptr<WritableFile> CreateReplacement(const std::string& target) override {
    return std::make_unique<File>(*this, LocalFileSystem().CreateReplacement(target));
  }
  std::uint64_t FreeSpace(const std::string& folder) override {
    return free_space ? *free_space : LocalFileSystem().FreeSpace(folder);
  }
  bool RemoveFolder(const std::string& folder) override {
    return LocalFileSystem().RemoveFolder(folder);
  }

 private:
  class File final : public WritableFile {
   public:
    File(FaultyFileSystem& owner, std::unique_ptr<WritableFile> real)
        : owner_(owner), real_(std::move(real)) {}
    const std::string& Path() const override { return real_->Path(); }
    std::uint64_t Size() const override { return real_->Size() + owner_.extra_size; }
    void Append(std::string_view data) override {
      if (owner_.disk_left && data.size() > *owner_.disk_left) {
        data = data.substr(0, *owner_.disk_left);
        owner_.written += data.size();
        real_->Append(data);
        *owner_.disk_left = 0;
        throw EFileError("Cannot write file " + Path() + ": " + std::strerror(ENOSPC));
      }
      if (owner_.disk_left) *owner_.disk_left -= data.size();
      owner_.written += data.size();
      real_->Append(data);
    }
    void Close() override { real_->Close(); }
    void Commit() override { real_->Commit(); }

   private:
    FaultyFileSystem& owner_;
    std::unique_ptr<WritableFile> real_;
  };
};

}  // namespace vellumark::testing
