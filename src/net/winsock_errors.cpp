#include "net/winsock_errors.h"

#include <netdb.h>

#include <cerrno>

namespace vellumark {

namespace {

struct ErrorRow {
  int number;
  const char* text;
  int posix_errno;  // the errno of the same meaning, 0 for none
};

constexpr ErrorRow kErrorTable[] = {
    {10004, "Interrupted system call", EINTR},
    {10009, "Bad file number", EBADF},
    {10013, "Permission denied", EACCES},
    {10014, "Bad address", EFAULT},
    {10022, "Invalid argument", EINVAL},
    {10024, "Too many open files", EMFILE},
    {10035, "Operation would block", EWOULDBLOCK},
    {10036, "Operation now in progress", EINPROGRESS},
    {10037, "Operation already in progress", EALREADY},
    {10038, "Socket operation on non-socket", ENOTSOCK},
    {10039, "Destination address required", EDESTADDRREQ},
    {10040, "Message too long", EMSGSIZE},
    {10041, "Wrong protocol type for socket", EPROTOTYPE},
    {10042, "Bad protocol option", ENOPROTOOPT},
    {10043, "Protocol not supported", EPROTONOSUPPORT},
    {10044, "Socket type not supported", ESOCKTNOSUPPORT},
    {10045, "Operation not supported on socket", EOPNOTSUPP},
    {10046, "Protocol family not supported", EPFNOSUPPORT},
    {10047, "Address family not supported by protocol family", EAFNOSUPPORT},
    {10048, "Address already in use", EADDRINUSE},
    {10049, "Can't assign requested address", EADDRNOTAVAIL},
    {10050, "Network is down", ENETDOWN},
    {10051, "Network is unreachable", ENETUNREACH},
    {10052, "Network dropped connection or reset", ENETRESET},
    {10053, "Software caused connection abort", ECONNABORTED},
    {10054, "Connection reset by peer", ECONNRESET},
    {10055, "No buffer space available", ENOBUFS},
    {10056, "Socket is already connected", EISCONN},
    {10057, "Socket is not connected", ENOTCONN},
    {10058, "Can't send after socket shutdown", ESHUTDOWN},
    {10059, "Too many references, can't splice", ETOOMANYREFS},
    {10060, "Connection timed out", ETIMEDOUT},
    {10061, "Connection refused", ECONNREFUSED},
    {10062, "Too many levels of symbolic links", ELOOP},
    {10063, "File name too long", ENAMETOOLONG},
    {10064, "Host is down", EHOSTDOWN},
    {10065, "No route to Host", EHOSTUNREACH},
    {10066, "Directory not empty", ENOTEMPTY},
    {10067, "Too many processes", 0},
    {10068, "Too many users", EUSERS},
    {10069, "Disc quota exceeded", EDQUOT},
    {10070, "Stale NFS file handle", ESTALE},
    {10071, "Too many levels of remote in path", EREMOTE},
    {10091, "Network subsystem is unavailable", 0},
    {10092, "Incompatible version of WINSOCK.DLL", 0},
    {10093, "Successful WSAStartup not yet performed", 0},
    {11001, "Host not found", 0},
    {11002, "Non-Authoritative Host not found", 0},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP", 0},
    {11004, "Valid name, no data record of requested type", 0},
};

}  // namespace

int WinsockErrorNumber(int posix_errno) {
  if (posix_errno == 0) return 0;
  // Writing to a connection the peer has closed reads as a send after shutdown.
  if (posix_errno == EPIPE) return kWsaEShutdown;
  for (const ErrorRow& row : kErrorTable) {
    if (row.posix_errno == posix_errno) return row.number;
  }
  return 20000 + posix_errno;
}

int WinsockLookupError(int gai_code) {
  switch (gai_code) {
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
    default:
      return kWsaHostNotFound;
  }
}

std::string WinsockErrorText(int number) {
  if (number == 0) return {};
  for (const ErrorRow& row : kErrorTable) {
    if (row.number == number) return std::to_string(number) + ":" + row.text;
  }
  return "Unknown Error No. " + std::to_string(number);
}

}  // namespace vellumark
