// The desktop of the Qt program (shell/desktop.h): the WebEngine browser, the X11 hot key and
// QDesktopServices. It owns the hot key, which stays registered while the desktop lives; its
// presses come as hot_key().activated().
#pragma once

#include "app/hot_key.h"
#include "shell/desktop.h"

namespace vellumark {

class QtDesktop final : public Desktop {
 public:
  std::unique_ptr<Browser> CreateBrowser(const std::string& trusted_ca_file) override;
  bool RegisterHotKey(int modifiers, int code) override;
  bool OpenWithDesktop(const std::string& target) override;

  GlobalHotKey& hot_key() { return hot_key_; }

 private:
  GlobalHotKey hot_key_;
};

}  // namespace vellumark
