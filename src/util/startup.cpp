#include "util/startup.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "util/settings_names.h"

namespace vellumark {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// An absolute, normalised form of `path`, relative paths taken from `base`.
std::string FullPath(const std::string& path, const std::string& base) {
  fs::path p(path);
  if (p.is_relative()) p = fs::path(base) / p;
  return p.lexically_normal().string();
}

std::string CurrentFolder() {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  if (ec) throw EStartupError("Cannot read the current directory: " + ec.message());
  return cwd.string();
}

void EnsureFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) {
    throw EStartupError("Cannot create the program folder " + folder);
  }
}

bool IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::optional<std::string> FromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

StartupEnvironment StartupEnvironment::FromProcess() {
  StartupEnvironment env;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw EStartupError("Cannot find the program file: " + ec.message());
  env.executable_path = exe.string();
  env.vellumark_home = FromEnv("VELLUMARK_HOME");
  env.xdg_data_home = FromEnv("XDG_DATA_HOME");
  env.home = FromEnv("HOME");
  return env;
}

std::string ProgramFolderOf(std::string_view executable_path) {
  std::string folder(executable_path.substr(0, executable_path.rfind('/') + 1));
  std::string upper = folder;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const std::size_t at = upper.find("/BIN/");
  if (at != std::string::npos && at > 0) folder.resize(at + 1);
  return folder;
}

std::string ShippedFolderOf(std::string_view executable_path) {
  const fs::path bin = fs::path(std::string(executable_path)).parent_path();
  if (bin.filename() != "bin") return {};
  const fs::path shipped = bin.parent_path() / "share" / "vellumark";
  std::error_code ec;
  if (!fs::is_directory(shipped, ec)) return {};
  return WithSlash(shipped.lexically_normal().string());
}

std::string FindProgramFolder(const StartupEnvironment& env) {
  if (env.vellumark_home && !env.vellumark_home->empty()) {
    std::string folder = WithSlash(FullPath(*env.vellumark_home, CurrentFolder()));
    EnsureFolder(folder);
    return folder;
  }
  std::string folder = WithSlash(FullPath(ProgramFolderOf(env.executable_path), CurrentFolder()));
  if (ShippedFolderOf(env.executable_path).empty() && IsWritableFolder(folder)) return folder;

  // An installed program: the settings and tables go to the user's data folder.
  std::string data_home;
  if (env.xdg_data_home && fs::path(*env.xdg_data_home).is_absolute()) {
    data_home = *env.xdg_data_home;
  } else if (env.home && !env.home->empty()) {
    data_home = WithSlash(*env.home) + ".local/share";
  } else {
    throw EStartupError("The program folder " + folder + " is not writable and HOME is not set");
  }
  folder = WithSlash(fs::path(data_home).lexically_normal().string()) + "vellumark/";
  EnsureFolder(folder);
  return folder;
}

std::string SettingsFileName(const std::string& program_folder, std::string_view executable_path) {
  fs::path name = fs::path(std::string(executable_path)).filename();
  name.replace_extension(".ini");
  return WithSlash(program_folder) + name.string();
}

std::string DatabaseRootFolder(const TPIniFile& settings, const std::string& program_folder) {
  const std::string value = settings.ReadString(kDBFolderSetting, "");
  if (value.empty()) return WithSlash(program_folder);
  return WithSlash(FullPath(value, program_folder));
}

std::unique_ptr<TPIniFile> StartUnit(const StartupEnvironment& env, ProgramContext& context) {
  const std::string folder = FindProgramFolder(env);
  std::error_code ec;
  fs::current_path(folder, ec);
  if (ec) throw EStartupError("Cannot change to the program folder " + folder);
  auto settings = std::make_unique<TPIniFile>(SettingsFileName(folder, env.executable_path));
  context.program_folder = folder;
  context.shipped_folder = ShippedFolderOf(env.executable_path);
  context.db_root_folder = DatabaseRootFolder(*settings, folder);
  context.settings = settings.get();
  return settings;
}

}  // namespace vellumark
