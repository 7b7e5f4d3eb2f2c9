// What the shell's handlers ask of the desktop they run on: the browser engine, the system-wide
// hot key, and the desktop's own program for files and web addresses. The Qt program implements
// it (app/qt_desktop.h); tests pass a double.
#pragma once

#include <memory>
#include <string>

#include "platform/browser.h"

namespace vellumark {

class Desktop {
 public:
  virtual ~Desktop() = default;

  // Starts the browser engine; the browser accepts a certificate error only for a chain that
  // verifies against the extra trusted authorities in `trusted_ca_file` (empty: none). Throws
  // when the engine cannot start.
  virtual std::unique_ptr<Browser> CreateBrowser(const std::string& trusted_ca_file) = 0;

  // Registers the search bar's system-wide hot key (kMod* flags of util/keys.h); false when
  // refused. It stays registered while the desktop lives.
  virtual bool RegisterHotKey(int modifiers, int code) = 0;

  // Opens a file of the program folder (a name without "://") or an address with the desktop's
  // own program. False when that fails.
  virtual bool OpenWithDesktop(const std::string& target) = 0;
};

}  // namespace vellumark
