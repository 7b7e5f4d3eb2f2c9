// The socket component's exceptions and the Winsock error table its messages come from, with
// the one translation of the system's errno values and host-lookup codes onto Winsock numbers.
// Every failure of a system call is turned into a Winsock number here, so that the texts read
// as the table has them ("10061:Connection refused") whatever the platform said.
#pragma once

#include <string>

#include "util/exception.h"

namespace vellumark {

// Socket failures. The text is fixed ("Connection Failed", "10061:Connection refused", ...).
class ESockError : public Exception {
 public:
  explicit ESockError(const std::string& message) : Exception(message) {}
};

// An operation ended by Cancel, Abort or the time-out.
class EAbortError : public ESockError {
 public:
  explicit EAbortError(const std::string& message) : ESockError(message) {}
};

// Winsock error numbers that the component's logic looks at.
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaEInProgress = 10036;
inline constexpr int kWsaENotSock = 10038;
inline constexpr int kWsaEShutdown = 10058;
inline constexpr int kWsaENotConn = 10057;
inline constexpr int kWsaHostNotFound = 11001;

// Maps an errno value onto the Winsock number of the same meaning; an errno without one maps
// to 20000 + errno, clear of the table, so that it still reads as an error of its own.
int WinsockErrorNumber(int posix_errno);

// Maps a getaddrinfo result code (not 0) onto the Winsock number of a failed lookup.
int WinsockLookupError(int gai_code);

// "number:text" for a row of the table, "Unknown Error No. number" for any other number, and
// an empty text for 0.
std::string WinsockErrorText(int number);

}  // namespace vellumark
