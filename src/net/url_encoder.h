// TUrlEncoder turns form data into the URL-encoded form that a POST request sends: a space
// becomes "+", digits and ASCII letters stay, every other byte becomes "%" and two upper-case
// hexadecimal digits.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vellumark {

class TUrlEncoder final {
 public:
  // Called with the component, the operation and the message when encoding fails.
  using TOnErrorEvent = std::function<void(TUrlEncoder& sender, const std::string& operation,
                                           const std::string& message)>;

  std::string InputString;  // the text Encode works on
  TOnErrorEvent OnError;

  // The encoded form of `text`. Texts of any length are encoded whole. When encoding raises,
  // OnError is told and the text is returned unchanged.
  std::string URLEncode(std::string_view text);
  std::string Encode() { return URLEncode(InputString); }
};

}  // namespace vellumark
