#include <gtest/gtest.h>

#include "net/http_client.h"
#include "net/net_test_util.h"
#include "support/loopback_http_server.h"
#include "support/scripted_event_pump.h"
#include "support/test_certificates.h"

namespace vellumark {
namespace {

using testing::HttpResponse;
using testing::LoopbackHttpServer;
using testing::ScriptedEventPump;
using testing::ServerReply;
using testing::TestCertificates;

class TlsTest : public ::testing::Test {
 protected:
  TlsTest() : http(pump) {
    std::string log;
    made = testing::MakeTestCertificates(&certs, &log);
    EXPECT_TRUE(made) << log;
    http.SetHostLookup(testing::TableLookup());
    http.TrustedCAFile = certs.ca;
  }

  // A TLS server with the given certificate.
  std::unique_ptr<LoopbackHttpServer> Server(const std::string& cert) {
    auto s = std::make_unique<LoopbackHttpServer>();
    s->UseTls(cert, certs.key);
    return s;
  }

  static std::string Url(const std::string& scheme, const LoopbackHttpServer& s,
                         const std::string& path = "/") {
    return scheme + "://localhost:" + std::to_string(s.port()) + path;
  }

  // The text of the ESockError that `request` raises, or "" when it raises none.
  template <typename F>
  static std::string SockError(F request) {
    try {
      request();
    } catch (const ESockError& e) {
      return e.what();
    }
    return "";
  }

  bool made = false;
  TestCertificates certs;
  ScriptedEventPump pump;
  THttpClient http;
};

TEST_F(TlsTest, HeadAndGetGiveWhatPlainHttpGives) {
  ASSERT_TRUE(made);
  const std::string head = HttpResponse("200 OK", {"Content-Type: text/html", "X: y"});
  const std::string body(50000, 'z');
  LoopbackHttpServer plain;
  auto tls = Server(certs.localhost);
  for (LoopbackHttpServer* s : {&plain, tls.get()}) {
    s->Push(ServerReply::Text(head));
    s->Push(ServerReply::Text(head + body));
  }

  http.Head(Url("http", plain, "/p.htm"));
  const std::string plain_header = http.Header;
  http.Get(Url("http", plain, "/p.htm"));
  const std::string plain_body = http.Body;

  http.Head(Url("https", *tls, "/p.htm"));
  EXPECT_EQ(http.Header, plain_header);
  EXPECT_EQ(http.Header, head);
  EXPECT_EQ(http.Port, tls->port());
  http.Get(Url("https", *tls, "/p.htm"));
  EXPECT_EQ(http.Body, plain_body);
  EXPECT_EQ(http.Body, body);
  EXPECT_FALSE(http.Connected());
  // The same request bytes go over both.
  EXPECT_EQ(tls->Requests(), plain.Requests());
}

TEST_F(TlsTest, DottedAddressIsVerifiedAgainstTheCertificatesAddress) {
  ASSERT_TRUE(made);
  auto tls = Server(certs.localhost);
  http.Head("https://127.0.0.1:" + std::to_string(tls->port()) + "/");
  EXPECT_EQ(http.ReplyNumber(), 200);
}

TEST_F(TlsTest, BadCertificatesAreRefusedWithTheReason) {
  ASSERT_TRUE(made);
  struct Case {
    std::string cert;
    std::string reason;
  } cases[] = {
      {certs.untrusted, "unable to get local issuer certificate"},
      {certs.expired, "certificate has expired"},
      {certs.other_host, "hostname mismatch"},
  };
  for (const Case& c : cases) {
    auto tls = Server(c.cert);
    int failed = 0;
    http.OnConnectionFailed = [&](TSocketClient&) { ++failed; };
    EXPECT_EQ(SockError([&] { http.Head(Url("https", *tls)); }),
              "Certificate verification failed: " + c.reason);
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(http.Connected());
    EXPECT_EQ(tls->LastRequest(), "");  // nothing was sent
  }
}

TEST_F(TlsTest, TheTestAuthorityIsTrustedOnlyWhenNamed) {
  ASSERT_TRUE(made);
  auto tls = Server(certs.localhost);
  http.TrustedCAFile = "";
  EXPECT_EQ(SockError([&] { http.Head(Url("https", *tls)); }),
            "Certificate verification failed: unable to get local issuer certificate");
  http.TrustedCAFile = certs.dir + "missing.pem";
  EXPECT_EQ(SockError([&] {
              http.Head(Url("https", *tls));
            }).rfind("Certificate verification failed: cannot read the trusted certificates", 0),
            0u);
  http.TrustedCAFile = certs.ca;
  http.Head(Url("https", *tls));
  EXPECT_EQ(http.ReplyNumber(), 200);
}

TEST_F(TlsTest, RedirectsFromHttpToHttpsAndBack) {
  ASSERT_TRUE(made);
  LoopbackHttpServer plain;
  auto tls = Server(certs.localhost);
  plain.Push(
      ServerReply::Text(HttpResponse("302 Found", {"Location: " + Url("https", *tls, "/s")})));
  tls->Push(ServerReply::Text(HttpResponse("302 Found", {"Location: /s2", "Set-Cookie: t=1"})));
  tls->Push(
      ServerReply::Text(HttpResponse("301 Moved", {"Location: " + Url("http", plain, "/back")})));
  plain.Push(ServerReply::Text(HttpResponse("200 OK", {"X: back"})));
  http.Head(Url("http", plain, "/start"));
  EXPECT_EQ(http.Header, HttpResponse("200 OK", {"X: back"}));
  ASSERT_EQ(tls->Requests().size(), 2u);
  EXPECT_EQ(tls->Requests()[0].substr(0, 18), "HEAD /s HTTP/1.0\r\n");
  EXPECT_EQ(tls->Requests()[1].substr(0, 19), "HEAD /s2 HTTP/1.0\r\n");
  ASSERT_EQ(plain.Requests().size(), 2u);
  EXPECT_EQ(plain.Requests()[1].substr(0, 21), "HEAD /back HTTP/1.0\r\n");
  // The secure server's cookie never travels in clear.
  EXPECT_EQ(plain.Requests()[1].find("Cookie"), std::string::npos);
  EXPECT_FALSE(http.Secure);
}

TEST_F(TlsTest, RelativeRedirectsKeepTlsAndThePort) {
  ASSERT_TRUE(made);
  auto tls = Server(certs.localhost);
  // A colon in the path, and a bare name with one.
  tls->Push(ServerReply::Text(
      HttpResponse("302 Found", {"Set-Cookie: s=1; Secure", "Location: /wiki/Help:Contents"})));
  tls->Push(ServerReply::Text(HttpResponse("302 Found", {"Location: Special:Random"})));
  tls->Push(ServerReply::Text(HttpResponse("200 OK", {"X: end"})));
  http.Head(Url("https", *tls, "/start"));
  EXPECT_EQ(http.Header, HttpResponse("200 OK", {"X: end"}));
  const auto r = tls->Requests();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1].substr(0, 35), "HEAD /wiki/Help:Contents HTTP/1.0\r\n");
  EXPECT_EQ(r[2].substr(0, 31), "HEAD /Special:Random HTTP/1.0\r\n");
  EXPECT_NE(r[1].find("\r\nCookie: s=1\r\n"), std::string::npos);
  EXPECT_TRUE(http.Secure);
  EXPECT_EQ(http.Port, tls->port());
}

TEST_F(TlsTest, TimeOutAndAbortEndAHandshakeWithASilentServer) {
  ASSERT_TRUE(made);
  auto tls = Server(certs.localhost);
  tls->Push(ServerReply::Silent());
  tls->Push(ServerReply::Silent());
  http.TimeOut = 300;
  EXPECT_EQ(SockError([&] { http.Head(Url("https", *tls)); }), "TLS Handshake Timed out");
  EXPECT_FALSE(http.Connected());

  http.TimeOut = 0;
  long pumps_at_start = -1;
  pump.on_pump = [&](long n) {
    if (http.Connected() && pumps_at_start < 0) pumps_at_start = n;
    if (pumps_at_start >= 0 && n > pumps_at_start + 20) http.Abort();
  };
  EXPECT_EQ(SockError([&] { http.Head(Url("https", *tls)); }), "TLS Handshake Canceled");
  pump.on_pump = nullptr;

  // Afterwards the component works as before.
  tls->Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Head(Url("https", *tls));
  EXPECT_EQ(http.ReplyNumber(), 200);
}

}  // namespace
}  // namespace vellumark
