// How far the fast loader agrees with the browser: every page of a folder (or of a list of
// addresses) is loaded in the real offscreen browser and with the fast loader, both texts are
// split into words as the indexer splits them (lower-cased, default delimiters), and the tool
// reports the share of (word, page) pairs each side has in common with the other, and of the
// links. Pages of the folder are served from a loopback server; a file named "...-hdr-CHARSET
// .html" is served with that charset in its content type.
//
// Usage: QT_QPA_PLATFORM=offscreen loader_agreement [--folder=DIR | --urls=FILE] [--min=0.99]
//        [--verbose]
// Exits 1 when --min is given and either share is below it.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "browser/qt_event_pump.h"
#include "browser/web_browser.h"
#include "indexer/fast_loader.h"
#include "indexer/page_server.h"
#include "indexer/page_text.h"
#include "util/delimiter_text.h"

namespace vellumark {
namespace {

struct Sides {
  std::set<std::string> browser;
  std::set<std::string> fast;
};

std::set<std::string> Words(const std::string& text) {
  static const std::u32string delimiters = [] {
    std::u32string d;
    ParseDelimiters(kDefaultDelimiterText, d);
    return d;
  }();
  std::vector<std::string> words;
  SplitPageWords(LowerPageText(text), delimiters, words);
  return {words.begin(), words.end()};
}

// The text with each run of white space as one blank, trimmed: what the text says, apart from
// how the layout spaced it.
std::string Collapsed(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

std::set<std::string> WithoutAnchors(const std::vector<std::string>& links) {
  std::set<std::string> out;
  for (const std::string& link : links) out.insert(link.substr(0, link.find('#')));
  return out;
}

std::vector<std::string> Minus(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::vector<std::string> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

std::string Joined(const std::vector<std::string>& items, std::size_t max) {
  std::string out;
  for (std::size_t i = 0; i < items.size() && i < max; ++i) out += (i ? " " : "") + items[i];
  if (items.size() > max) out += " ...";
  return out;
}

struct Totals {
  long browser = 0;
  long fast = 0;
  long common = 0;
  void Add(const Sides& s, long both) {
    browser += static_cast<long>(s.browser.size());
    fast += static_cast<long>(s.fast.size());
    common += both;
  }
  double BrowserShare() const { return browser ? static_cast<double>(common) / browser : 1.0; }
  double FastShare() const { return fast ? static_cast<double>(common) / fast : 1.0; }
};

int Run(int argc, char** argv) {
  std::string folder = VELLUMARK_AGREEMENT_PAGES;
  std::string urls_file;
  double min_share = -1;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--folder=")) folder = arg.substr(9);
    if (arg.starts_with("--urls=")) urls_file = arg.substr(7);
    if (arg.starts_with("--min=")) min_share = std::stod(arg.substr(6));
    if (arg == "--verbose") verbose = true;
  }

  testing::PageServer server;
  std::vector<std::pair<std::string, std::string>> pages;  // name, address
  if (!urls_file.empty()) {
    std::ifstream in(urls_file);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) pages.emplace_back(line, line);
    }
  } else {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() == ".html") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      std::stringstream bytes;
      bytes << in.rdbuf();
      const std::string name = file.filename().string();
      std::string type = "text/html";
      if (const std::size_t hdr = name.find("-hdr-"); hdr != std::string::npos) {
        type += "; charset=" + name.substr(hdr + 5, name.size() - 5 - hdr - 5);
      }
      server.Set("/pages/" + name, testing::Route::Html(bytes.str()).Type(type));
      pages.emplace_back(name, server.Origin() + "/pages/" + name);
    }
  }

  WebBrowser browser;
  QtEventPump pump;
  FastLoader loader(pump);
  Totals words;
  Totals links;
  int titles_differ = 0;
  int excerpts_differ = 0;  // the 200 bytes the index keeps of each page
  int texts_differ = 0;     // texts that differ in more than the amount of white space
  using Clock = std::chrono::steady_clock;
  Clock::duration browser_time{};
  Clock::duration fast_time{};
  for (const auto& [name, url] : pages) {
    Clock::time_point start = Clock::now();
    browser.Navigate(url);
    for (int i = 0; i < 300 && browser.Busy(); ++i) browser.WaitWhileBusy(100);
    const std::string title = browser.DocumentTitle();
    const std::vector<std::string> browser_links = browser.DocumentLinks();
    const std::string text = browser.CreateBodyTextRange()->Text();
    browser_time += Clock::now() - start;

    start = Clock::now();
    const std::optional<LoadedPage> fast = loader.Take(url, {});
    fast_time += Clock::now() - start;
    if (!fast || !fast->error.empty()) {
      std::printf("%s: the fast loader failed: %s\n", name.c_str(),
                  fast ? fast->error.c_str() : "");
      continue;
    }
    const Sides w{Words(text), Words(fast->text)};
    const long w_both = static_cast<long>(w.browser.size() - Minus(w.browser, w.fast).size());
    words.Add(w, w_both);
    const Sides l{WithoutAnchors(browser_links), WithoutAnchors(fast->links)};
    const long l_both = static_cast<long>(l.browser.size() - Minus(l.browser, l.fast).size());
    links.Add(l, l_both);
    if (title != fast->title) ++titles_differ;
    const std::string excerpt = MakeExcerpt(LowerPageText(text));
    const std::string fast_excerpt = MakeExcerpt(LowerPageText(fast->text));
    if (excerpt != fast_excerpt) ++excerpts_differ;
    const std::string collapsed = Collapsed(text);
    const std::string fast_collapsed = Collapsed(fast->text);
    if (collapsed != fast_collapsed) ++texts_differ;

    std::printf("%-28s words %4zu/%4zu common %4ld   links %3zu/%3zu common %3ld%s\n", name.c_str(),
                w.browser.size(), w.fast.size(), w_both, l.browser.size(), l.fast.size(), l_both,
                title == fast->title ? "" : "   title differs");
    if (verbose || w_both != static_cast<long>(std::max(w.browser.size(), w.fast.size()))) {
      const auto only_b = Minus(w.browser, w.fast);
      const auto only_f = Minus(w.fast, w.browser);
      if (!only_b.empty())
        std::printf("    only browser: %s\n", Joined(only_b, verbose ? 1000 : 12).c_str());
      if (!only_f.empty())
        std::printf("    only fast:    %s\n", Joined(only_f, verbose ? 1000 : 12).c_str());
    }
    if (verbose || l_both != static_cast<long>(std::max(l.browser.size(), l.fast.size()))) {
      const auto only_b = Minus(l.browser, l.fast);
      const auto only_f = Minus(l.fast, l.browser);
      if (!only_b.empty())
        std::printf("    links only browser: %s\n", Joined(only_b, verbose ? 1000 : 6).c_str());
      if (!only_f.empty())
        std::printf("    links only fast:    %s\n", Joined(only_f, verbose ? 1000 : 6).c_str());
    }
    if (title != fast->title) {
      std::printf("    title browser: %s\n    title fast:    %s\n", title.c_str(),
                  fast->title.c_str());
    }
    if (verbose && collapsed != fast_collapsed) {
      std::size_t at = 0;
      while (at < collapsed.size() && at < fast_collapsed.size() &&
             collapsed[at] == fast_collapsed[at]) {
        ++at;
      }
      const std::size_t from = at < 40 ? 0 : at - 40;
      std::printf("    text browser: ...%s...\n    text fast:    ...%s...\n",
                  collapsed.substr(from, 100).c_str(), fast_collapsed.substr(from, 100).c_str());
    }
    if (excerpt != fast_excerpt) {
      std::printf("    excerpt browser: %s\n    excerpt fast:    %s\n", excerpt.c_str(),
                  fast_excerpt.c_str());
    }
  }
  const auto ms = [](Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  };
  std::printf(
      "\n%zu pages. (word, page) pairs: browser %ld, fast %ld, common %ld: %.2f %% of the "
      "browser's, %.2f %% of the fast loader's.\nLinks: %.2f %% / %.2f %%. Titles differ on %d "
      "pages, excerpts on %d, texts (blanks aside) on %d. Time: browser %lld ms, fast %lld ms.\n",
      pages.size(), words.browser, words.fast, words.common, 100 * words.BrowserShare(),
      100 * words.FastShare(), 100 * links.BrowserShare(), 100 * links.FastShare(), titles_differ,
      excerpts_differ, texts_differ, static_cast<long long>(ms(browser_time)),
      static_cast<long long>(ms(fast_time)));
  if (min_share >= 0 && (words.BrowserShare() < min_share || words.FastShare() < min_share)) {
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    return vellumark::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "loader_agreement: %s\n", e.what());
    return 2;
  }
}
