#include "util/folders.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace vellumark {

namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

}  // namespace

bool ClearFolder(const std::string& folder, bool recurse) {
  const fs::path dir(folder);
  if (!Exists(dir)) return true;

  // Collect first, delete afterwards: deleting while iterating is not portable.
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return false;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    entries.push_back(*it);
  }
  if (ec) return false;

  bool ok = true;
  for (const auto& entry : entries) {
    std::error_code type_ec;
    const bool is_folder = entry.is_directory(type_ec) && !entry.is_symlink(type_ec);
    if (is_folder) {
      if (recurse && !RemoveFolder(entry.path().string())) ok = false;
      continue;
    }
    std::error_code remove_ec;
    if (!fs::remove(entry.path(), remove_ec) || remove_ec) ok = false;
  }
  return ok;
}

bool RemoveFolder(const std::string& folder) {
  const fs::path dir(folder);
  if (!Exists(dir)) return true;
  if (!ClearFolder(folder, true)) return false;
  std::error_code ec;
  return fs::remove(dir, ec) && !ec;
}

}  // namespace vellumark
