// The browser engine of a program that has no Qt of its own. vellumark-cli loads it at run time,
// only for the commands that load pages, from the library libvellumark-browser.so (found as
// <folder of the program>/../lib/vellumark/, or where VELLUMARK_BROWSER_LIBRARY names it). The
// library exports one C function, StartBrowserEngine: it starts the Qt application (headless
// unless the caller chose a platform) and the WebEngine browser, and hands them over as a
// BrowserEngine. The other commands never load the library, nor Qt with it.
//
// This header is the whole contract between the two sides and holds no Qt. The caller owns the
// engine and deletes it before the process ends: the browser goes first, then the Qt
// application. Every browser object (text ranges included) must be gone by then. The library
// stays loaded until the process ends.
#pragma once

#include <cstddef>

#include "platform/browser.h"
#include "platform/event_pump.h"

namespace vellumark {

class BrowserEngine {
 public:
  virtual ~BrowserEngine() = default;
  // Runs the Qt events, the browser's among them.
  virtual EventPump& Pump() = 0;
  virtual Browser& GetBrowser() = 0;
};

// The exported function's name, for dlsym, and its type. `program` is the program's name (Qt
// sees no other argument); `trusted_ca_file` names the extra trusted authorities (empty: none).
// Returns null when the engine does not start, with the reason in `error` (`error_size` bytes,
// always terminated).
inline constexpr char kStartBrowserEngineSymbol[] = "vellumark_start_browser_engine";
using StartBrowserEngineFunction = BrowserEngine* (*)(const char* program,
                                                      const char* trusted_ca_file, char* error,
                                                      std::size_t error_size);

}  // namespace vellumark
