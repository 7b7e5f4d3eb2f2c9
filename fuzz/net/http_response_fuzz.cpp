// libFuzzer target: the HTTP client's reading of a response (status line, header lines,
// Location, Set-Cookie, Content-Length, body, redirects) from a loopback server that sends the
// input and closes. Any input must end in a result or in one of the client's exceptions,
// inside its buffers and its limits (the build adds the sanitizers).
//
// The first byte picks how the request runs:
//   bit 0  GET instead of HEAD
//   bit 1  a body limit of 100 bytes instead of the default
//   bit 2  a direct connection whose redirect is not followed, so that Header and Body can be
//          checked against the bytes sent; otherwise every exchange goes through the server
//          as a proxy, so that a redirect anywhere still reaches only the loopback server
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_client.h"
#include "support/loopback_http_server.h"
#include "support/scripted_event_pump.h"

namespace {

using vellumark::THttpClient;
using vellumark::testing::LoopbackHttpServer;
using vellumark::testing::ScriptedEventPump;
using vellumark::testing::ServerReply;

struct Harness {
  LoopbackHttpServer server;
  ScriptedEventPump pump;
  THttpClient http{pump};
  Harness() {
    // Only loopback names resolve; anything else fails at once.
    http.SetHostLookup([](const std::string& name, std::uint32_t* address) {
      if (name != "localhost") return vellumark::kWsaHostNotFound;
      *address = 0x0100007F;  // 127.0.0.1 in network byte order
      return 0;
    });
    // A redirect followed through the proxy gets a plain answer.
    server.SetDefault(ServerReply::Text("HTTP/1.0 200 OK\r\n\r\n"));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness* h = new Harness;  // lives for the whole run; the server keeps its port
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  THttpClient& http = h->http;
  const bool direct = (flags & 4) != 0;

  // What the last run kept is let go here, so that a run frees about as much as it takes
  // (libFuzzer checks for leaks after runs that do not).
  http.ClearCookies();
  h->server.ClearRequests();
  http.TimeOut = 5000;  // a fault that makes the client wait ends here, not in a hang
  http.MaxBodySize = (flags & 2) ? 100 : THttpClient::kDefaultMaxBodySize;
  http.Proxy = direct ? "" : "127.0.0.1";
  http.ProxyPort = direct ? 0 : h->server.port();
  http.OnRedirect = [direct](bool& handled) { handled = direct; };
  h->server.Push(ServerReply::Text(reply));

  // A dotted address needs no lookup; through the proxy the name is never looked up.
  const std::string url = std::string(direct ? "http://127.0.0.1:" : "http://localhost:") +
                          std::to_string(h->server.port()) + "/p";
  bool completed = true;
  try {
    if (flags & 1) {
      http.Get(url);
    } else {
      http.Head(url);
    }
  } catch (const vellumark::Exception&) {
    completed = false;  // refusals of the client's limits, and what the address gives
  }

  if (http.Connected()) std::abort();
  if (http.Header.size() > static_cast<std::size_t>(THttpClient::kMaxHeaderBytes)) std::abort();
  if (http.Body.size() > static_cast<std::size_t>(http.MaxBodySize)) std::abort();
  if (direct && completed) {
    // One exchange: the header is the start of what was sent, the body what follows it.
    if (reply.compare(0, http.Header.size(), http.Header) != 0) std::abort();
    if (!http.Body.empty() && reply.compare(http.Header.size(), http.Body.size(), http.Body) != 0)
      std::abort();
    if (!(flags & 1) && !http.Body.empty()) std::abort();
  }
  return 0;
}
