#include "cli/browser_loader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace vellumark::cli {

std::string BrowserLibraryPath(const std::string& executable_path) {
  if (const char* named = std::getenv("VELLUMARK_BROWSER_LIBRARY"); named && *named) return named;
  const std::filesystem::path folder = std::filesystem::path(executable_path).parent_path();
  return (folder / ".." / "lib" / "vellumark" / "libvellumark-browser.so")
      .lexically_normal()
      .string();
}

std::unique_ptr<BrowserEngine> LoadBrowserEngine(const std::string& executable_path,
                                                 const std::string& program,
                                                 const std::string& trusted_ca_file,
                                                 std::string& error) {
  const std::string path = BrowserLibraryPath(executable_path);
  // RTLD_LOCAL: the library's Qt stays its own. Never closed, see the header.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = dlerror();
    error = "cannot load " + path + (reason ? std::string(": ") + reason : std::string());
    return nullptr;
  }
  auto start =
      reinterpret_cast<StartBrowserEngineFunction>(dlsym(library, kStartBrowserEngineSymbol));
  if (!start) {
    error = path + " has no " + kStartBrowserEngineSymbol;
    return nullptr;
  }
  char reason[512] = "";
  std::unique_ptr<BrowserEngine> engine(
      start(program.c_str(), trusted_ca_file.c_str(), reason, sizeof reason));
  if (!engine) error = reason[0] ? reason : "the browser engine did not start";
  return engine;
}

}  // namespace vellumark::cli
