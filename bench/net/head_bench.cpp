// Sequential HEAD requests against a loopback server: the client's own, and `curl -sI` run the
// same way against the same server, as the baseline. Each iteration is one request.
//
// Both run 500 requests per repetition:
//   build/bin/net_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "net/http_client.h"
#include "support/loopback_http_server.h"
#include "support/scripted_event_pump.h"
#include "support/test_certificates.h"

extern char** environ;

namespace {

using vellumark::THttpClient;
using vellumark::testing::HttpResponse;
using vellumark::testing::LoopbackHttpServer;
using vellumark::testing::ScriptedEventPump;
using vellumark::testing::ServerReply;

LoopbackHttpServer& Server() {
  static LoopbackHttpServer server;
  static bool ready = [] {
    server.SetDefault(ServerReply::Text(
        HttpResponse("200 OK", {"Content-Type: text/html", "Content-Length: 1234"})));
    return true;
  }();
  (void)ready;
  return server;
}

std::string Url() { return "http://127.0.0.1:" + std::to_string(Server().port()) + "/page.htm"; }

void BM_HttpClientHead(benchmark::State& state) {
  ScriptedEventPump pump;
  THttpClient http(pump);
  const std::string url = Url();
  for (auto _ : state) {
    http.Head(url);
    if (http.ReplyNumber() != 200) state.SkipWithError("bad status");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpClientHead)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(500);

// The same over TLS, for the cost of the handshake (one per request: HTTP/1.0 closes).
void BM_HttpsClientHead(benchmark::State& state) {
  vellumark::testing::TestCertificates certs;
  std::string log;
  if (!vellumark::testing::MakeTestCertificates(&certs, &log)) {
    state.SkipWithError("openssl failed");
    return;
  }
  static LoopbackHttpServer server;
  static bool ready = [&] {
    server.UseTls(certs.localhost, certs.key);
    server.SetDefault(ServerReply::Text(HttpResponse("200 OK", {"Content-Type: text/html"})));
    return true;
  }();
  (void)ready;
  ScriptedEventPump pump;
  THttpClient http(pump);
  http.TrustedCAFile = certs.ca;
  const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/page.htm";
  for (auto _ : state) {
    http.Head(url);
    if (http.ReplyNumber() != 200) state.SkipWithError("bad status");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpsClientHead)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(500);

void BM_CurlHead(benchmark::State& state) {
  const std::string url = Url();
  for (auto _ : state) {
    char* argv[] = {const_cast<char*>("curl"),      const_cast<char*>("-sI"),
                    const_cast<char*>("-o"),        const_cast<char*>("/dev/null"),
                    const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("curl not found");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("curl failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CurlHead)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(500);

}  // namespace

BENCHMARK_MAIN();
