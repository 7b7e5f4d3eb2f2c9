// TUUProcessor encodes a stream as Base64 (MIME) or uuencode text, in lines of at most 45
// input bytes, each line ended by CR LF. The HTTP client uses the MIME form for the Basic
// authorization line.
//
// The streams are set by the caller and not owned; they must live while Encode runs.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>

namespace vellumark {

enum UUMethods : int { uuMime = 0, uuCode = 1 };

class TUUProcessor final {
 public:
  using TNotifyEvent = std::function<void(TUUProcessor& sender)>;

  UUMethods Method = uuMime;
  TNotifyEvent OnBeginEncode;
  TNotifyEvent OnEndEncode;
  std::istream* InputStream = nullptr;   // not owned
  std::ostream* OutputStream = nullptr;  // not owned

  // Loads the 64-character alphabet of Method.
  void SelectAlphabet();

  // Encodes InputStream from its start into OutputStream. With uuCode every line begins with
  // its length character and a closing line of a lone backquote follows; with uuMime a
  // line's last group is padded with "=". An empty input gives no output with uuMime.
  // Afterwards OutputStream's read position (when it has one) is at its start.
  // REQUIRES: InputStream and OutputStream are set.
  void Encode();

  const std::string& Alphabet() const { return alphabet_; }

 private:
  std::string alphabet_;  // the current alphabet, 64 characters
};

// The Base64 (MIME) text of `data` without line ends, made with TUUProcessor.
std::string Base64Text(const std::string& data);

}  // namespace vellumark
