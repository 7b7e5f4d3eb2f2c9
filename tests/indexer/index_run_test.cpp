// The indexing run and its page loop against the fake browser and a loopback site.
#include "indexer/page_rules.h"
#include "indexer/run_fixture.h"

#include <gmock/gmock.h>

#include "support/loopback_http_server.h"

namespace vellumark::testing {
namespace {

using ::testing::ElementsAre;  // gmock
using ::testing::StartsWith;

TEST_F(RunTest, FreshRunFollowsLinksInsideTheLocation) {
  AddLocation(Url("/docs/index.html#intro"));
  AddPage("/docs/", "Docs", {"/docs/index.html"}, "Welcome");
  AddPage("/docs/index.html", "Index",
          {"/docs/a.html", "/docs/A.HTML", "/docs/a.html#part", "/docs/index.html#top",
           "/docs/sub/c.html", "/other.html", "/old/docs/x.html", "http://elsewhere.test/docs/",
           "mailto:someone@example.com"},
          "Alpha, beta;BETA gamma.delta");
  AddPage("/docs/a.html", "A", {"/docs/index.html"}, "alpha");
  AddPage("/docs/sub/c.html", "C", {}, "gamma");
  Answer({kButtonYes});

  indexer_->bbGoClick();

  EXPECT_EQ(dialogs_.Texts(),
            (std::vector<std::string>{"Do you wish to index URL '" + Url("/docs/") + "'?"}));
  // The base page and the start page first, then in queue order.
  EXPECT_THAT(NavigatedPaths(),
              ElementsAre("/docs/", "/docs/index.html", "/docs/a.html", "/docs/sub/c.html"));
  std::vector<std::string> addresses;
  for (const auto& p : Pages()) addresses.push_back(p.address);
  EXPECT_THAT(addresses, ElementsAre("", "index.html", "a.html", "sub/c.html"));

  const PageRecord* index = Page("index.html");
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->state, 1);
  EXPECT_EQ(index->title, "Index");
  EXPECT_EQ(index->text, "alpha, beta;beta gamma.delta");
  EXPECT_EQ(index->header, "content-length: 13\r\ncontent-type: text/html\r\n");

  // Words of the example: alpha once, beta twice, gamma.delta once on page 2.
  auto alpha = Postings("alpha");
  ASSERT_EQ(alpha.size(), 2u);  // pages 2 and 3
  EXPECT_EQ(alpha[0].file_no, 2);
  EXPECT_EQ(alpha[0].weight, 1);
  auto beta = Postings("beta");
  ASSERT_EQ(beta.size(), 1u);
  EXPECT_EQ(beta[0].weight, 2);
  EXPECT_EQ(Postings("gamma.delta").size(), 1u);

  EXPECT_EQ(TaskField("Files"), "4");
  EXPECT_FALSE(TaskField("Time_End").empty());
  EXPECT_FALSE(TaskField("Date").empty());
  EXPECT_EQ(TaskField("SearchDelimiters"), " \t\n\r,;");
  EXPECT_TRUE(view_.Saw("Preparing to index URL '" + Url("/docs/") + "'"));
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 4 of 4 pages. "));
  EXPECT_EQ(context_.indexing_state, kIndexingIdle);
  EXPECT_TRUE(view_.buttons_visible);
  EXPECT_TRUE(find_enabled_);
  // Every page is asked for its header once, the start address once more for the check.
  EXPECT_EQ(site_.Count("HEAD /docs/index.html"), 2);
  EXPECT_EQ(site_.Count("HEAD /docs/a.html"), 1);
}

TEST_F(RunTest, ControlsAreHeldBackDuringTheRun) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {}, "home");
  Answer({kButtonYes});
  bool checked = false;
  pump_.on_pump = [&](long) {
    if (view_.shown == "Connecting '" + Url("/") + "' ...") {
      checked = true;
      EXPECT_EQ(context_.indexing_state, kIndexingRunning);
      EXPECT_FALSE(view_.buttons_visible);
      EXPECT_FALSE(find_enabled_);
      EXPECT_TRUE(dm_->tbTasks.BeforeScroll && !dm_->tbTasks.BeforeScroll());
    }
  };
  indexer_->bbGoClick();
  EXPECT_TRUE(checked);
  EXPECT_EQ(view_.counters.front(), std::make_pair(0, 0));
}

TEST_F(RunTest, StartUrlWithoutPathIsItsOwnBase) {
  AddLocation(site_.Origin());
  AddPage("/", "Home", {"/b.html"}, "home");
  AddPage("/b.html", "B", {}, "bee");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(indexer_->StartAddress(), Url("/"));
  EXPECT_EQ(indexer_->BaseAddress(), Url("/"));
  EXPECT_EQ(dialogs_.Texts().front(), "Do you wish to index URL '" + Url("/") + "'?");
  EXPECT_THAT(NavigatedPaths(), ElementsAre("/", "/b.html"));
}

TEST_F(RunTest, DecliningTheUrlQuestionChangesNothing) {
  AddLocation(Url("/"));
  Answer({kButtonNo});
  indexer_->bbGoClick();
  EXPECT_TRUE(Pages().empty());
  EXPECT_TRUE(TaskField("Date").empty());
  EXPECT_TRUE(site_.Requests().empty());
}

TEST_F(RunTest, NoRunWhileAFindIsRunning) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {}, "home");
  context_.find_running = true;
  indexer_->bbGoClick();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(site_.Requests().empty());
  EXPECT_EQ(context_.indexing_state, kIndexingIdle);
}

TEST_F(RunTest, NoLocationAndUrlWithoutScheme) {
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts(), (std::vector<std::string>{"No tasks to index."}));
  EXPECT_EQ(context_.CurrentLocationNumber, -1);

  // A URL without "//" renders as nothing: the question names an empty address and the
  // connection check fails.
  dialogs_.messages.clear();
  AddLocation("www.example.test/docs/");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts(),
            (std::vector<std::string>{"Do you wish to index URL ''?", "Cannot connect to ''."}));
}

TEST_F(RunTest, CannotConnectLeavesTheRunUnfinished) {
  const std::string url = "http://127.0.0.1:" + std::to_string(RefusingPort()) + "/";
  AddLocation(url);
  Answer({kButtonYes});
  indexer_->bbGoClick();
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].kind, MessageKind::kError);
  EXPECT_EQ(dialogs_.messages[1].text, "Cannot connect to '" + url + "'.");
  // The status line adds the reason to the message's text.
  const std::string with_reason = dialogs_.messages[1].text + " ";
  bool reason_shown = false;
  for (const std::string& status : view_.statuses) {
    if (status.rfind(with_reason, 0) == 0 && status.size() > with_reason.size()) {
      reason_shown = true;
    }
  }
  EXPECT_TRUE(reason_shown);
  EXPECT_EQ(view_.statuses.back(), "Index not completed.");
  EXPECT_TRUE(TaskField("Time_End").empty());
  EXPECT_EQ(TaskField("Files"), "0");
  EXPECT_TRUE(Pages().empty());
  EXPECT_EQ(context_.indexing_state, kIndexingIdle);
}

TEST_F(RunTest, NewLinkThatSortsFirstIsFetchedNext) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/c.html", "/b.html"}, "home");
  AddPage("/b.html", "B", {"/a.html", "/c.html"}, "bee");
  AddPage("/c.html", "C", {"/b.html"}, "sea");
  AddPage("/a.html", "A", {}, "ay");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_THAT(NavigatedPaths(), ElementsAre("/", "/b.html", "/a.html", "/c.html"));
  // Numbers in the order pages were found: c and b on the home page (in list order), a later.
  EXPECT_EQ(Page("b.html")->file_no, 2);
  EXPECT_EQ(Page("c.html")->file_no, 3);
  EXPECT_EQ(Page("a.html")->file_no, 4);
}

TEST_F(RunTest, LinksEqualButForCaseAreOnePage) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/Page.html", "/page.html", "/PAGE.html#x"}, "home");
  AddPage("/Page.html", "P", {}, "pee");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  ASSERT_EQ(Pages().size(), 2u);
  EXPECT_EQ(Pages()[1].address, "Page.html");
  EXPECT_EQ(site_.Count("HEAD /page.html"), 0);
}

TEST_F(RunTest, LongAddressesAreSplitAt40Bytes) {
  const std::string forty = std::string(35, 'f') + ".html";  // 40 bytes
  const std::string forty_one = std::string(36, 'g') + ".html";
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/" + forty, "/" + forty_one}, "home");
  AddPage("/" + forty, "F", {}, "f");
  AddPage("/" + forty_one, "G", {}, "g");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  const PageRecord* f = Page(forty);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->rest, "");
  const PageRecord* g = Page(forty_one);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->rest, "l");
  EXPECT_EQ(g->state, 1);
  // Found again on the second pass of a continued run, so not fetched again.
  Answer({kButtonYes, kButtonNo});
  browser_.navigations.clear();
  indexer_->bbGoClick();
  EXPECT_TRUE(browser_.navigations.empty());
}

TEST_F(RunTest, PagesWithoutTextEndInStateTwoAndAreCleanedUp) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/empty.html", "/notes.txt", "/script.js", "/ok.html"}, "");
  AddPage("/empty.html", "Empty", {"/ok.html"}, "");
  AddPage("/notes.txt", "", {}, "text the browser would show", "text/plain");
  AddPage("/script.js", "", {}, "", "application/javascript");
  AddPage("/ok.html", "Ok", {}, "fine");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  // Only HTML pages are opened.
  EXPECT_THAT(NavigatedPaths(), ElementsAre("/", "/empty.html", "/ok.html"));
  // The first page stays although it has no text; the others without text are deleted.
  std::vector<std::string> kept;
  for (const auto& p : Pages()) kept.push_back(p.address + "=" + std::to_string(p.state));
  EXPECT_THAT(kept, ElementsAre("=2", "ok.html=1"));
  EXPECT_EQ(TaskField("Files"), "2");
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 2 of 2 pages. "));
  EXPECT_TRUE(view_.Saw("Deleting not informative files from index ..."));
}

TEST_F(RunTest, CleanUpTrimsRepeatedExcerpts) {
  const std::string shared(29, 'n');
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html", "/b.html", "/c.html"}, shared + std::string(121, 'h'));
  AddPage("/a.html", "A", {}, shared + std::string(121, 'a'));  // differs from 30 on
  AddPage("/b.html", "B", {}, shared + std::string(121, 'a'));  // equal to a's
  AddPage("/c.html", "C", {}, shared + "x");                    // short: nothing to cut
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(Page("")->text.size(), 150u);
  EXPECT_EQ(Page("a.html")->text.size(), 130u);
  // b's excerpt starts with all of a's cut one, so the difference lies past a's end: P + 100
  // is beyond b's length and b keeps its 150 bytes.
  EXPECT_EQ(Page("b.html")->text.size(), 150u);
  EXPECT_EQ(Page("c.html")->text, shared + "x");
}

TEST_F(RunTest, BrowserThatNeverFinishesIsBounded) {
  indexer_->Options().browser_wait_ms = 30;
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html"}, "home");
  AddPage("/a.html", "A", {}, "a");
  browser_.busy_polls = -1;
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_TRUE(view_.Saw("Cannot open location '" + Url("/") + "'"));
  ASSERT_EQ(Pages().size(), 1u);
  EXPECT_EQ(Pages()[0].state, 2);
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 1 of 1 pages. "));
}

TEST_F(RunTest, StopWorksWhileTheBrowserLoads) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {}, "home");
  browser_.busy_polls = -1;
  StopWhenShown("Opening '" + Url("/") + "' ...");
  Answer({kButtonYes, kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts().back(), "Do you wish to stop index process?");
  EXPECT_TRUE(view_.Saw("Indexing process interrupted by user request"));
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 0 of 0 pages. "));
  EXPECT_FALSE(TaskField("Time_End").empty());
}

TEST_F(RunTest, StopAnsweredNoGoesOn) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html", "/b.html"}, "home");
  AddPage("/a.html", "A", {}, "a");
  AddPage("/b.html", "B", {}, "b");
  StopWhenShown("Connecting '" + Url("/a.html") + "' ...");
  Answer({kButtonYes, kButtonNo});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts().back(), "Do you wish to stop index process?");
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 3 of 3 pages. "));
  EXPECT_EQ(context_.indexing_state, kIndexingIdle);
}

TEST_F(RunTest, StopAnsweredYesEndsTheRunAndContinuingCompletesIt) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html", "/b.html"}, "home words");
  AddPage("/a.html", "A", {"/c.html"}, "a words");
  AddPage("/b.html", "B", {}, "b words");
  AddPage("/c.html", "C", {}, "c words");
  StopWhenShown("Connecting '" + Url("/a.html") + "' ...");
  Answer({kButtonYes, kButtonYes});
  indexer_->bbGoClick();
  EXPECT_TRUE(view_.Saw("Indexing process interrupted by user request"));
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 1 of 3 pages. "));
  EXPECT_EQ(TaskField("Files"), "1");
  EXPECT_FALSE(TaskField("Time_End").empty());
  // a.html's pass was left before it landed: known, not fetched; no words of it.
  EXPECT_TRUE(Page("a.html")->state_null);
  EXPECT_EQ(Page("c.html"), nullptr);
  EXPECT_TRUE(Postings("a").empty());
  EXPECT_EQ(Postings("home").size(), 1u);  // the page shown as done is in the word lists

  // Continue: the old delimiters, only the missing pages, new pages numbered after the last.
  const std::string date = TaskField("Date");
  context_.DelimiterChars.resize(1);  // blank only, until the run restores the old set
  pump_.on_pump = nullptr;
  browser_.navigations.clear();
  Answer({kButtonYes, kButtonNo});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts()[3], "Index exists. Do you wish to overwrite it?");
  EXPECT_EQ(context_.DelimiterChars, U" \t\n\r,;");
  EXPECT_THAT(NavigatedPaths(), ElementsAre("/a.html", "/b.html", "/c.html"));
  EXPECT_EQ(Page("c.html")->file_no, 4);
  EXPECT_EQ(TaskField("Files"), "4");
  EXPECT_EQ(TaskField("Date"), date);
  EXPECT_EQ(Postings("words").size(), 4u);  // once per page, nothing twice
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 4 of 4 pages. "));
}

TEST_F(RunTest, OverwriteStartsAfresh) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html"}, "home words");
  AddPage("/a.html", "A", {}, "a words");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  ASSERT_EQ(Postings("words").size(), 2u);
  Answer({kButtonYes, kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(Postings("words").size(), 2u);
  EXPECT_EQ(Pages().size(), 2u);
  EXPECT_EQ(TaskField("Files"), "2");

  // Cancel leaves everything as it is.
  site_.SetPage("/", SitePage{"text/html", "", false});
  Answer({kButtonYes, kButtonCancel});
  const auto requests = site_.Requests().size();
  indexer_->bbGoClick();
  EXPECT_EQ(site_.Requests().size(), requests);
}

TEST_F(RunTest, StopAbortsAHeadRequestInFlight) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/slow.html", "/z.html"}, "home");
  AddPage("/z.html", "Z", {}, "zed");
  site_.SetPage("/slow.html", SitePage{"text/html", "", true});
  browser_.pages[Url("/slow.html")] = FakePage{"Slow", {}, "slow"};
  // Stop once the request waits; answer No, after which the server answers.
  long seen_at = -1;
  pump_.on_pump = [&](long n) {
    if (view_.shown != "Connecting '" + Url("/slow.html") + "' ...") return;
    if (seen_at < 0) seen_at = n;
    if (!stop_pressed_ && n > seen_at + 20) {
      stop_pressed_ = true;
      site_.SetPage("/slow.html", SitePage{"text/html", "", false});
      indexer_->bbStopClick();
    }
  };
  Answer({kButtonYes, kButtonNo});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts().back(), "Do you wish to stop index process?");
  // The page was fetched again after No, and not counted as failed.
  EXPECT_EQ(Page("slow.html")->state, 1);
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 3 of 3 pages. "));
  EXPECT_FALSE(view_.Saw("Cannot open location '" + Url("/slow.html") + "'"));
}

TEST_F(RunTest, StopAnsweredYesOnAHangingServer) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/slow.html"}, "home");
  site_.SetPage("/slow.html", SitePage{"text/html", "", true});
  long seen_at = -1;
  pump_.on_pump = [&](long n) {
    if (view_.shown != "Connecting '" + Url("/slow.html") + "' ...") return;
    if (seen_at < 0) seen_at = n;
    if (!stop_pressed_ && n > seen_at + 20) {
      stop_pressed_ = true;
      indexer_->bbStopClick();
    }
  };
  Answer({kButtonYes, kButtonYes});
  indexer_->bbGoClick();
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 1 of 2 pages. "));
  EXPECT_TRUE(Page("slow.html")->state_null);
  EXPECT_FALSE(TaskField("Time_End").empty());
}

TEST_F(RunTest, PageLimitEndsTheLoopBeforeTheWords) {
  indexer_->Options().max_pages = 3;
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html"}, "home");
  AddPage("/a.html", "A", {"/b.html", "/c.html"}, "limited");
  AddPage("/b.html", "B", {}, "b");
  AddPage("/c.html", "C", {}, "c");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.messages.back().kind, MessageKind::kInformation);
  EXPECT_EQ(dialogs_.Texts().back(), "Indexing more then 1048576 files not supported.");
  EXPECT_TRUE(view_.Saw("Indexing not completed."));
  EXPECT_TRUE(Postings("limited").empty());
  // The pass that crossed the limit left the page as it was.
  EXPECT_TRUE(Page("a.html")->state_null);
  EXPECT_EQ(Pages().size(), 2u);
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 1 of 2 pages. "));
}

TEST_F(RunTest, StopButtonAndCloseOutsideARun) {
  indexer_->bbStopClick();
  EXPECT_EQ(context_.indexing_state, kIndexingIdle);
  EXPECT_TRUE(indexer_->CanClose());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(RunTest, CloseDuringARunAsksToStop) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html"}, "home");
  AddPage("/a.html", "A", {}, "a");
  std::vector<bool> closes;
  pump_.on_pump = [&](long) {
    if (view_.shown == "Connecting '" + Url("/a.html") + "' ..." && closes.size() < 2) {
      closes.push_back(indexer_->CanClose());  // no request yet: may not close
      if (closes.size() == 1) indexer_->bbStopClick();
    }
  };
  Answer({kButtonYes, kButtonYes});
  indexer_->bbGoClick();
  ASSERT_GE(closes.size(), 2u);
  EXPECT_FALSE(closes[0]);
  EXPECT_TRUE(closes[1]);  // the stop was confirmed: the window may close
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 1 of 2 pages. "));
}

// --- addresses in the browser's normal form, redirects, error answers, duplicates ---

TEST(LocationAddress, TakesTheBrowsersNormalForm) {
  struct Case {
    const char* url;
    const char* start;
    const char* base;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"http://LocalHost:80/Docs/index.html#intro", "http://localhost/Docs/index.html",
            "http://localhost/Docs/"},
           {"HTTPS://h.test:443/a/", "https://h.test/a/", "https://h.test/a/"},
           {"http://h.test:8080/my docs/a b.html", "http://h.test:8080/my%20docs/a%20b.html",
            "http://h.test:8080/my%20docs/"},
           {"http://h.test/cgi/find?dir=/a/b", "http://h.test/cgi/find?dir=/a/b",
            "http://h.test/cgi/"},
           {"www.example.test/docs/", "", ""},
       }) {
    const LocationAddress address = LocationAddressOf(c.url);
    EXPECT_EQ(address.start, c.start) << c.url;
    EXPECT_EQ(address.base, c.base) << c.url;
  }
}

TEST_F(RunTest, UpperCaseHostAndBlankInAFolderKeepTheirLinks) {
  // The browser gives every link in normal form: host in lower case, blanks encoded.
  const std::string origin = "http://localhost:" + std::to_string(site_.port());
  AddLocation("http://LocalHost:" + std::to_string(site_.port()) + "/my docs/");
  site_.SetPage("/my%20docs/", SitePage{});
  site_.SetPage("/my%20docs/a%20b.html", SitePage{});
  browser_.pages[origin + "/my%20docs/"] = {"Home", {origin + "/my%20docs/a%20b.html"}, "home"};
  browser_.pages[origin + "/my%20docs/a%20b.html"] = {"A", {}, "ay"};
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(indexer_->BaseAddress(), origin + "/my%20docs/");
  ASSERT_NE(Page("a%20b.html"), nullptr);
  EXPECT_EQ(Page("a%20b.html")->state, 1);
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 2 of 2 pages. "));
}

TEST_F(RunTest, RedirectedStartPageMovesTheLocation) {
  AddPage("/new/", "Home", {"/new/a.html"}, "home");
  AddPage("/new/a.html", "A", {}, "ay");
  // The server sends the connection check on; or it answers the old address itself and the
  // page's script moves the browser on.
  site_.SetPage("/moved/", SitePage{"text/html", "", false, 301, {"Location: /new/"}});
  AddPage("/old/", "Moved", {}, "moved");
  browser_.pages[Url("/old/")].url = Url("/new/");
  for (const char* old : {"/moved/", "/old/"}) {
    AddLocation(Url(old));
    Answer({kButtonYes});
    indexer_->bbGoClick();
    EXPECT_TRUE(view_.Saw("Redirected to '" + Url("/new/") + "'")) << old;
    EXPECT_EQ(TaskField("Task_URL"), Url("/new/")) << old;
    std::vector<std::string> kept;
    for (const auto& p : Pages()) kept.push_back(std::to_string(p.file_no) + ":" + p.address);
    EXPECT_THAT(kept, ElementsAre("1:", "2:a.html")) << old;
    EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 2 of 2 pages. ")) << old;
    view_.statuses.clear();
  }
}

TEST_F(RunTest, ErrorAnswersAreNotIndexed) {
  AddLocation(Url("/docs/"));
  AddPage("/docs/", "Home", {"/docs/missing.html", "/docs/a.html"}, "home");
  AddPage("/docs/a.html", "A", {}, "ay");
  // What the browser would show for the missing page: the server's error page.
  browser_.pages[Url("/docs/missing.html")] = {"Not Found", {}, "404 not found"};
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_THAT(NavigatedPaths(), ElementsAre("/docs/", "/docs/a.html"));
  EXPECT_TRUE(Postings("404").empty());
  EXPECT_EQ(Page("missing.html"), nullptr);  // state 2, removed by the clean-up
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 2 of 2 pages, 1 page not found. "));

  // A start page that does not exist ends the run as an unreachable one.
  dialogs_.messages.clear();
  AddLocation(Url("/gone/"));
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.Texts().back(), "Cannot connect to '" + Url("/gone/") + "'.");
  EXPECT_TRUE(view_.Saw("Cannot connect to '" + Url("/gone/") +
                        "'. The server answered HTTP/1.0 404 Not Found."));
  EXPECT_EQ(view_.statuses.back(), "Index not completed.");
  EXPECT_TRUE(Pages().empty());
}

TEST_F(RunTest, PagesFetchedBeforeUnderAnotherAddressAreDuplicates) {
  AddLocation(Url("/docs/index.html"));
  AddPage("/docs/", "Docs", {"/docs/old.html", "/docs/new.html"}, "the same words");
  AddPage("/docs/index.html", "Docs", {}, "the same words");
  AddPage("/docs/new.html", "New", {}, "new words");
  AddPage("/docs/old.html", "New", {}, "moved words");
  browser_.pages[Url("/docs/old.html")].url = Url("/docs/new.html");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  std::vector<std::string> kept;
  for (const auto& p : Pages()) kept.push_back(p.address);
  EXPECT_THAT(kept, ElementsAre("", "new.html"));
  EXPECT_EQ(Postings("same").size(), 1u);
  EXPECT_TRUE(Postings("moved").empty());
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 2 of 2 pages. "));
}

TEST_F(RunTest, StartPageWithLinksOnlyOutsideSaysSo) {
  AddLocation(Url("/docs/"));
  AddPage("/docs/", "Home", {"/other/a.html", "http://elsewhere.test/docs/", "mailto:x@y.test"},
          "home");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  EXPECT_EQ(dialogs_.messages.back().kind, MessageKind::kInformation);
  EXPECT_EQ(dialogs_.Texts().back(),
            "The start page has links, but none of them inside '" + Url("/docs/") + "'.");
}

// --- the queue, the records and the clean-up agree ---

TEST_F(RunTest, LinkDifferingInCaseFromAQueuedOneGetsNoRecord) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/c.html", "/b.html"}, "home");
  AddPage("/b.html", "B", {"/C.html"}, "bee");  // fetched while c.html waits in the queue
  AddPage("/c.html", "C", {}, "sea");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  std::vector<std::string> kept;
  for (const auto& p : Pages()) kept.push_back(p.address);
  EXPECT_THAT(kept, ElementsAre("", "b.html", "c.html"));
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 3 of 3 pages. "));
}

TEST_F(RunTest, ContinuedRunAfterACleanUpIsComplete) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/blank.html", "/c.html"}, "home");
  AddPage("/blank.html", "Blank", {}, "");
  AddPage("/c.html", "C", {}, "sea");
  Answer({kButtonYes});
  indexer_->bbGoClick();
  ASSERT_EQ(Pages().size(), 2u);
  ASSERT_EQ(Pages()[1].file_no, 3);  // page 2 deleted: a gap in the numbers
  view_.statuses.clear();
  Answer({kButtonYes, kButtonNo});
  indexer_->bbGoClick();
  EXPECT_TRUE(view_.Saw("Deleting not informative files from index ..."));
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 2 of 2 pages. "));
}

TEST_F(RunTest, StopPressedAfterTheConfirmedStopAsksNoMore) {
  AddLocation(Url("/"));
  AddPage("/", "Home", {"/a.html", "/b.html"}, "home");
  AddPage("/a.html", "A", {}, "a");
  AddPage("/b.html", "B", {}, "b");
  // Stop, a close confirmed as a stop, then Stop again.
  pump_.on_pump = [this](long) {
    if (stop_pressed_ || view_.shown != "Connecting '" + Url("/a.html") + "' ...") return;
    stop_pressed_ = true;
    indexer_->bbStopClick();
    EXPECT_TRUE(indexer_->CanClose());
    indexer_->bbStopClick();
  };
  Answer({kButtonYes, kButtonYes, kButtonNo});
  indexer_->bbGoClick();
  const std::vector<std::string> texts = dialogs_.Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Do you wish to stop index process?"), 1);
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 1 of 3 pages. "));
}

}  // namespace
}  // namespace vellumark::testing
