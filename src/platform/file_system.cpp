#include "platform/file_system.h"

#include "util/folders.h"

namespace vellumark {

namespace {

class LocalFile final : public WritableFile {
 public:
  LocalFile(const std::string& path, TOutputFile::Kind kind) : file_(path, kind) {}

  const std::string& Path() const override { return file_.Path(); }
  std::uint64_t Size() const override { return file_.Size(); }
  void Append(std::string_view data) override { file_.Append(data); }
  void Close() override { file_.Close(); }
  void Commit() override { file_.Commit(); }

 private:
  TOutputFile file_;
};

class LocalFiles final : public FileSystem {
 public:
  std::unique_ptr<WritableFile> CreateScratchFile(const std::string& path) override {
    return std::make_unique<LocalFile>(path, TOutputFile::Kind::kScratch);
  }
  std::unique_ptr<WritableFile> CreateReplacement(const std::string& target) override {
    return std::make_unique<LocalFile>(target, TOutputFile::Kind::kReplacement);
  }
  std::uint64_t FreeSpace(const std::string& folder) override {
    return vellumark::FreeSpace(folder);
  }
  bool RemoveFolder(const std::string& folder) override { return vellumark::RemoveFolder(folder); }
};

}  // namespace

FileSystem& LocalFileSystem() {
  static LocalFiles files;
  return files;
}

void WriteAtomically(FileSystem& file_system, const std::string& path, std::string_view data) {
  std::unique_ptr<WritableFile> file = file_system.CreateReplacement(path);
  file->Append(data);
  file->Commit();
}

}  // namespace vellumark
