// Key names of the "Interface" / "HotKey" setting and their virtual-key codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vellumark {

// Empty text: -1. A text of one character (one UTF-8 sequence): that character's code when it
// fits in 16 bits, else -1. "F1" to "F12", compared exactly (the caller upper-cases the text
// first): 112 to 123. Anything else: -1.
std::int16_t KeyNameToVirtualKey(std::string_view name);

// Modifier flags of a system-wide hot key.
enum HotKeyModifierFlags : int {
  kModNone = 0,
  kModAlt = 1,
  kModControl = 2,
  kModShift = 4,
};

// A "HotKey" setting taken apart.
struct HotKey {
  std::string modifier;    // HotKeyModifier: upper-case word before the first "/", or empty
  int code = 0;            // HotKeyCode: the virtual-key code; 0 or less means none
  int modifier_flags = 0;  // kMod* for the modifier word; -1 for a word that is not a modifier

  // A hot key is registered only with a known key and a known modifier (or none).
  bool Registrable() const { return code > 0 && modifier_flags >= 0; }
};

// Upper-cases `value` (letters A to Z) and splits it: without "/" the whole text is the key
// name; with "/" first the key name is the rest; otherwise the modifier is the text before the
// first "/" and the key name the text after it. Examples: "F12", "CTRL/F12", "ALT/K", "/F9".
// An empty value gives no hot key (code 0).
HotKey ParseHotKey(std::string_view value);

}  // namespace vellumark
