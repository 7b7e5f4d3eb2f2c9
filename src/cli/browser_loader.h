// Loads the browser engine library (browser/browser_engine.h) at run time: the file named by
// VELLUMARK_BROWSER_LIBRARY when that is set, else libvellumark-browser.so in ../lib/vellumark/
// beside the folder of the running program (build/bin/ gives build/lib/vellumark/, an installed
// bin/ its lib/vellumark/).
#pragma once

#include <memory>
#include <string>

#include "browser/browser_engine.h"

namespace vellumark::cli {

// The library file to load, for the program at `executable_path`.
std::string BrowserLibraryPath(const std::string& executable_path);

// Loads the library and starts its engine. Returns null with the reason in `error` when the
// library cannot be loaded or the engine does not start. The library stays loaded until the
// process ends (the engine's code must outlive the engine and whatever it made).
std::unique_ptr<BrowserEngine> LoadBrowserEngine(const std::string& executable_path,
                                                 const std::string& program,
                                                 const std::string& trusted_ca_file,
                                                 std::string& error);

}  // namespace vellumark::cli
