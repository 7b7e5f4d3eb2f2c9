// Which page loader an indexing run uses, and how the fast loader fetches. The browser loader
// runs a page's scripts, so script-written links and text are found; the fast loader fetches
// with an HTTP library and parses without scripts, at the speed of the network. The choice is
// kept per location in the settings file; the options window holds the default for new
// locations, the number of requests in flight and whether robots.txt is obeyed.
#pragma once

#include <optional>
#include <string_view>

namespace vellumark {

class TPIniFile;

enum class LoaderKind { kBrowser, kFast };

struct LoaderSettings {
  LoaderKind kind = LoaderKind::kBrowser;
  int requests_in_flight = 4;  // the fast loader's requests at a time, and per host
  bool obey_robots = true;     // honour the site's robots.txt
};

// The settings for indexing location `task_no`: its own loader choice when it has one, else
// the default for new locations; the program-wide fetch options. Missing or unreadable
// values give the defaults above.
LoaderSettings ReadLoaderSettings(const TPIniFile& settings, int task_no);

// "browser" / "fast", as the command-line tool spells them; nullopt for anything else.
std::optional<LoaderKind> LoaderKindFromName(std::string_view name);
std::string_view LoaderKindName(LoaderKind kind);

}  // namespace vellumark
