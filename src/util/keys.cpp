#include "util/keys.h"

#include "util/utf8.h"

namespace vellumark {

std::int16_t KeyNameToVirtualKey(std::string_view name) {
  if (name.empty()) return -1;
  std::size_t pos = 0;
  const char32_t c = NextCodePoint(name, pos);
  if (pos == name.size()) return c <= 0x7FFF ? static_cast<std::int16_t>(c) : -1;
  if (name.size() == 2 && name[0] == 'F' && name[1] >= '1' && name[1] <= '9') {
    return static_cast<std::int16_t>(112 + (name[1] - '1'));
  }
  if (name.size() == 3 && name[0] == 'F' && name[1] == '1' && name[2] >= '0' && name[2] <= '2') {
    return static_cast<std::int16_t>(121 + (name[2] - '0'));
  }
  return -1;
}

HotKey ParseHotKey(std::string_view value) {
  HotKey key;
  const std::string text = [&] {
    std::string upper(value);
    for (char& c : upper) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
  }();
  if (text.empty()) return key;
  std::string_view name = text;
  const std::size_t slash = text.find('/');
  if (slash != std::string::npos) {
    key.modifier = text.substr(0, slash);
    name = std::string_view(text).substr(slash + 1);
  }
  key.code = KeyNameToVirtualKey(name);
  if (key.modifier.empty()) {
    key.modifier_flags = kModNone;
  } else if (key.modifier == "ALT") {
    key.modifier_flags = kModAlt;
  } else if (key.modifier == "CTRL") {
    key.modifier_flags = kModControl;
  } else if (key.modifier == "SHIFT") {
    key.modifier_flags = kModShift;
  } else {
    key.modifier_flags = -1;
  }
  return key;
}

}  // namespace vellumark
