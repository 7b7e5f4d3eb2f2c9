// vellumark-cli search end to end: a small site served on loopback is indexed with the real
// browser (offscreen), then searched; the printed ranking is the order of the result page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_runner.h"
#include "indexer/site_server.h"

namespace vellumark::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html><head><title>" + title + "</title></head><body>" + body +
         "</body></html>";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliSearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vm_cli_search_XXXXXX";
    home_ = std::string(mkdtemp(pattern)) + "/";
    site_ = new SiteServer;
    site_->SetPage("/site/", {"text/html", Page("Home",
                                                "Welcome: <a href=\"a.html\">a</a> "
                                                "<a href=\"b.html\">b</a> "
                                                "<a href=\"c.html\">c</a> "
                                                "<a href=\"d.html\">d</a>")});
    site_->SetPage("/site/a.html", {"text/html", Page("Alpha & Co", "cat")});
    site_->SetPage("/site/b.html", {"text/html", Page("Bravo", "cat cat cat dog")});
    site_->SetPage("/site/c.html", {"text/html", Page("", "dog catalogue")});
    site_->SetPage("/site/d.html", {"text/html", Page("Delta", "bobcat")});
    ASSERT_EQ(RunCli(home_, {"add", site_->Origin() + "/site/", "Pets"}).status, 0);
    CliResult r = RunCli(home_, {"index", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(RunCli(home_, {"add", site_->Origin() + "/never/"}).status, 0);
  }
  static void TearDownTestSuite() {
    delete site_;
    std::filesystem::remove_all(home_);
  }

  std::string ResultPage() const {
    std::ifstream in(home_ + "SrchRes.htm", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string Url(const std::string& page) const { return site_->Origin() + "/site/" + page; }

  static std::string home_;
  static SiteServer* site_;
};

std::string CliSearchTest::home_;
SiteServer* CliSearchTest::site_ = nullptr;

TEST_F(CliSearchTest, ListsThePagesBestFirstAsTheResultPageDoes) {
  CliResult r = RunCli(home_, {"search", "cat"});
  ASSERT_EQ(r.status, 0) << r.err;
  // "cat" three times weighs 3; a prefix match "catalogue" counts like the word itself.
  EXPECT_THAT(Lines(r.out), ElementsAre("1\t3\t3\t" + Url("b.html") + "\tBravo",
                                        "2\t1\t2\t" + Url("a.html") + "\tAlpha & Co",
                                        "3\t1\t4\t" + Url("c.html") + "\t"));
  const std::string page = ResultPage();
  EXPECT_THAT(page, HasSubstr("<BR>Found 3 matches.<BR><BR>\r\n"));
  EXPECT_THAT(page, HasSubstr("<b>1. <a STYLE=\"text-decoration:underline;\"href=\"" +
                              Url("b.html") + "\">Bravo</a></b><BR><BR>\r\n"));
  EXPECT_THAT(page, HasSubstr(">Alpha &amp; Co</a>"));
  EXPECT_THAT(page, HasSubstr("<b>3. <a STYLE=\"text-decoration:underline;\"href=\"" +
                              Url("c.html") + "\">" + Url("c.html") + "</a></b><BR>\r\n"));
  EXPECT_THAT(page, HasSubstr("<b>Started as:</b></FONT> cat cat cat dog<BR><BR>"));
  // The default header, as the header file is missing.
  EXPECT_THAT(page, HasSubstr("<TITLE>Vellumark Result</TITLE>"));
}

TEST_F(CliSearchTest, ModesAndIncluded) {
  CliResult r = RunCli(home_, {"search", "--included", "cat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 4u);  // bobcat too
  r = RunCli(home_, {"search", "--mode", "all", "--location", "1", "dog cat"});
  ASSERT_EQ(r.status, 0) << r.err;
  // dog x 1 first word of two: 2 x weight, cat 1 x weight.
  EXPECT_THAT(Lines(r.out), ElementsAre("1\t5\t3\t" + Url("b.html") + "\tBravo",
                                        "2\t3\t4\t" + Url("c.html") + "\t"));
  r = RunCli(home_, {"search", "--mode", "exact", "cat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 2u);
}

TEST_F(CliSearchTest, ShowReadsEachPageForItsSample) {
  CliResult r = RunCli(home_, {"search", "--show", "dog"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 2u);
  const std::string page = ResultPage();
  EXPECT_THAT(page, HasSubstr("<b>Text found:</b></FONT> cat cat cat dog<BR><BR>"));
  EXPECT_THAT(page, HasSubstr("<b>Text found:</b></FONT> dog catalogue<BR><BR>"));
}

TEST_F(CliSearchTest, MessagesGoToStderrWithStatus1) {
  CliResult r = RunCli(home_, {"search", " , "});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("error: Cannot recognize search text."));
  r = RunCli(home_, {"search", "--location", "2", "cat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("error: Index not created."));
  EXPECT_EQ(r.out, "");
  r = RunCli(home_, {"search", "--location", "9", "cat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("No location 9."));
  r = RunCli(home_, {"search", "--mode", "exact", "cat dog"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("error: Search sample contains search delimiters symbols."));
}

}  // namespace
}  // namespace vellumark::testing
