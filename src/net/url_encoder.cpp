#include "net/url_encoder.h"

#include <exception>

namespace vellumark {

namespace {

std::string EncodeBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b == ' ') {
      out += '+';
    } else if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

}  // namespace

std::string TUrlEncoder::URLEncode(std::string_view text) {
  try {
    return EncodeBytes(text);
  } catch (const std::exception& e) {
    if (OnError) OnError(*this, "Error during encode", e.what());
    return std::string(text);
  }
}

}  // namespace vellumark
