#include "net/socket_client.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "net/net_test_util.h"
#include "net/thread_timer.h"
#include "support/loopback_http_server.h"
#include "support/scripted_event_pump.h"

namespace vellumark {
namespace {

using testing::LoopbackHttpServer;
using testing::ScriptedEventPump;
using testing::ServerReply;

std::string ErrorTextOf(TSocketClient& s, int n) {
  std::string text;
  s.ErrorText(n, text);
  return text;
}

TEST(SocketText, ErrorTableAndErrnoMapping) {
  ScriptedEventPump pump;
  TSocketClient s(pump);
  EXPECT_EQ(ErrorTextOf(s, 10061), "10061:Connection refused");
  EXPECT_EQ(ErrorTextOf(s, 11001), "11001:Host not found");
  EXPECT_EQ(ErrorTextOf(s, 12345), "Unknown Error No. 12345");
  EXPECT_EQ(ErrorTextOf(s, 0), "");
  EXPECT_EQ(WinsockErrorNumber(ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockErrorNumber(ECONNRESET), 10054);
  EXPECT_EQ(WinsockErrorNumber(EWOULDBLOCK), 10035);
  EXPECT_EQ(WinsockErrorNumber(ENOTCONN), 10057);
  // An errno without a Winsock twin never lands on another row of the table.
  EXPECT_EQ(ErrorTextOf(s, WinsockErrorNumber(ENODATA)).rfind("Unknown Error No. ", 0), 0u);
}

TEST(SocketText, ExtractFieldAndPosOfNth) {
  EXPECT_EQ(ExtractField("HTTP/1.0 200 OK", ' ', 2), "200");
  EXPECT_EQ(ExtractField("a::b", ':', 2), "");
  EXPECT_EQ(ExtractField("a::b", ':', 3), "b");
  EXPECT_EQ(ExtractField("a:b", ':', 3), "");
  EXPECT_EQ(ExtractField("", ':', 1), "");
  EXPECT_EQ(ExtractField("abc", ':', 1), "abc");
  EXPECT_EQ(PosOfNth("http://host/", '/', 3), 12);
  EXPECT_EQ(PosOfNth("http://host/", '/', 4), 13);
  EXPECT_EQ(PosOfNth("http://host/", '/', 1), 6);
}

TEST(ThreadTimer, FiresOnlyWhenArmedAndRestartsOnChange) {
  TThreadTimer t;
  int fired = 0;
  t.SetInterval(0);
  t.SetOnTimer([&](TThreadTimer&) { ++fired; });
  EXPECT_FALSE(t.Armed());  // interval 0: no timer runs
  t.SetInterval(1);
  EXPECT_TRUE(t.Armed());
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  EXPECT_TRUE(t.Poll());
  EXPECT_EQ(fired, 1);
  t.SetEnabled(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  EXPECT_FALSE(t.Poll());
  EXPECT_EQ(t.RemainingMs(), -1);
}

class SocketTest : public ::testing::Test {
 protected:
  SocketTest() : s(pump) {
    s.SetHostLookup(testing::TableLookup(&lookups));
    s.Port = server.port();
  }
  ScriptedEventPump pump;
  LoopbackHttpServer server;
  std::atomic<int> lookups{0};
  TSocketClient s;
};

TEST_F(SocketTest, DottedAddressConnectsWithoutLookup) {
  bool resolved = false, connected = false;
  s.OnHostResolved = [&](TSocketClient&) { resolved = true; };
  s.OnConnect = [&](TSocketClient&) { connected = true; };
  s.Host = "127.0.0.1";
  s.Connect();
  EXPECT_TRUE(s.Connected());
  EXPECT_TRUE(connected);
  EXPECT_FALSE(resolved);
  EXPECT_EQ(lookups, 0);
  EXPECT_THROW(s.Connect(), ESockError);  // "Already connected"
  s.Disconnect();
  EXPECT_FALSE(s.Connected());
}

TEST_F(SocketTest, NamedHostIsLookedUpOnTheHelper) {
  bool resolved = false;
  s.OnHostResolved = [&](TSocketClient&) { resolved = true; };
  s.Host = "localhost";
  s.Connect();
  EXPECT_TRUE(resolved);
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(s.RemoteAddress(), htonl(INADDR_LOOPBACK));
}

TEST_F(SocketTest, UnknownHostRaisesNullRemoteAddress) {
  s.Host = "nowhere.invalid";
  try {
    s.Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Null Remote Address");
  }
}

TEST_F(SocketTest, InvalidHostHandlerGetsExactlyOneMoreLookup) {
  int calls = 0;
  s.Host = "nowhere.invalid";
  s.OnInvalidHost = [&](bool& handled) {
    ++calls;
    s.Host = "localhost";
    handled = true;
  };
  s.Connect();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(s.Connected());
  s.Disconnect();

  calls = 0;
  s.Host = "nowhere.invalid";
  s.OnInvalidHost = [&](bool& handled) {
    ++calls;
    s.Host = "still.invalid";
    handled = true;
  };
  try {
    s.Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Null Remote Address");
  }
  EXPECT_EQ(calls, 1);
}

TEST_F(SocketTest, RefusedConnectionFailsAfterItsEvent) {
  bool failed_event = false;
  s.OnConnectionFailed = [&](TSocketClient& c) {
    failed_event = true;
    EXPECT_FALSE(c.Connected());
  };
  s.Host = "127.0.0.1";
  s.Port = testing::RefusingPort();
  try {
    s.Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Connection Failed");
  }
  EXPECT_TRUE(failed_event);
  // A fresh socket after Disconnect connects again.
  s.Disconnect();
  s.Port = server.port();
  s.Connect();
  EXPECT_TRUE(s.Connected());
}

TEST_F(SocketTest, CancelDuringLookupEndsItWithinATurn) {
  // Shared with the abandoned lookup thread, which may outlive the test.
  auto release = std::make_shared<std::atomic<bool>>(false);
  s.SetHostLookup([release](const std::string&, std::uint32_t* a) {
    for (int i = 0; i < 2000 && !*release; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    *a = htonl(INADDR_LOOPBACK);
    return 0;
  });
  pump.on_pump = [&](long n) {
    if (n == 3) s.Cancel();
  };
  s.Host = "slow.test";
  try {
    s.Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Host Lookup Canceled");
  }
  *release = true;
}

TEST_F(SocketTest, AbandonedLookupsDoNotPileUp) {
  // The first lookup hangs until released; lookups cancelled behind it never start, and the
  // resolver serves again once it returns.
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto calls = std::make_shared<std::atomic<int>>(0);
  s.SetHostLookup([release, calls](const std::string& name, std::uint32_t* a) {
    ++*calls;
    while (name == "hung.test" && !*release)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    *a = htonl(INADDR_LOOPBACK);
    return 0;
  });
  pump.on_pump = [&](long) { s.Cancel(); };
  s.Host = "hung.test";
  for (int i = 0; i < 20; ++i) EXPECT_THROW(s.Connect(), ESockError);
  pump.on_pump = nullptr;
  *release = true;
  s.Host = "localhost";
  s.Connect();
  EXPECT_TRUE(s.Connected());
  EXPECT_LE(*calls, 2);
}

TEST_F(SocketTest, LookupTimesOut) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  s.SetHostLookup([release](const std::string&, std::uint32_t*) {
    for (int i = 0; i < 2000 && !*release; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return kWsaHostNotFound;
  });
  s.TimeOut = 50;
  s.Host = "slow.test";
  try {
    s.Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Host Lookup Timed Out");
  }
  *release = true;
}

TEST_F(SocketTest, ReadLnTakesOneLineAndLeavesTheRest) {
  server.Push(ServerReply::Text("first\r\nsecond\r\n\nlast"));
  s.Host = "127.0.0.1";
  s.Connect();
  s.Writeln("hello\r\n");
  std::string line;
  s.ReadLn(line);
  EXPECT_EQ(line, "first\r\n");
  s.ReadLn(line);
  EXPECT_EQ(line, "second\r\n");
  s.ReadLn(line);
  EXPECT_EQ(line, "\n");
  s.ReadLn(line);  // the peer closed in the middle of a line
  EXPECT_EQ(line, "");
  EXPECT_EQ(server.LastRequest(), "hello\r\n\r\n");
}

TEST_F(SocketTest, ReadLnReturnsAFullBufferWithoutLineEndAndThenTheRest) {
  const std::string long_line(3000, 'x');
  server.Push(ServerReply::Text(long_line + "\r\nnext\r\n"));
  s.Host = "127.0.0.1";
  s.Connect();
  s.Writeln("\r\n");
  std::string a, b, c;
  s.ReadLn(a);
  s.ReadLn(b);
  s.ReadLn(c);
  EXPECT_EQ(a, std::string(2048, 'x'));
  EXPECT_EQ(b, std::string(952, 'x') + "\r\n");
  EXPECT_EQ(c, "next\r\n");
}

TEST_F(SocketTest, ReadLnTimesOutAgainstASilentServer) {
  server.Push(ServerReply::Silent());
  s.Host = "127.0.0.1";
  s.TimeOut = 500;
  s.Connect();
  std::string line = "stale";
  try {
    s.ReadLn(line);
    FAIL();
  } catch (const EAbortError& e) {
    EXPECT_STREQ(e.what(), "Socket readln aborted");
  }
  EXPECT_TRUE(s.TimedOut());
  EXPECT_FALSE(s.Canceled());  // the abort clears the flag
}

TEST_F(SocketTest, CaptureFedMoreOftenThanTheTimeOutNeverTimesOut) {
  ServerReply slow;
  for (int i = 0; i < 6; ++i) slow.chunks.push_back({"chunk" + std::to_string(i) + ";", 80});
  server.Push(slow);
  s.Host = "127.0.0.1";
  s.TimeOut = 300;
  s.Connect();
  s.Writeln("\r\n");
  int packets = 0;
  s.OnPacketRecvd = [&](TSocketClient&) { ++packets; };
  std::string text;
  s.CaptureString(text, -1);
  EXPECT_EQ(text, "chunk0;chunk1;chunk2;chunk3;chunk4;chunk5;");
  EXPECT_EQ(s.BytesReceived(), static_cast<int>(text.size()));
  EXPECT_GE(packets, 1);
  EXPECT_FALSE(s.TimedOut());
}

TEST_F(SocketTest, CaptureWithMaximumKeepsWholeChunks) {
  server.Push(ServerReply::Text(std::string(500, 'b')));
  s.Host = "127.0.0.1";
  s.Connect();
  s.Writeln("\r\n");
  // Wait until the whole answer is there, so that it comes as one chunk.
  while (!s.DataAvailable()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::string text;
  s.CaptureString(text, 100);
  EXPECT_EQ(text.size(), 500u);
}

TEST_F(SocketTest, CancelFromAnEventEndsACapture) {
  server.Push(ServerReply::Silent());
  s.Host = "127.0.0.1";
  s.Connect();
  pump.on_pump = [&](long) { s.Abort(); };
  std::string text;
  EXPECT_THROW(s.CaptureString(text, -1), EAbortError);
  pump.on_pump = nullptr;
  s.Disconnect();
}

TEST_F(SocketTest, WriteSendsAtMostOneBufferAndStopsAtZero) {
  server.Push(ServerReply::CloseAtOnce());
  s.Host = "127.0.0.1";
  s.Connect();
  s.Write(std::string(3000, 'w'));
  s.Write(std::string("ab\0cd", 5));
  s.Write("\r\n\r\n");
  std::string line;
  s.ReadLn(line);  // the server closes after the request
  EXPECT_EQ(line, "");
  s.Disconnect();
  EXPECT_EQ(server.LastRequest(), std::string(2048, 'w') + "ab\r\n\r\n");
}

TEST_F(SocketTest, TransactionReadsReplyNumber) {
  server.Push(ServerReply::Text("220 ready\r\n"));
  s.Host = "127.0.0.1";
  s.ReportLevel = 1;
  std::vector<std::string> statuses;
  s.OnStatus = [&](TSocketClient&, const std::string& t) { statuses.push_back(t); };
  s.Connect();
  EXPECT_EQ(s.Transaction("HELLO\r\n"), "220 ready\r\n");
  EXPECT_EQ(s.ReplyNumber(), 220);
  ASSERT_EQ(statuses.size(), 1u);  // only the reply line is reported at level 1
  EXPECT_EQ(statuses[0], "220 ready\r\n");
}

TEST_F(SocketTest, SendFileCountsBytes) {
  server.Push(ServerReply::CloseAtOnce());
  const std::string path = ::testing::TempDir() + "vm_sendfile.txt";
  const std::string body = std::string(5000, 'f');
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(body.data(), 1, body.size(), f);
    std::fputs("\r\n\r\n", f);
    std::fclose(f);
  }
  s.Host = "127.0.0.1";
  s.Connect();
  int packets = 0;
  s.OnPacketSent = [&](TSocketClient&) { ++packets; };
  s.SendFile(path);
  EXPECT_EQ(s.BytesSent(), 5004);
  EXPECT_EQ(packets, 3);
  std::string line;
  s.ReadLn(line);
  EXPECT_EQ(server.LastRequest(), body + "\r\n\r\n");
  EXPECT_THROW(s.SendFile(path + ".missing"), Exception);
}

TEST_F(SocketTest, AcceptTakesAConnectionOnAListeningSocket) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(s.SocketHandle(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(s.SocketHandle(), 1), 0);
  socklen_t len = sizeof a;
  ::getsockname(s.SocketHandle(), reinterpret_cast<sockaddr*>(&a), &len);
  const int peer = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  bool accepted = false;
  s.OnAccept = [&](TSocketClient&) { accepted = true; };
  const int fd = s.Accept();
  EXPECT_GE(fd, 0);
  EXPECT_TRUE(accepted);
  EXPECT_EQ(s.RemoteAddress(), htonl(INADDR_LOOPBACK));
  ::close(fd);
  ::close(peer);

  pump.on_pump = [&](long) { s.Cancel(); };
  try {
    s.Accept();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Accepting Canceled");
  }
}

TEST_F(SocketTest, StatusTextsByLevel) {
  std::vector<std::string> statuses;
  s.ReportLevel = 4;
  s.OnStatus = [&](TSocketClient&, const std::string& t) { statuses.push_back(t); };
  s.Host = "127.0.0.1";
  s.Connect();     // level 8: not reported
  s.Write("x");    // "Sending Buffer" at 4
  s.Disconnect();  // "Request Close Socket" at 4
  EXPECT_EQ(statuses, (std::vector<std::string>{"Sending Buffer", "Request Close Socket"}));
  EXPECT_EQ(s.StatusText(), "Request Close Socket");
}

}  // namespace
}  // namespace vellumark
