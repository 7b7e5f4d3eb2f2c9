#include "indexer/fast_loader.h"

#include <gtest/gtest.h>

#include <thread>

#include "indexer/page_server.h"
#include "net/http_client.h"
#include "support/scripted_event_pump.h"
#include "support/test_certificates.h"
#include "support/tls_front.h"
#include "web/url_header.h"

namespace vellumark {
namespace {

using testing::PageServer;
using testing::Route;
using testing::ScriptedEventPump;

FastLoaderOptions NoRobots() {
  FastLoaderOptions options;
  options.obey_robots = false;
  return options;
}

class FastLoaderTest : public ::testing::Test {
 protected:
  LoadedPage Load(FastLoader& loader, const std::string& path) {
    std::optional<LoadedPage> page = loader.Take(server.Origin() + path, {});
    EXPECT_TRUE(page.has_value()) << path;
    return page.value_or(LoadedPage{});
  }

  ScriptedEventPump pump;
  PageServer server;
};

std::string Summary(const std::string& header) {
  TURLHeader h;
  h.ParseHeader(header);
  return h.GetHeaderText();
}

TEST_F(FastLoaderTest, HeaderSummaryIsWhatTheHeadRequestGives) {
  const std::string html = "<html><body><p>" + std::string(20000, 'w') + "</p></body></html>";
  const struct {
    const char* path;
    Route route;
    bool text;
  } cases[] = {
      {"/plain.html", Route::Html(html), true},
      {"/gzip.html", Route::Html(html).Gzip(), true},
      {"/chunked.html", Route::Html(html).Chunked(), true},
      {"/notes.txt", Route::Html(html).Type("text/plain").Gzip(), false},
      {"/big.bin", Route::Html(std::string(3 << 20, 'b')).Type("application/octet-stream"), false},
      {"/missing.html", Route::Html("<p>gone</p>").Status(404), true},
  };
  FastLoader loader(pump, NoRobots());
  THttpClient http(pump);
  for (const auto& c : cases) {
    server.Set(c.path, c.route);
    const LoadedPage page = Load(loader, c.path);
    http.Head(server.Origin() + c.path);
    EXPECT_EQ(Summary(page.header), Summary(http.Header)) << c.path;
    EXPECT_EQ(!page.text.empty(), c.text) << c.path;
    EXPECT_TRUE(page.error.empty()) << c.path << ": " << page.error;
  }
}

TEST_F(FastLoaderTest, RedirectsEndWhereTheLastAnswerCameFrom) {
  PageServer other;
  server.Set("/old", Route().Status(301).Header("Location: /new/"));
  server.Set("/new/", Route::Html("<a href='x.html'>x</a>"));
  server.Set("/away", Route().Status(302).Header("Location: " + other.Origin() + "/t.html"));
  other.Set("/t.html", Route::Html("<a href='y.html'>y</a>"));
  FastLoader loader(pump, NoRobots());

  const LoadedPage moved = Load(loader, "/old");
  EXPECT_EQ(moved.url, server.Origin() + "/old");
  EXPECT_EQ(moved.final_url, server.Origin() + "/new/");
  EXPECT_EQ(moved.status, 200);
  EXPECT_EQ(moved.links, std::vector<std::string>{server.Origin() + "/new/x.html"});

  const LoadedPage away = Load(loader, "/away");
  EXPECT_EQ(away.final_url, other.Origin() + "/t.html");
  EXPECT_EQ(away.links, std::vector<std::string>{other.Origin() + "/y.html"});

  // An address as a user may type it goes out in normal form.
  server.Set("/a%20b.html", Route::Html("<p>typed</p>"));
  EXPECT_EQ(Load(loader, "/a b.html").text, "typed");
}

TEST_F(FastLoaderTest, PageOverTheSizeCapIsReadInPart) {
  server.Set("/long.html", Route::Html("<p>start " + std::string(100000, 'x') + " end</p>"));
  FastLoaderOptions options = NoRobots();
  options.fetch.max_body_bytes = 20000;
  FastLoader loader(pump, options);
  const LoadedPage page = Load(loader, "/long.html");
  EXPECT_TRUE(page.error.empty()) << page.error;
  EXPECT_TRUE(page.truncated);
  EXPECT_TRUE(page.text.starts_with("start "));
  EXPECT_EQ(page.text.find("end"), std::string::npos);
}

TEST_F(FastLoaderTest, ServerThatNeverAnswersEndsAtTheDeadline) {
  server.Set("/silent.html", Route().Hang());
  FastLoaderOptions options = NoRobots();
  options.fetch.timeout_ms = 300;
  FastLoader loader(pump, options);
  const LoadedPage page = Load(loader, "/silent.html");
  EXPECT_FALSE(page.error.empty());
  EXPECT_TRUE(page.header.empty());
  EXPECT_TRUE(page.text.empty());
}

TEST_F(FastLoaderTest, RequestsInFlightKeepToTheLimitsOverKeptConnections) {
  const struct {
    int in_flight;
    int per_host;
  } cases[] = {{1, 1}, {4, 4}, {4, 2}};
  for (const auto& c : cases) {
    PageServer site;
    FastLoaderOptions options = NoRobots();
    options.fetch.max_in_flight = c.in_flight;
    options.fetch.max_per_host = c.per_host;
    FastLoader loader(pump, options);
    std::vector<std::string> urls;
    for (int i = 0; i < 8; ++i) {
      const std::string path = "/p" + std::to_string(i) + ".html";
      site.Set(path, Route::Html("<p>page</p>").Delay(100));
      urls.push_back(site.Origin() + path);
      loader.Start(urls.back());
    }
    for (const std::string& url : urls) {
      const std::optional<LoadedPage> page = loader.Take(url, {});
      ASSERT_TRUE(page.has_value());
      EXPECT_EQ(page->text, "page");
    }
    EXPECT_EQ(site.PeakActive(), c.per_host) << c.in_flight << "/" << c.per_host;
    EXPECT_LE(site.Connections(), c.per_host) << c.in_flight << "/" << c.per_host;
  }
}

TEST_F(FastLoaderTest, StopEndsTheWaitAndCancelEndsTheFetchesInFlight) {
  FastLoader loader(pump, NoRobots());
  for (const char* path : {"/a.html", "/b.html", "/c.html"}) {
    server.Set(path, Route().Hang());
    loader.Start(server.Origin() + path);
  }
  int asked = 0;
  EXPECT_FALSE(loader.Take(server.Origin() + "/a.html", [&] { return ++asked == 2; }));
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(loader.Started(server.Origin() + "/a.html"));
  for (int i = 0; i < 100 && server.Active() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(server.Active(), 3);

  loader.CancelAll();
  EXPECT_EQ(loader.Fetcher().Running(), 0);
  EXPECT_FALSE(loader.Started(server.Origin() + "/a.html"));
  for (int i = 0; i < 150 && server.Active() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(server.Active(), 0);
}

TEST_F(FastLoaderTest, RobotsTxtDecidesWhichPagesAreFetched) {
  server.Set("/robots.txt",
             Route::Html("User-agent: *\nDisallow: /private/\nAllow: /private/ok.html\n")
                 .Type("text/plain"));
  for (const char* path : {"/private/x.html", "/private/ok.html", "/pub.html"}) {
    server.Set(path, Route::Html("<p>text</p>"));
  }
  FastLoader loader(pump);
  EXPECT_TRUE(Load(loader, "/private/x.html").robots_excluded);
  EXPECT_EQ(Load(loader, "/private/ok.html").text, "text");
  EXPECT_EQ(Load(loader, "/pub.html").text, "text");
  EXPECT_EQ(server.Requests("/private/x.html"), 0);
  EXPECT_EQ(server.Requests("/robots.txt"), 1);

  FastLoader ignoring(pump, NoRobots());
  EXPECT_EQ(Load(ignoring, "/private/x.html").text, "text");
}

TEST(RobotsRules, LongestMatchingRuleOfTheAgentsGroupsDecides) {
  const struct {
    const char* robots;
    const char* path;
    bool allowed;
  } cases[] = {
      {"User-agent: *\nDisallow: /a\nAllow: /a/b\n", "/a/x", false},
      {"User-agent: *\nDisallow: /a\nAllow: /a/b\n", "/a/b/c", true},
      {"User-agent: *\nDisallow: /a\nAllow: /a/b\n", "/b", true},
      {"User-agent: *\nAllow: /p\nDisallow: /p\n", "/p", true},
      {"User-agent: *\nDisallow: /*.pdf$\n", "/d/x.pdf", false},
      {"User-agent: *\nDisallow: /*.pdf$\n", "/d/x.pdf?v=1", true},
      {"User-agent: *\nDisallow: /c*d\n", "/cxxd/e", false},
      {"User-agent: *\nDisallow: /c*d\n", "/c", true},
      {"User-agent: *\nDisallow:\n", "/x", true},
      {"User-agent: *\nDisallow: /%7ea # home\n", "/~a/b", false},
      {"User-agent: *\nDisallow: /\xC3\xA9t\xC3\xA9\n", "/%c3%a9t%C3%A9", false},
      {"Disallow: /\nUser-agent: other\nDisallow: /\n", "/x", true},
      {"User-agent: other\nUser-agent: *\nDisallow: /q\n", "/q", false},
      {"User-agent: *\nDisallow: /\n\nUser-agent: Vellumark/2.0\nDisallow: /no\n", "/yes", true},
      {"User-agent: *\nDisallow: /\n\nUser-agent: vellumark\nDisallow: /no\n", "/no", false},
      {"User-agent: *\r\nDisallow: /r\r\n", "/r", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RobotsRules::Parse(c.robots, kRobotsAgent).Allowed(c.path), c.allowed)
        << c.robots << " | " << c.path;
  }
}

TEST_F(FastLoaderTest, CertificatesChainToTheSystemOrTheTrustedAuthorities) {
  testing::TestCertificates certs;
  std::string log;
  ASSERT_TRUE(testing::MakeTestCertificates(&certs, &log)) << log;
  server.Set("/s.html", Route::Html("<p>secure</p>"));
  const struct {
    const std::string* cert;
    bool trusted;
    bool loads;
  } cases[] = {
      {&certs.localhost, false, false},
      {&certs.localhost, true, true},
      {&certs.expired, true, false},
      {&certs.untrusted, true, false},
  };
  for (const auto& c : cases) {
    testing::TlsFront front(server.port(), *c.cert, certs.key);
    FastLoaderOptions options = NoRobots();
    if (c.trusted) options.fetch.trusted_ca_file = certs.ca;
    FastLoader loader(pump, options);
    const std::optional<LoadedPage> page = loader.Take(front.Origin() + "/s.html", {});
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->text == "secure", c.loads) << page->error;
    EXPECT_EQ(page->error.empty(), c.loads) << page->error;
  }
}

}  // namespace
}  // namespace vellumark
