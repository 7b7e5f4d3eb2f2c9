// The fast loader's speed: parsing a documentation-like page (MB/s), and loading a generated
// site of such pages from a loopback server with 1, 2 and 4 requests in flight, fetching alone
// and fetching with parsing, with pages answered at once or after 10 ms (a server across a
// network). Baseline: `wget -r -l inf -np` on the same server in the same process run
// (fetching and link parsing only, what any crawler of the site pays).
//
// The site (fixed seed): --pages pages (default 200) of 80 to 120 KB under /docs/, each with a
// side bar of links to every section, a shared stylesheet and two shared scripts, paragraphs,
// a table and a code block, previous / next links and ten links across the site.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "indexer/fast_loader.h"
#include "indexer/html_page.h"
#include "indexer/page_server.h"
#include "indexer/page_text.h"
#include "support/scripted_event_pump.h"

namespace vellumark {
namespace {

constexpr std::uint64_t kSeed = 20261208;
int g_pages = 200;

struct Site {
  testing::PageServer server;
  std::vector<std::string> paths;
  std::vector<std::string> urls;
  std::vector<std::string> bodies;
  std::size_t bytes = 0;
  int latency_ms = 0;

  // Every page answers after `ms` milliseconds, as a server across a network would.
  void SetLatency(int ms) {
    if (ms == latency_ms) return;
    latency_ms = ms;
    for (std::size_t i = 0; i < paths.size(); ++i) {
      server.Set(paths[i], testing::Route::Html(bodies[i]).Delay(ms));
    }
  }
};

std::vector<std::string> Vocabulary(std::mt19937_64& rng) {
  std::normal_distribution<double> length(6, 2.5);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::vector<std::string> words;
  for (int i = 0; i < 6000; ++i) {
    const int n = std::clamp(static_cast<int>(length(rng)), 2, 14);
    std::string w;
    for (int k = 0; k < n; ++k) w += static_cast<char>(letter(rng));
    words.push_back(w);
  }
  return words;
}

Site& TheSite() {
  static Site* site = [] {
    auto* s = new Site;
    std::mt19937_64 rng(kSeed);
    const std::vector<std::string> vocab = Vocabulary(rng);
    std::vector<double> weights;
    for (std::size_t i = 0; i < vocab.size(); ++i) weights.push_back(1.0 / (i + 1));
    std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
    auto words = [&](int n) {
      std::string text;
      for (int i = 0; i < n; ++i) text += (i ? " " : "") + vocab[pick(rng)];
      return text;
    };
    std::vector<std::string> names;
    for (int i = 0; i < g_pages; ++i) {
      names.push_back("sec" + std::to_string(i % 20) + "/page" + std::to_string(i) + ".html");
    }
    std::string sidebar = "<nav class='sidebar'><ul>";
    for (int i = 0; i < std::min(g_pages, 150); ++i) {
      sidebar += "<li><a href='/docs/" + names[i] + "'>" + words(3) + "</a></li>";
    }
    sidebar += "</ul></nav>";
    std::uniform_int_distribution<int> size(80000, 120000);
    std::uniform_int_distribution<int> any(0, g_pages - 1);
    for (int i = 0; i < g_pages; ++i) {
      std::string html =
          "<!DOCTYPE html><html><head><meta charset='utf-8'><title>" + words(5) +
          "</title><link rel='stylesheet' href='/docs/static/site.css'>"
          "<script src='/docs/static/app.js'></script><script src='/docs/static/search.js'>"
          "</script></head><body><header><a href='/docs/'>Home</a></header>" +
          sidebar + "<main><h1>" + words(6) + "</h1>";
      const std::size_t target = static_cast<std::size_t>(size(rng));
      int para = 0;
      while (html.size() < target) {
        html += "<p>" + words(60) + " <a href='/docs/" + names[any(rng)] + "'>" + words(2) +
                "</a> <code>" + words(1) + "()</code> " + words(40) + ".</p>";
        if (++para % 8 == 0) {
          html += "<table><tr><th>Name</th><th>Value</th></tr><tr><td>" + words(2) + "</td><td>" +
                  words(4) + "</td></tr></table><pre><code>" + words(20) + "\n" + words(20) +
                  "</code></pre>";
        }
      }
      html += "</main><footer>";
      if (i > 0) html += "<a href='/docs/" + names[i - 1] + "'>Previous</a> ";
      if (i + 1 < g_pages) html += "<a href='/docs/" + names[i + 1] + "'>Next</a>";
      html += "</footer></body></html>";
      s->server.Set("/docs/" + names[i], testing::Route::Html(html));
      s->paths.push_back("/docs/" + names[i]);
      s->urls.push_back(s->server.Origin() + "/docs/" + names[i]);
      s->bytes += html.size();
      s->bodies.push_back(std::move(html));
    }
    s->server.Set("/docs/", testing::Route::Html("<a href='/docs/" + names[0] + "'>Start</a>"));
    s->server.Set("/docs/static/site.css",
                  testing::Route::Html(std::string(30000, ' ')).Type("text/css"));
    s->server.Set("/docs/static/app.js",
                  testing::Route::Html(std::string(60000, ';')).Type("application/javascript"));
    s->server.Set("/docs/static/search.js",
                  testing::Route::Html(std::string(20000, ';')).Type("application/javascript"));
    return s;
  }();
  return *site;
}

void BM_ParsePage(benchmark::State& state) {
  Site& site = TheSite();
  std::size_t i = 0;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    const std::string& body = site.bodies[i++ % site.bodies.size()];
    benchmark::DoNotOptimize(ParseHtmlPage(body, "text/html", site.urls[0]));
    bytes += static_cast<std::int64_t>(body.size());
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParsePage)->Unit(benchmark::kMillisecond);

// What a reading thread does after the parse: the page's words in word list order, page after
// page of the site (the sort keys of words met on earlier pages are remembered).
void BM_PageWords(benchmark::State& state) {
  Site& site = TheSite();
  std::vector<std::string> texts;
  for (const std::string& body : site.bodies) {
    texts.push_back(LowerPageText(ParseHtmlPage(body, "text/html", site.urls[0]).text));
  }
  std::size_t i = 0;
  std::vector<std::string> words;
  for (auto _ : state) {
    SplitPageWords(texts[i++ % texts.size()], U" \t\n\r,.;:!?()[]{}<>\"'", words);
    benchmark::DoNotOptimize(words.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PageWords)->Unit(benchmark::kMicrosecond);

// Every page of the site through MultiFetcher alone: the network side.
void BM_FetchSite(benchmark::State& state) {
  Site& site = TheSite();
  site.SetLatency(static_cast<int>(state.range(1)));
  testing::ScriptedEventPump pump;
  for (auto _ : state) {
    FetchOptions options;
    options.max_in_flight = static_cast<int>(state.range(0));
    options.max_per_host = options.max_in_flight;
    MultiFetcher fetcher(pump, options);
    std::vector<MultiFetcher::Id> ids;
    for (const std::string& url : site.urls) ids.push_back(fetcher.Start(url));
    std::size_t done = 0;
    for (MultiFetcher::Id id : ids) {
      fetcher.WaitUntil([&] { return fetcher.Done(id); }, {});
      done += fetcher.Take(id).body.size();
    }
    if (done != site.bytes) state.SkipWithError("a page did not arrive whole");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * site.bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * site.urls.size()));
}
BENCHMARK(BM_FetchSite)
    ->ArgsProduct({{1, 2, 4}, {0, 10}})
    ->ArgNames({"in_flight", "latency_ms"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every page through the fast loader as the page loop will use it: pages started ahead, taken
// and parsed in order.
void BM_LoadSite(benchmark::State& state) {
  Site& site = TheSite();
  site.SetLatency(static_cast<int>(state.range(1)));
  testing::ScriptedEventPump pump;
  for (auto _ : state) {
    FastLoaderOptions options;
    options.fetch.max_in_flight = static_cast<int>(state.range(0));
    options.fetch.max_per_host = options.fetch.max_in_flight;
    FastLoader loader(pump, options);
    std::size_t text = 0;
    for (std::size_t i = 0; i < site.urls.size(); ++i) {
      for (std::size_t k = i; k < site.urls.size() && k <= i + loader.LoadAhead(); ++k) {
        loader.Start(site.urls[k]);
      }
      const std::optional<LoadedPage> page = loader.Take(site.urls[i], {});
      if (!page || page->text.empty()) state.SkipWithError("a page did not load");
      text += page ? page->text.size() : 0;
    }
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * site.bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * site.urls.size()));
}
BENCHMARK(BM_LoadSite)
    ->ArgsProduct({{1, 2, 4}, {0, 10}})
    ->ArgNames({"in_flight", "latency_ms"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Baseline: wget's recursive fetch of the same site from the same server.
void BM_WgetSite(benchmark::State& state) {
  Site& site = TheSite();
  site.SetLatency(static_cast<int>(state.range(0)));
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vm_wget_bench";
  const std::string command = "wget -q -r -l inf -np -P " + dir.string() + " " +
                              site.server.Origin() + "/docs/ > /dev/null 2>&1";
  for (auto _ : state) {
    std::filesystem::remove_all(dir);
    if (std::system(command.c_str()) != 0) state.SkipWithError("wget failed (is it installed?)");
  }
  std::filesystem::remove_all(dir);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * site.urls.size()));
}
BENCHMARK(BM_WgetSite)
    ->Arg(0)
    ->Arg(10)
    ->ArgNames({"latency_ms"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace vellumark

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--pages=")) {
      vellumark::g_pages = std::max(2, std::atoi(arg.c_str() + 8));
    } else {
      args.push_back(argv[i]);
    }
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
