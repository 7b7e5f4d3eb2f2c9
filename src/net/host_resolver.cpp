#include "net/host_resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/winsock_errors.h"

namespace vellumark {

int SystemHostLookup(const std::string& name, std::uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    if (result) freeaddrinfo(result);
    return WinsockLookupError(rc);
  }
  *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(result);
  return 0;
}

HostResolver::~HostResolver() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    waiting_ = false;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void HostResolver::SetLookup(HostLookupFn lookup) {
  std::lock_guard<std::mutex> lock(mutex_);
  lookup_ = lookup ? std::move(lookup) : HostLookupFn(SystemHostLookup);
}

void HostResolver::Start(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = ++started_;
    waiting_ = true;
    waiting_name_ = name;
    waiting_fn_ = lookup_;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  wake_.notify_one();
}

bool HostResolver::Poll(int* error, std::uint32_t* address) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (wanted_ == 0 || finished_ != wanted_) return false;
  *error = error_;
  *address = address_;
  return true;
}

void HostResolver::Abandon() {
  std::lock_guard<std::mutex> lock(mutex_);
  wanted_ = 0;
  waiting_ = false;
  waiting_fn_ = nullptr;
}

void HostResolver::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || waiting_; });
    if (stop_) return;
    const std::uint64_t number = started_;
    const std::string name = std::move(waiting_name_);
    const HostLookupFn fn = std::move(waiting_fn_);
    waiting_ = false;
    lock.unlock();
    int error = kWsaHostNotFound;
    std::uint32_t address = 0;
    try {
      error = fn(name, &address);
    } catch (...) {
      // A lookup that throws found nothing.
    }
    lock.lock();
    if (number == wanted_) {
      finished_ = number;
      error_ = error;
      address_ = address;
    }
  }
}

}  // namespace vellumark
