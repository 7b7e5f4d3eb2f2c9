// The desktop of the Qt program (shell/desktop.h): the WebEngine browser, the X11 hot key and
// QDesktopServices. It owns the hot key, which stays registered while the desktop lives; its
// presses come as hot_key().activated().
#pragma once

#include <functional>

#include "app/hot_key.h"
#include "shell/desktop.h"

namespace vellumark {

class WebBrowser;

class QtDesktop final : public Desktop {
 public:
  std::unique_ptr<Browser> CreateBrowser(const std::string& trusted_ca_file) override;
  bool RegisterHotKey(int modifiers, int code) override;
  bool OpenWithDesktop(const std::string& target) override;

  GlobalHotKey& hot_key() { return hot_key_; }

  // Runs on every browser made, before it is first shown (unset: nothing).
  std::function<void(WebBrowser&)> browser_created;

 private:
  GlobalHotKey hot_key_;
};

}  // namespace vellumark
