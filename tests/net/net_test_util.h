// Shared pieces of the network tests: a host table instead of DNS.
#pragma once

#include <arpa/inet.h>

#include <atomic>
#include <string>

#include "net/socket_client.h"

namespace vellumark::testing {

// Resolves "localhost" and names ending in ".test" to 127.0.0.1; everything else is unknown.
// Counts its calls.
inline HostLookupFn TableLookup(std::atomic<int>* calls = nullptr) {
  return [calls](const std::string& name, std::uint32_t* address) {
    if (calls) ++*calls;
    if (name == "localhost" || (name.size() > 5 && name.substr(name.size() - 5) == ".test")) {
      *address = htonl(INADDR_LOOPBACK);
      return 0;
    }
    return kWsaHostNotFound;
  };
}

}  // namespace vellumark::testing
