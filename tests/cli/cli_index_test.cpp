// End to end: vellumark-cli indexes a small site served on loopback with the real browser
// (offscreen WebEngine), including a page whose only link is written by a script; the same
// over TLS with the test authority named in the settings, and refused without it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/cli_runner.h"
#include "indexer/site_server.h"
#include "support/test_certificates.h"
#include "support/tls_front.h"
#include "util/temp_folder.h"

namespace vellumark::testing {
namespace {

// Rows of a query, each the fields joined by "|".
std::vector<std::string> Query(const std::string& db_path, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i) row += "|";
        const unsigned char* text = sqlite3_column_text(stmt, i);
        if (text) row += reinterpret_cast<const char*>(text);
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html><head><title>" + title + "</title></head><body>" + body +
         "</body></html>";
}

class CliIndexTest : public ::testing::Test {
 protected:
  std::string Name(char kind, int i) {
    return std::string(1, kind) + (i < 10 ? "0" : "") + std::to_string(i);
  }

  // The site under /site/: a home page, a chain of 20 pages, 10 pages one level down, a page
  // reached only through a link that a script writes, a plain-text file, and pages outside.
  int BuildSite() {
    std::string home_links;
    for (int i = 0; i < 20; i += 5) home_links += "<a href=\"" + Name('p', i) + ".html\">p</a> ";
    home_links +=
        "<a href=\"notes.txt\">notes</a> <a href=\"/outside/x.html\">out</a> "
        "<a href=\"mailto:someone@example.com\">mail</a>";
    site_.SetPage("/site/", {"text/html", Page("Home", "Welcome to the site " + home_links)});
    for (int i = 0; i < 20; ++i) {
      std::string body = "Page " + Name('p', i) + " unique" + Name('p', i) + " shared words";
      if (i + 1 < 20) body += " <a href=\"" + Name('p', i + 1) + ".html#top\">next</a>";
      if (i < 10) body += " <a href=\"sub/" + Name('q', i) + ".html\">child</a>";
      if (i == 5) {
        body +=
            "<div id=\"x\"></div><script>var a = document.createElement('a');"
            "a.href = 'dyn.html'; a.textContent = 'dynamic';"
            "document.getElementById('x').appendChild(a);</script>";
      }
      site_.SetPage("/site/" + Name('p', i) + ".html", {"text/html", Page(Name('p', i), body)});
    }
    for (int i = 0; i < 10; ++i) {
      site_.SetPage("/site/sub/" + Name('q', i) + ".html",
                    {"text/html", Page(Name('q', i), "Child unique" + Name('q', i) +
                                                         " <a href=\"../index.html\">up</a>")});
    }
    site_.SetPage("/site/dyn.html", {"text/html", Page("Dynamic", "Written by script uniquedyn")});
    site_.SetPage("/site/index.html", {"text/html", Page("Index", "The index page uniqueindex")});
    site_.SetPage("/site/notes.txt", {"text/plain", "plain notes"});
    site_.SetPage("/outside/x.html", {"text/html", Page("Out", "outside")});
    return 1 + 20 + 10 + 1 + 1;  // HTML pages inside the location
  }

  std::string IndexDb() const { return home_ + "1/Index.db"; }
  std::string TasksDb() const { return home_ + "Tasks.db"; }

  SiteServer site_;
  TempFolder folder_{"vm_cli_index_"};
  const std::string home_ = folder_.path();
};

TEST_F(CliIndexTest, IndexesEveryReachablePage) {
  const int pages = BuildSite();
  CliResult r = RunCli(home_, {"add", site_.Origin() + "/site/", "Site"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli(home_, {"index", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Done. Indexed " + std::to_string(pages) + " of " + std::to_string(pages) +
                       " pages."),
            std::string::npos)
      << r.err;

  // Every HTML page inside the location, with its title, header summary, excerpt and state;
  // the plain-text page was fetched without text and removed by the clean-up.
  auto files = Query(IndexDb(), "SELECT F1, File_State, File_Title, File_Header FROM Files");
  EXPECT_EQ(static_cast<int>(files.size()), pages);
  for (const std::string& row : files) {
    EXPECT_NE(row.find("|1|"), std::string::npos) << row;
    EXPECT_NE(row.find("content-type: text/html"), std::string::npos) << row;
  }
  EXPECT_EQ(Query(IndexDb(), "SELECT File_Title FROM Files WHERE F1 = 'dyn.html'"),
            std::vector<std::string>{"Dynamic"});
  EXPECT_EQ(Query(IndexDb(), "SELECT File_Text FROM Files WHERE F1 = 'p03.html'"),
            std::vector<std::string>{"page p03 uniquep03 shared words next child"});
  EXPECT_TRUE(Query(IndexDb(), "SELECT * FROM Files WHERE F1 LIKE '%notes%'").empty());
  EXPECT_TRUE(Query(IndexDb(), "SELECT * FROM Files WHERE F1 LIKE '%outside%'").empty());

  // Words: one posting per page that holds them.
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words3 WHERE Word = 'uniquedyn'").size(),
            0u);  // 9 bytes: Words2
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words2 WHERE Word = 'uniquedyn'"),
            std::vector<std::string>{"2"});
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words1 WHERE Word = 'shared'"),
            std::vector<std::string>{"40"});
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words2 WHERE Word = 'uniquep17'"),
            std::vector<std::string>{"2"});

  auto task = Query(TasksDb(), "SELECT Files, Time_End IS NOT NULL, Date IS NOT NULL FROM Tasks");
  EXPECT_EQ(task, std::vector<std::string>{std::to_string(pages) + "|1|1"});

  // Again without a choice: the command says to choose and changes nothing.
  r = RunCli(home_, {"index", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: Index exists. Choose --overwrite"), std::string::npos) << r.err;

  // Continuing a complete index fetches nothing.
  const auto requests = site_.Requests().size();
  r = RunCli(home_, {"index", "1", "--continue"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(site_.Requests().size(), requests + 1);  // the connection check only

  // Overwriting builds the same tables again.
  r = RunCli(home_, {"index", "1", "--overwrite"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Query(IndexDb(), "SELECT F1, File_State, File_Title, File_Header FROM Files"), files);
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words1 WHERE Word = 'shared'"),
            std::vector<std::string>{"40"});
}

// The fast loader, chosen for the location: the same pages, texts and words as the browser but
// for the page only a script links to, and no browser library is loaded (there is none to load).
TEST_F(CliIndexTest, FastLoaderIndexesWithoutTheBrowserLibrary) {
  const int pages = BuildSite() - 1;  // dyn.html is linked by a script only
  struct Unloadable {
    explicit Unloadable(const std::string& path) {
      setenv("VELLUMARK_BROWSER_LIBRARY", path.c_str(), 1);
    }
    ~Unloadable() { unsetenv("VELLUMARK_BROWSER_LIBRARY"); }
  } unloadable(home_ + "nowhere/libvellumark-browser.so");
  ASSERT_EQ(RunCli(home_, {"add", site_.Origin() + "/site/", "--loader", "fast"}).status, 0);
  CliResult r = RunCli(home_, {"index", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Done. Indexed " + std::to_string(pages) + " of " + std::to_string(pages) +
                       " pages."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Query(IndexDb(), "SELECT File_Text FROM Files WHERE F1 = 'p03.html'"),
            std::vector<std::string>{"page p03 uniquep03 shared words next child"});
  EXPECT_TRUE(Query(IndexDb(), "SELECT * FROM Files WHERE F1 = 'dyn.html'").empty());
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words1 WHERE Word = 'shared'"),
            std::vector<std::string>{"40"});

  // The browser for one run: now the library is needed.
  r = RunCli(home_, {"index", "1", "--overwrite", "--loader", "browser"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: Cannot start the browser: cannot load "), std::string::npos)
      << r.err;
}

TEST_F(CliIndexTest, UnreachableStartAddress) {
  CliResult r = RunCli(home_, {"add", "http://127.0.0.1:1/site/"});
  ASSERT_EQ(r.status, 0);
  r = RunCli(home_, {"index", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: Cannot connect to 'http://127.0.0.1:1/site/'."), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Index not completed."), std::string::npos);
}

TEST_F(CliIndexTest, ScriptDialogsAreAnsweredAndTheRunEndsByItself) {
  site_.SetPage("/site/", {"text/html", Page("Home",
                                             "home <a href=\"alert.html\">1</a> "
                                             "<a href=\"confirm.html\">2</a> "
                                             "<a href=\"prompt.html\">3</a> "
                                             "<a href=\"unload.html\">4</a> "
                                             "<a href=\"open.html\">5</a> "
                                             "<a href=\"plain.html\">6</a>")});
  const auto scripted = [this](const std::string& name, const std::string& script) {
    site_.SetPage("/site/" + name + ".html",
                  {"text/html", Page(name, name + "<script>" + script + "</script>")});
  };
  scripted("alert", "alert('hello'); document.body.append(' dismissed');");
  scripted("confirm", "document.body.append(confirm('sure?') ? ' confirmed' : ' cancelled');");
  scripted("prompt", "document.body.append(' answer ' + prompt('name?', 'given'));");
  scripted("unload", "window.onbeforeunload = function(e) { e.preventDefault(); return 'stay'; };");
  scripted("open", "document.body.append(window.open('plain.html') ? ' opened' : ' refused');");
  site_.SetPage("/site/plain.html", {"text/html", Page("Plain", "plain page")});
  ASSERT_EQ(RunCli(home_, {"add", site_.Origin() + "/site/"}).status, 0);
  // Pages loaded ahead meet their dialogs while another page is read: each is answered once.
  CliResult r = RunCli(home_, {"index", "1", "--pages-in-flight", "4"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Done. Indexed 7 of 7 pages, 3 script dialogs suppressed."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Query(IndexDb(), "SELECT File_Text FROM Files WHERE F1 LIKE '%.html' ORDER BY F1"),
            (std::vector<std::string>{"alert dismissed", "confirm cancelled", "open refused",
                                      "plain page", "prompt answer null", "unload"}));
}

TEST_F(CliIndexTest, CtrlCStopsTheRunAsStopAndYes) {
  site_.SetPage("/site/", {"text/html", Page("Home", "home <a href=\"slow.html\">s</a>")});
  site_.SetPage("/site/slow.html", {"text/html", "", true});
  ASSERT_EQ(RunCli(home_, {"add", site_.Origin() + "/site/"}).status, 0);
  CliProcess run(home_, {"index", "1"});
  // Wait until the run hangs on the slow page (bounded, in case it never gets there).
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (site_.Count("HEAD /site/slow.html") == 0 && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.Interrupt();
  CliResult r = run.Wait();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Indexing process interrupted by user request"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Done. Indexed 1 of 2 pages."), std::string::npos) << r.err;
  EXPECT_EQ(Query(TasksDb(), "SELECT Files, Time_End IS NOT NULL FROM Tasks"),
            std::vector<std::string>{"1|1"});
}

// A secure site: three pages inside, a link to the same address over plain http (another
// location by its scheme) and one outside.
class CliTlsTest : public CliIndexTest {
 protected:
  void SetUp() override {
    CliIndexTest::SetUp();
    std::string log;
    ASSERT_TRUE(MakeTestCertificates(&certs_, &log)) << log;
  }

  void BuildSecureSite(const TlsFront& front) {
    const std::string plain = "http://127.0.0.1:" + std::to_string(front.port());
    site_.SetPage("/site/", {"text/html", Page("Home",
                                               "secure home <a href=\"a.html\">a</a> "
                                               "<a href=\"" +
                                                   plain +
                                                   "/site/plain.html\">plain</a> "
                                                   "<a href=\"/outside/x.html\">out</a>")});
    site_.SetPage("/site/a.html",
                  {"text/html", Page("A", "secure page <a href=\"sub/b.html\">b</a>")});
    site_.SetPage("/site/sub/b.html", {"text/html", Page("B", "secure uniquesub")});
    site_.SetPage("/site/plain.html", {"text/html", Page("Plain", "plain")});
    site_.SetPage("/outside/x.html", {"text/html", Page("Out", "outside")});
  }

  void NameTrustedAuthority(const std::string& file) {
    std::ofstream(home_ + "vellumark.ini") << "[Options]\nTrustedCA=" << file << "\n";
  }

  TestCertificates certs_;
};

TEST_F(CliTlsTest, IndexesASecureSiteWithTheAuthorityOfTheSettings) {
  TlsFront front(site_.port(), certs_.localhost, certs_.key);
  BuildSecureSite(front);
  NameTrustedAuthority(certs_.ca);
  const std::string start = front.Origin() + "/site/";
  ASSERT_EQ(RunCli(home_, {"add", start, "Secure"}).status, 0);
  CliResult r = RunCli(home_, {"index", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Done. Indexed 3 of 3 pages."), std::string::npos) << r.err;

  EXPECT_EQ(Query(IndexDb(), "SELECT F1, File_State, File_Title FROM Files ORDER BY File_Title"),
            (std::vector<std::string>{"a.html|1|A", "sub/b.html|1|B", "|1|Home"}));
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words1 WHERE Word = 'secure'"),
            std::vector<std::string>{"6"});
  EXPECT_EQ(Query(IndexDb(), "SELECT length(Files) FROM Words2 WHERE Word = 'uniquesub'"),
            std::vector<std::string>{"2"});
  EXPECT_EQ(Query(TasksDb(), "SELECT Files, Time_End IS NOT NULL FROM Tasks"),
            std::vector<std::string>{"3|1"});
  // Neither the plain-http page nor the one outside was fetched.
  EXPECT_EQ(site_.Count("GET /site/plain.html") + site_.Count("HEAD /site/plain.html"), 0);
  EXPECT_EQ(site_.Count("GET /outside/x.html") + site_.Count("HEAD /outside/x.html"), 0);
}

TEST_F(CliTlsTest, AnHttpLocationRedirectedToHttpsIndexesEveryPage) {
  TlsFront front(site_.port(), certs_.localhost, certs_.key);
  BuildSecureSite(front);
  NameTrustedAuthority(certs_.ca);
  // The site's plain address sends every visitor to the secure one.
  SiteServer plain;
  plain.SetPage("/site/",
                {"text/html", "", false, 301, {"Location: " + front.Origin() + "/site/"}});
  ASSERT_EQ(RunCli(home_, {"add", plain.Origin() + "/site/", "Secure"}).status, 0);
  CliResult r = RunCli(home_, {"index", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Redirected to '" + front.Origin() + "/site/'"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Done. Indexed 3 of 3 pages."), std::string::npos) << r.err;
  // Search results are built on the location's URL, which now names the secure site.
  EXPECT_EQ(Query(TasksDb(), "SELECT Task_URL FROM Tasks"),
            std::vector<std::string>{front.Origin() + "/site/"});
}

TEST_F(CliTlsTest, AnUntrustedCertificateEndsAtTheConnectionCheck) {
  TlsFront front(site_.port(), certs_.untrusted, certs_.key);
  BuildSecureSite(front);
  NameTrustedAuthority(certs_.ca);
  const std::string start = front.Origin() + "/site/";
  ASSERT_EQ(RunCli(home_, {"add", start, "Secure"}).status, 0);
  const auto task_before = Query(TasksDb(), "SELECT Task_URL, Task_Description FROM Tasks");

  CliResult r = RunCli(home_, {"index", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: Cannot connect to '" + start + "'."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Cannot connect to '" + start +
                       "'. Certificate verification failed: unable to get local issuer"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Index not completed."), std::string::npos) << r.err;
  EXPECT_EQ(front.Secured(), 0);
  EXPECT_TRUE(site_.Requests().empty());
  EXPECT_TRUE(Query(IndexDb(), "SELECT * FROM Files").empty());
  // The record as the run prepared it, as for any unreachable address.
  EXPECT_EQ(Query(TasksDb(), "SELECT Task_URL, Task_Description FROM Tasks"), task_before);
  EXPECT_EQ(Query(TasksDb(), "SELECT Files, Time_End IS NULL FROM Tasks"),
            std::vector<std::string>{"0|1"});

  // The authority's own certificate is refused too when the settings do not name it.
  TlsFront good(site_.port(), certs_.localhost, certs_.key);
  std::filesystem::remove(home_ + "vellumark.ini");
  ASSERT_EQ(RunCli(home_, {"edit", "1", good.Origin() + "/site/", "Secure"}).status, 0);
  r = RunCli(home_, {"index", "1", "--overwrite"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Certificate verification failed"), std::string::npos) << r.err;
  EXPECT_TRUE(site_.Requests().empty());
}

}  // namespace
}  // namespace vellumark::testing
