// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. `prefix` starts its name, so a folder a crashed test leaves shows whose it is.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vellumark::testing {

class TempFolder final {
 public:
  explicit TempFolder(const std::string& prefix = "vmtest.") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern + "/";
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, ending with "/".
  const std::string& path() const { return path_; }

  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ + name, std::ios::binary) << content;
    return path_ + name;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

}  // namespace vellumark::testing
