#include "util/folders.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace vellumark {

namespace fs = std::filesystem;

namespace {

// The folder named by a text that may end with "/". The slash must go: the system resolves a
// link named with a trailing "/" to the folder it names, which is what must not happen here.
fs::path Named(const std::string& folder) {
  std::string name = folder;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return fs::path(name);
}

fs::file_type TypeOf(const fs::path& path) {
  std::error_code ec;
  const fs::file_type type = fs::symlink_status(path, ec).type();
  return ec ? fs::file_type::not_found : type;
}

}  // namespace

bool ClearFolder(const std::string& folder, bool recurse) {
  const fs::path dir = Named(folder);
  const fs::file_type type = TypeOf(dir);
  if (type == fs::file_type::not_found) return true;
  if (type != fs::file_type::directory) return false;

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
  const fs::path dir = Named(folder);
  const fs::file_type type = TypeOf(dir);
  if (type == fs::file_type::not_found) return true;
  std::error_code ec;
  if (type == fs::file_type::symlink) return fs::remove(dir, ec) && !ec;
  if (!ClearFolder(folder, true)) return false;
  return fs::remove(dir, ec) && !ec;
}

}  // namespace vellumark
