#include "net/http_client.h"

#include <gtest/gtest.h>

#include "net/net_test_util.h"
#include "support/loopback_http_server.h"
#include "support/scripted_event_pump.h"

namespace vellumark {
namespace {

using testing::HttpResponse;
using testing::LoopbackHttpServer;
using testing::ScriptedEventPump;
using testing::ServerReply;

const std::string kAccept =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
const std::string kContentType = "Content-type: application/x-www-form-urlencoded\r\n";

class HttpTest : public ::testing::Test {
 protected:
  HttpTest() : http(pump) { http.SetHostLookup(testing::TableLookup()); }
  std::string Base() { return "http://localhost:" + std::to_string(server.port()); }

  ScriptedEventPump pump;
  LoopbackHttpServer server;
  THttpClient http;
};

TEST_F(HttpTest, HeadSendsExactlyTheDocumentedLines) {
  const std::string reply = HttpResponse("200 OK", {"Content-Type: text/html", "Server: t"});
  server.Push(ServerReply::Text(reply));
  std::vector<CmdType> successes;
  http.OnSuccess = [&](CmdType c) { successes.push_back(c); };
  http.Head(Base());
  EXPECT_EQ(server.LastRequest(),
            "HEAD / HTTP/1.0\r\nHost: localhost\r\n" + kAccept + kContentType + "\r\n");
  EXPECT_EQ(http.RequestURL, Base() + "/");
  EXPECT_EQ(http.Header, reply);  // status line, two lines, the empty line, each with CR LF
  EXPECT_EQ(http.Body, "");
  EXPECT_EQ(http.ReplyNumber(), 200);
  EXPECT_EQ(successes, std::vector<CmdType>{cmdHead});
  EXPECT_EQ(static_cast<int>(cmdHead), 2);
  EXPECT_FALSE(http.Connected());

  server.Push(ServerReply::Text(reply));
  http.Head(Base() + "/");
  EXPECT_EQ(http.RequestURL, Base() + "/");
  EXPECT_EQ(server.LastRequest().substr(0, 17), "HEAD / HTTP/1.0\r\n");
}

TEST_F(HttpTest, BodyEndsAtTheHeaderAtContentLengthOrAtTheClose) {
  const std::string g(10000, 'g');
  const std::string head = HttpResponse("200 OK", {"Content-Type: text/html"});
  struct Case {
    const char* what;
    CmdType cmd;
    ServerReply reply;
    std::string body;
  } cases[] = {
      {"GET to the close", cmdGet, ServerReply::Text(head + g), g},
      {"GET to Content-Length", cmdGet,
       ServerReply::Text(HttpResponse("200 OK", {"Content-Length: 5"}, g)), "ggggg"},
      // Servers that keep the connection open: nothing waits for the close.
      {"kept-open HEAD", cmdHead, ServerReply::KeepOpen(head), ""},
      {"kept-open GET", cmdGet,
       ServerReply::KeepOpen(HttpResponse("200 OK", {"Content-Length: 4"}, "abcd")), "abcd"},
      {"kept-open 204", cmdGet, ServerReply::KeepOpen(HttpResponse("204 No Content", {})), ""},
      // A HEAD answer followed by an endless body ends at the blank line; nothing is kept.
      {"endless HEAD body", cmdHead, ServerReply::KeepOpen(head, std::string(65536, 'x')), ""},
  };
  // Waiting for the time-out would raise "Socket capture aborted". The first body is exactly
  // as long as the limit, which keeps it whole.
  http.TimeOut = 1000;
  http.MaxBodySize = static_cast<int>(g.size());
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Push(std::move(c.reply));
    if (c.cmd == cmdHead) {
      http.Head(Base() + "/p");
    } else {
      http.Get(Base() + "/p");
    }
    EXPECT_EQ(http.Body, c.body);
    EXPECT_FALSE(http.Connected());
  }
}

TEST_F(HttpTest, HostileServersEndWithTheirOwnError) {
  const std::string status = "HTTP/1.0 200 OK\r\n";
  const std::string head = HttpResponse("200 OK", {});
  struct Case {
    const char* what;
    ServerReply reply;
    int time_out;
    std::string error;
  } cases[] = {
      {"header line flood", ServerReply::KeepOpen(status, "X-Flood: 1\r\n"), 10000,
       "Response header too long"},
      {"endless header line", ServerReply::KeepOpen(status + "X: ", std::string(4096, 'a')), 10000,
       "Response header too long"},
      // Each piece comes well within the time-out, but the request as a whole does not.
      {"header trickle", ServerReply::KeepOpen(status, "X-Slow: 1\r\n", 50), 500,
       "Socket readln aborted"},
      {"body trickle", ServerReply::KeepOpen(head, "b", 50), 500, "Socket capture aborted"},
      {"body over the limit", ServerReply::KeepOpen(head, std::string(4096, 'b')), 10000,
       "Response body too long"},
  };
  http.MaxBodySize = 100000;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Push(std::move(c.reply));
    http.TimeOut = c.time_out;
    try {
      http.Get(Base() + "/");
      ADD_FAILURE() << "no error";
    } catch (const ESockError& e) {
      EXPECT_EQ(e.what(), c.error);
    }
    EXPECT_FALSE(http.Connected());
    EXPECT_LE(http.Header.size(), static_cast<std::size_t>(THttpClient::kMaxHeaderBytes));
    EXPECT_LE(http.Body.size(), 100000u);
  }
}

TEST_F(HttpTest, ProxyFormCarriesTheWholeAddress) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Proxy = "127.0.0.1";
  http.ProxyPort = server.port();
  http.Head("http://far.example:8080/page");
  EXPECT_EQ(server.LastRequest(),
            "HEAD http://far.example:8080/page HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
            "Host: far.example\r\n" +
                kAccept + kContentType + "\r\n");
  EXPECT_EQ(http.Port, 8080);
}

TEST_F(HttpTest, OptionalHeaderLines) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.HeaderInfo.LocalProgram = "Vellumark";
  http.HeaderInfo.LocalMailAddress = "me@example.org";
  http.HeaderInfo.Referer = "http://r/";
  http.HeaderInfo.UserId = "user";
  http.HeaderInfo.Password = "pass";
  http.Get(Base() + "/");
  EXPECT_EQ(server.LastRequest(),
            "GET / HTTP/1.0\r\nHost: localhost\r\n" + kAccept +
                "User-Agent: Vellumark\r\nFrom: me@example.org\r\nReferer: http://r/\r\n"
                "Authorization: Basic dXNlcjpwYXNz\r\n" +
                kContentType + "\r\n");
}

TEST_F(HttpTest, PostEncodesItsDataAndLinkAnnouncesSendDat) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Post(Base() + "/form", "a b&c");
  EXPECT_EQ(server.LastRequest(), "POST /form HTTP/1.0\r\nHost: localhost\r\n" + kAccept +
                                      kContentType + "Content-Length: 7\r\n\r\na+b%26c");
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Link(Base() + "/l", "<x>");
  EXPECT_EQ(server.LastRequest(), "LINK /l HTTP/1.0\r\nHost: localhost\r\n" + kAccept +
                                      kContentType + "Link: <x>\r\nContent-Length: 8\r\n\r\n");
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Copy(Base() + "/c", "/d");
  EXPECT_EQ(server.LastRequest(), "COPY /c HTTP/1.0\r\nHost: localhost\r\n" + kAccept +
                                      kContentType + "URI-header: /d\r\n\r\n");
}

TEST_F(HttpTest, RawSendsNoRequestLine) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Raw(Base() + "/r", "GET /own HTTP/1.0\r\n\r\n");
  EXPECT_EQ(server.LastRequest(), "Host: localhost\r\n" + kAccept + kContentType +
                                      "Content-Length: 21\r\n\r\nGET /own HTTP/1.0\r\n\r\n");
}

TEST_F(HttpTest, Status401TellsFailureThenAuthenticationNeeded) {
  std::vector<std::string> events;
  http.OnFailure = [&](CmdType) { events.push_back("failure"); };
  http.OnAuthenticationNeeded = [&](TSocketClient& c) {
    events.push_back(c.Connected() ? "auth while connected" : "auth");
  };
  server.Push(ServerReply::Text(HttpResponse("401 Unauthorized", {"WWW-Authenticate: Basic"})));
  http.Get(Base() + "/private");
  EXPECT_EQ(events, (std::vector<std::string>{"failure", "auth"}));
  EXPECT_EQ(server.Connections(), 1);
}

TEST_F(HttpTest, ParseUrlPortAndHostRules) {
  http.RequestURL = "http://h1/x";
  http.ParseURL();
  EXPECT_EQ(http.Port, 80);
  EXPECT_EQ(http.Host, "h1");
  EXPECT_EQ(http.RequestPath, "/x");

  http.Port = 8080;
  http.RequestURL = "h2/page";  // no colon: the Port property stays
  http.ParseURL();
  EXPECT_EQ(http.Port, 8080);
  EXPECT_EQ(http.Host, "h2");
  EXPECT_EQ(http.RequestPath, "/page");

  http.Port = 0;
  http.RequestURL = "h3/page";
  http.ParseURL();
  EXPECT_EQ(http.Port, 80);

  http.Port = 8080;
  http.RequestURL = "http://h4/";  // the scheme http means 80
  http.ParseURL();
  EXPECT_EQ(http.Port, 80);

  http.RequestURL = "gopher://g/";
  http.ParseURL();
  EXPECT_EQ(http.Port, 70);
  http.RequestURL = "ftp://f";
  http.ParseURL();
  EXPECT_EQ(http.Port, 21);
  EXPECT_EQ(http.RequestURL, "ftp://f/");

  http.RequestURL = "h5:81/y";
  http.ParseURL();
  EXPECT_EQ(http.Port, 81);
  EXPECT_EQ(http.Host, "h5");

  http.RequestURL = "/only/path";  // keeps the host and port
  http.ParseURL();
  EXPECT_EQ(http.Host, "h5");
  EXPECT_EQ(http.Port, 81);
  EXPECT_EQ(http.RequestPath, "/only/path");
  http.RequestURL = "/wiki//Help:Contents";  // a colon and "//" in a path are the path's
  http.ParseURL();
  EXPECT_EQ(http.Host, "h5");
  EXPECT_EQ(http.Port, 81);
  EXPECT_EQ(http.RequestPath, "/wiki//Help:Contents");

  http.RequestURL = "https://s/";
  http.ParseURL();
  EXPECT_EQ(http.Port, 443);
  EXPECT_TRUE(http.Secure);
  http.RequestURL = "/relative";  // no scheme: stays secure
  http.ParseURL();
  EXPECT_TRUE(http.Secure);
  http.RequestURL = "https://s:8443/";
  http.ParseURL();
  EXPECT_EQ(http.Port, 8443);
  http.RequestURL = "http://s/";
  http.ParseURL();
  EXPECT_FALSE(http.Secure);

  http.RequestURL = "http://h6:abc/";
  EXPECT_THROW(http.ParseURL(), Exception);
}

TEST_F(HttpTest, LongPathIsCutTo256) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  const std::string path = "/" + std::string(300, 'p');
  http.Head(Base() + path);
  EXPECT_EQ(http.RequestPath, path.substr(0, 256));
  EXPECT_EQ(server.LastRequest().substr(0, 5 + 256 + 11),
            "HEAD " + path.substr(0, 256) + " HTTP/1.0\r\n");
}

TEST_F(HttpTest, EmptyAddressAndHttpsThroughAProxyFailBeforeConnecting) {
  try {
    http.Head("");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Empty URL");
  }
  http.Proxy = "127.0.0.1";
  http.ProxyPort = server.port();
  try {
    http.Head("https://localhost/");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "HTTP Secure Socket through a proxy is not supported");
  }
  EXPECT_EQ(server.Connections(), 0);
}

TEST_F(HttpTest, HeaderArrivingInPiecesIsReadExactly) {
  const std::string reply = HttpResponse("200 OK", {"Content-Type: text/html; charset=utf-8"});
  ServerReply pieces;
  pieces.chunks = {{reply.substr(0, 10), 0}, {reply.substr(10, 20), 30}, {reply.substr(30), 30}};
  server.Push(pieces);
  http.Head(Base() + "/");
  EXPECT_EQ(http.Header, reply);
  EXPECT_EQ(http.ReplyNumber(), 200);
}

TEST_F(HttpTest, ContentLengthInAnyCase) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {"content-LENGTH: 1234"})));
  http.Head(Base() + "/");
  EXPECT_EQ(http.ContentLength(), 1234);
  server.Push(ServerReply::Text(HttpResponse("200 OK", {"Content-Length: none"})));
  http.Head(Base() + "/");
  EXPECT_EQ(http.ContentLength(), 0);
  server.Push(ServerReply::Text(HttpResponse("200 OK", {"Content-Length: 99999999999"})));
  http.Head(Base() + "/");
  EXPECT_EQ(http.ContentLength(), 0);
}

TEST_F(HttpTest, StatusLineWithoutReasonPhraseStillGivesItsNumber) {
  server.Push(ServerReply::Text("HTTP/1.0 404\r\n\r\n"));
  int failures = 0;
  http.OnFailure = [&](CmdType) { ++failures; };
  http.Head(Base() + "/");
  EXPECT_EQ(http.ReplyNumber(), 404);
  EXPECT_EQ(failures, 1);
}

TEST_F(HttpTest, ServerClosingAtOnceLeavesHeaderEmptyAndStatusUnchanged) {
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Head(Base() + "/");
  ASSERT_EQ(http.ReplyNumber(), 200);
  server.Push(ServerReply::CloseAtOnce());
  int events = 0, disconnects = 0;
  http.OnDisconnect = [&](TSocketClient&) { ++disconnects; };
  http.OnSuccess = [&](CmdType) { ++events; };
  http.OnFailure = [&](CmdType) { ++events; };
  http.Head(Base() + "/");
  EXPECT_EQ(http.Header, "");
  EXPECT_EQ(http.ReplyNumber(), 200);
  EXPECT_EQ(events, 0);  // nothing received is neither a success nor a failure
  EXPECT_GE(disconnects, 1);
}

TEST_F(HttpTest, FailureAndInBetweenStatusesRaiseNothing) {
  std::vector<CmdType> successes, failures;
  http.OnSuccess = [&](CmdType c) { successes.push_back(c); };
  http.OnFailure = [&](CmdType c) { failures.push_back(c); };
  server.Push(ServerReply::Text(HttpResponse("404 Not Found", {}, "gone")));
  http.Get(Base() + "/missing");
  EXPECT_EQ(failures, std::vector<CmdType>{cmdGet});
  EXPECT_EQ(http.Body, "gone");
  server.Push(ServerReply::Text(HttpResponse("299 Odd", {})));
  server.Push(ServerReply::Text(HttpResponse("399 Odd", {"Location: /elsewhere"})));
  http.Head(Base() + "/a");
  http.Head(Base() + "/b");
  EXPECT_TRUE(successes.empty());
  EXPECT_EQ(failures.size(), 1u);
  EXPECT_EQ(server.Connections(), 3);
}

TEST_F(HttpTest, RedirectChainWithEveryLocationFormAndTheCookie) {
  server.Push(ServerReply::Text(
      HttpResponse("302 Found", {"Set-Cookie: id=1; path=/", "Location: /second"})));
  server.Push(ServerReply::Text(HttpResponse("301 Moved", {"Location: third.htm"})));
  server.Push(ServerReply::Text(HttpResponse("302 Found", {"Location: http://other.test:81/4"})));
  server.Push(ServerReply::Text(HttpResponse("200 OK", {"X: final"})));
  // A bare name goes to "http://" + Host + "/" + name, that is to port 80: through a proxy
  // every exchange reaches the test server and its request line shows the address.
  http.Proxy = "127.0.0.1";
  http.ProxyPort = server.port();
  http.Head("http://site.test/first");
  const auto r = server.Requests();
  ASSERT_EQ(r.size(), 4u);
  auto first_line = [](const std::string& req) { return req.substr(0, req.find("\r\n")); };
  EXPECT_EQ(first_line(r[0]), "HEAD http://site.test/first HTTP/1.0");
  EXPECT_EQ(first_line(r[1]), "HEAD /second HTTP/1.0");
  EXPECT_NE(r[1].find("\r\nHost: site.test\r\n"), std::string::npos);
  EXPECT_EQ(first_line(r[2]), "HEAD http://site.test/third.htm HTTP/1.0");
  EXPECT_EQ(first_line(r[3]), "HEAD http://other.test:81/4 HTTP/1.0");
  EXPECT_NE(r[3].find("\r\nHost: other.test\r\n"), std::string::npos);
  // The cookie goes back to site.test only, without its attributes.
  EXPECT_EQ(r[0].find("Cookie"), std::string::npos);
  EXPECT_NE(r[1].find("\r\nCookie: id=1\r\n"), std::string::npos);
  EXPECT_NE(r[2].find("\r\nCookie: id=1\r\n"), std::string::npos);
  EXPECT_EQ(r[3].find("Cookie"), std::string::npos);
  EXPECT_EQ(http.Header, HttpResponse("200 OK", {"X: final"}));
}

TEST_F(HttpTest, CookiesGoBackOnlyToTheirHostUntilCleared) {
  LoopbackHttpServer other("127.0.0.2");
  server.Push(ServerReply::Text(HttpResponse(
      "302 Found", {"Set-Cookie: s=2; path=/; HttpOnly", "Set-Cookie: t=3",
                    "Location: http://127.0.0.2:" + std::to_string(other.port()) + "/x"})));
  other.Push(ServerReply::Text(HttpResponse("200 OK", {"X: final"})));
  http.Head(Base() + "/start");
  EXPECT_EQ(other.LastRequest(),
            "HEAD /x HTTP/1.0\r\nHost: 127.0.0.2\r\n" + kAccept + kContentType + "\r\n");
  EXPECT_EQ(http.Header, HttpResponse("200 OK", {"X: final"}));

  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Head(Base() + "/later");
  EXPECT_NE(server.LastRequest().find("\r\nCookie: s=2; t=3\r\n"), std::string::npos);

  // The end of a run.
  http.ClearCookies();
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Head(Base() + "/next-run");
  EXPECT_EQ(server.LastRequest().find("Cookie"), std::string::npos);
}

TEST_F(HttpTest, HandledRedirectEndsTheRequest) {
  const std::string redirect = HttpResponse("302 Found", {"Location: /next"});
  server.Push(ServerReply::Text(redirect));
  http.OnRedirect = [](bool& handled) { handled = true; };
  http.Head(Base() + "/");
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(http.Header, redirect);
  EXPECT_EQ(http.RequestURL, "/next");
}

TEST_F(HttpTest, RedirectToItselfStopsAfterTenFollowUps) {
  server.SetDefault(ServerReply::Text(HttpResponse("302 Found", {"Location: /loop"})));
  http.Head(Base() + "/loop");
  EXPECT_EQ(server.Connections(), 1 + THttpClient::kMaxRedirects);
  EXPECT_EQ(http.ReplyNumber(), 302);
}

TEST_F(HttpTest, RefusedConnectionAndDisconnectAfterFailure) {
  int failed = 0;
  http.OnConnectionFailed = [&](TSocketClient&) { ++failed; };
  try {
    http.Head("http://127.0.0.1:" + std::to_string(testing::RefusingPort()) + "/");
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Connection Failed");
  }
  EXPECT_EQ(failed, 1);
  EXPECT_FALSE(http.Connected());
  // The component works again afterwards.
  server.Push(ServerReply::Text(HttpResponse("200 OK", {})));
  http.Head(Base() + "/");
  EXPECT_EQ(http.ReplyNumber(), 200);
}

TEST_F(HttpTest, AbortDuringTheBodyRaisesAndDisconnects) {
  ServerReply slow;
  slow.chunks = {{HttpResponse("200 OK", {}, "part"), 0}, {"more", 2000}};
  server.Push(slow);
  http.OnPacketRecvd = [&](TSocketClient& c) { c.Abort(); };
  try {
    http.Get(Base() + "/");
    FAIL();
  } catch (const EAbortError& e) {
    EXPECT_STREQ(e.what(), "Socket capture aborted");
  }
  EXPECT_FALSE(http.Connected());
  EXPECT_EQ(http.Header, HttpResponse("200 OK", {}));
}

TEST_F(HttpTest, TimeOutEndsAWaitForTheHeader) {
  server.Push(ServerReply::Silent());
  http.TimeOut = 300;
  try {
    http.Head(Base() + "/");
    FAIL();
  } catch (const EAbortError& e) {
    EXPECT_STREQ(e.what(), "Socket readln aborted");
  }
}

TEST_F(HttpTest, FileModes) {
  const std::string dir = ::testing::TempDir();
  server.Push(ServerReply::Text(HttpResponse("200 OK", {"A: b"}, "file body")));
  http.InputFileMode = true;
  http.OutputFileMode = true;
  http.Header = dir + "vm_head.txt";
  http.Body = dir + "vm_body.htm";
  http.Get(Base() + "/");
  auto read = [](const std::string& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    std::string s;
    char buf[256];
    std::size_t n;
    while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    if (f) std::fclose(f);
    return s;
  };
  EXPECT_EQ(read(http.Header), HttpResponse("200 OK", {"A: b"}));
  EXPECT_EQ(read(http.Body), "file body");
  try {
    http.Put(Base() + "/", dir + "vm_no_such_file");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(server.Connections(), 1);  // the missing data file stops it before connecting
  }
}

TEST_F(HttpTest, FailedWritesOfTheCaptureFilesAreReported) {
  const std::string dir = ::testing::TempDir();
  http.InputFileMode = true;
  http.OutputFileMode = true;
  for (bool header_to_full_disk : {true, false}) {
    server.Push(ServerReply::Text(HttpResponse("200 OK", {"A: b"}, "file body")));
    http.Header = header_to_full_disk ? "/dev/full" : dir + "vm_head.txt";
    http.Body = header_to_full_disk ? dir + "vm_body.htm" : "/dev/full";
    try {
      http.Get(Base() + "/");
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot write file \"/dev/full\". ", 0), 0u)
          << e.what();
    }
    EXPECT_FALSE(http.Connected());
  }
}

}  // namespace
}  // namespace vellumark
