// The page loop with pages loaded ahead: the index it builds is the one a loop that loads one
// page after the other builds, whichever loader and however many pages are in flight; Stop and
// the deadline per page hold for every page in flight.
#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <sstream>

#include "indexer/run_fixture.h"

namespace vellumark::testing {
namespace {

using ::testing::Contains;
using ::testing::Field;
using ::testing::StartsWith;

struct Loop {
  const char* name;
  LoaderKind loader;
  int pages_in_flight;
  int busy_polls;  // waits each browser load takes
};

class PageLoopTest : public RunTest, public ::testing::WithParamInterface<Loop> {
 protected:
  // A page the browser shows and the server sends as the same HTML: the title, the text in one
  // paragraph, and links without text of their own.
  void AddHtmlPage(const std::string& path, const std::string& title,
                   const std::vector<std::string>& links, const std::string& text) {
    std::string html =
        "<!DOCTYPE html><html><head><title>" + title + "</title></head><body><p>" + text + "</p>";
    for (const std::string& l : links) html += "<a href=\"" + l + "\"></a>";
    html += "</body></html>";
    site_.SetPage(path, SitePage{"text/html", html});
    FakePage page{title, {}, text};
    for (const std::string& l : links) page.links.push_back(Url(l));
    browser_.pages[Url(path)] = page;
  }

  // A site of `count` pages under generated names, each linking to four others, so that the
  // links of a page often put new entries at the head of the queue; one page links to a page
  // that is missing, one to a plain-text page.
  void GenerateSite(int count) {
    std::mt19937 rng(20261208);
    const std::string letters = "abcdefghij";
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      std::string name;
      for (int k = 0; k < 4; ++k) name += letters[rng() % letters.size()];
      paths.push_back("/" + name + std::to_string(i) + ".html");
    }
    const std::vector<std::string> words = {"alpha", "beta", "gamma", "delta", "omega", "kappa"};
    auto text_of = [&](int i) {
      std::string text = "page" + std::to_string(i);
      for (int k = 0; k < 12; ++k) text += " " + words[rng() % words.size()];
      return text;
    };
    AddHtmlPage("/", "Home", {paths[0], paths[1]}, text_of(-1));
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> links;
      for (int k = 0; k < 4; ++k) links.push_back(paths[rng() % paths.size()]);
      if (i + 1 < count) links.push_back(paths[i + 1]);  // every page is reached
      if (i == 3) links.push_back("/missing.html");
      if (i == 5) links.push_back("/notes.txt");
      AddHtmlPage(paths[i], "Page " + std::to_string(i), links, text_of(i));
    }
    site_.SetPage("/notes.txt", SitePage{"text/plain", "notes"});
  }

  // The page list and the word lists, byte for byte; with `pages_only`, the addresses,
  // numbers, states and titles (what the links decide).
  std::string Dump(bool pages_only = false) {
    std::ostringstream out;
    for (const PageRecord& p : Pages()) {
      out << p.file_no << "|" << p.address << "|" << p.state_null << p.state << "|" << p.title;
      if (!pages_only) out << "|" << p.header << "|" << p.text;
      out << "\n";
    }
    if (pages_only) return out.str();
    for (int n = 1; n <= kWordTableCount; ++n) {
      TTable& words = dm_->WordTable(n);
      for (words.First(); !words.IsEmpty() && !words.Eof(); words.Next()) {
        out << words.Fields(0).AsString() << "=";
        for (unsigned char c : words.Fields(1).AsBlob()) out << static_cast<int>(c) << ",";
        out << "\n";
      }
    }
    return out.str();
  }

  // Indexes the location afresh with `loop`.
  void Index(const Loop& loop, bool overwrite) {
    indexer_->Options().loader = loop.loader;
    indexer_->Options().pages_in_flight = loop.pages_in_flight;
    browser_.loader_pages = loop.pages_in_flight > 0;
    browser_.busy_polls = loop.busy_polls;
    if (overwrite) {
      Answer({kButtonYes, kButtonYes});
    } else {
      Answer({kButtonYes});
    }
    indexer_->bbGoClick();
  }
};

// Pages in flight, and the fast loader, against the browser's shown page one load at a time.
TEST_P(PageLoopTest, GivesTheIndexOfTheSequentialLoop) {
  GenerateSite(40);
  AddLocation(Url("/"));
  Index({"shown page", LoaderKind::kBrowser, 0, 0}, false);
  ASSERT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 41 of 41 pages"));
  const std::string sequential = Dump(GetParam().loader == LoaderKind::kFast);

  Index(GetParam(), true);
  EXPECT_EQ(Dump(GetParam().loader == LoaderKind::kFast), sequential);
  if (GetParam().loader == LoaderKind::kBrowser && GetParam().pages_in_flight > 1) {
    EXPECT_EQ(browser_.most_loading, GetParam().pages_in_flight);
  }
}

INSTANTIATE_TEST_SUITE_P(Loops, PageLoopTest,
                         ::testing::Values(Loop{"one", LoaderKind::kBrowser, 1, 2},
                                           Loop{"two", LoaderKind::kBrowser, 2, 2},
                                           Loop{"three", LoaderKind::kBrowser, 3, 5},
                                           Loop{"fast", LoaderKind::kFast, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageLoopTest, StopDuringAPrefetchEndsEveryLoadAndContinuingCompletes) {
  AddLocation(Url("/"));
  AddHtmlPage("/", "Home", {"/a.html", "/b.html", "/c.html", "/d.html"}, "home");
  for (const char* name : {"a", "b", "c", "d"}) {
    AddHtmlPage(std::string("/") + name + ".html", name, {}, std::string("text ") + name);
  }
  StopWhenShown("Opening '" + Url("/a.html") + "' ...");  // b loads ahead
  Answer({kButtonYes});                                   // the stop
  Index({"three", LoaderKind::kBrowser, 3, 50}, false);
  EXPECT_TRUE(view_.Saw("Indexing process interrupted by user request"));
  EXPECT_GE(browser_.most_loading, 2);
  EXPECT_EQ(browser_.loading, 0);  // every load in flight was stopped
  EXPECT_EQ(Page("")->state, 1);
  EXPECT_TRUE(Page("a.html")->state_null);

  pump_.on_pump = nullptr;
  Answer({kButtonYes, kButtonNo});
  browser_.busy_polls = 1;
  indexer_->bbGoClick();
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 5 of 5 pages"));
}

TEST_F(PageLoopTest, APageThatNeverLoadsEndsAtItsDeadlineWhileOthersLoad) {
  AddLocation(Url("/"));
  AddHtmlPage("/", "Home", {"/a.html", "/b.html", "/c.html"}, "home");
  AddHtmlPage("/a.html", "A", {}, "ay");
  AddHtmlPage("/b.html", "B", {}, "bee");
  AddHtmlPage("/c.html", "C", {}, "sea");
  browser_.pages[Url("/a.html")].hangs = true;
  indexer_->Options().browser_wait_ms = 200;
  Index({"two", LoaderKind::kBrowser, 2, 1}, false);
  EXPECT_TRUE(view_.Saw("Cannot open location '" + Url("/a.html") + "'"));
  EXPECT_THAT(browser_.stopped, Contains(Url("/a.html")));
  EXPECT_EQ(browser_.most_loading, 2);  // b loaded while a hung
  EXPECT_EQ(Page("a.html"), nullptr);   // no text: cleaned up
  EXPECT_EQ(Page("c.html")->state, 1);
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 3 of 3 pages"));
}

TEST_F(PageLoopTest, StopDuringFetchesInFlightClosesThemAndContinuingCompletes) {
  AddLocation(Url("/"));
  AddHtmlPage("/", "Home", {"/a.html", "/b.html", "/c.html"}, "home");
  AddHtmlPage("/a.html", "A", {}, "ay");
  AddHtmlPage("/b.html", "B", {}, "bee");
  AddHtmlPage("/c.html", "C", {}, "sea");
  site_.SetPage("/b.html", SitePage{"text/html", "", true});  // never answers
  StopWhenShown("Opening '" + Url("/b.html") + "' ...");
  Answer({kButtonYes});
  Index({"fast", LoaderKind::kFast, 0, 0}, false);
  EXPECT_TRUE(view_.Saw("Indexing process interrupted by user request"));
  EXPECT_EQ(Page("a.html")->state, 1);
  EXPECT_TRUE(Page("b.html")->state_null);
  // The hanging request was closed: the site's connections end (else its destructor waits).

  pump_.on_pump = nullptr;
  AddHtmlPage("/b.html", "B", {}, "bee");
  Answer({kButtonYes, kButtonNo});
  indexer_->bbGoClick();
  EXPECT_THAT(view_.statuses.back(), StartsWith("Done. Indexed 4 of 4 pages"));
  EXPECT_EQ(Page("b.html")->state, 1);
}

// Both loaders leave out what robots.txt disallows: never requested, state 2 (so cleaned up at
// the end), counted in the last status line.
TEST_P(PageLoopTest, PagesRobotsTxtDisallowsAreLeftOutAndCounted) {
  if (GetParam().pages_in_flight == 1) GTEST_SKIP() << "one browser case is enough";
  AddLocation(Url("/"));
  AddHtmlPage("/", "Home", {"/private/a.html", "/b.html"}, "home");
  AddHtmlPage("/private/a.html", "A", {}, "secret");
  AddHtmlPage("/b.html", "B", {}, "bee");
  site_.SetPage("/robots.txt", SitePage{"text/plain", "User-agent: *\nDisallow: /private/\n"});
  Index(GetParam(), false);
  EXPECT_THAT(view_.statuses.back(),
              StartsWith("Done. Indexed 2 of 2 pages, 1 page left out for robots.txt."));
  EXPECT_EQ(site_.Count("HEAD /private/a.html") + site_.Count("GET /private/a.html"), 0);
  EXPECT_EQ(Page("private/a.html"), nullptr);
  EXPECT_TRUE(Postings("secret").empty());
}

// A run killed after a few pages (a child process that ends without any clean-up), then
// continued, gives the index of a run that went through.
TEST_F(PageLoopTest, AKilledRunContinuedGivesTheCompleteIndex) {
  GenerateSite(20);
  const int location = AddLocation(Url("/"));
  const Loop fast{"fast", LoaderKind::kFast, 0, 0};
  Index(fast, false);
  const std::string complete = Dump();

  // The child opens the tables on its own: no database connection crosses the fork.
  indexer_.reset();
  dm_.reset();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    indexer_ = std::make_unique<TIndexer>(context_, *dm_, dialogs_, browser_, *http_, view_);
    pump_.on_pump = [this](long) {
      if (indexer_->IndexedCount() >= 8) _exit(0);
    };
    Index(fast, true);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run ended before the kill";

  dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
  indexer_ = std::make_unique<TIndexer>(context_, *dm_, dialogs_, browser_, *http_, view_);
  ASSERT_TRUE(dm_->OpenLocation(dm_->LocationFolder(location)));
  EXPECT_THAT(Pages(), Contains(Field(&PageRecord::state_null, true)));  // the kill left some
  indexer_->Options().loader = LoaderKind::kFast;
  Answer({kButtonYes, kButtonNo});  // continue
  indexer_->bbGoClick();
  EXPECT_EQ(Dump(), complete);
}

}  // namespace
}  // namespace vellumark::testing
