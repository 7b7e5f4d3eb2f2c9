// The one base class of the exceptions that library components raise (socket, HTTP client,
// compressor, table layer). Each carries a fixed English text; handlers catch at their
// boundary and turn it into their own message.
#pragma once

#include <stdexcept>
#include <string>

namespace vellumark {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vellumark
