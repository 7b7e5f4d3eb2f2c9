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

inline constexpr int kMinRequestsInFlight = 1;
inline constexpr int kMaxRequestsInFlight = 16;

struct LoaderSettings {
  LoaderKind kind = LoaderKind::kBrowser;
  int requests_in_flight = 4;  // the fast loader's requests at a time, and per host
  bool obey_robots = true;     // honour the site's robots.txt
};

// The settings for indexing location `task_no`: its own loader choice when it has one, else
// the default for new locations; the program-wide fetch options. Missing or unreadable
// values give the defaults above.
LoaderSettings ReadLoaderSettings(const TPIniFile& settings, int task_no);

// The program-wide values the options window shows: `kind` is the default for new locations.
// Missing or unreadable values give the defaults of LoaderSettings.
LoaderSettings ReadLoaderOptions(const TPIniFile& settings);
// Writes all three; a number of requests outside 1..16 is written as the nearest bound.
// Throws EIniFileException when the file cannot be written.
void WriteLoaderOptions(TPIniFile& settings, const LoaderSettings& options);

// Location `task_no`'s own choice; nullopt when it has none or the value is not a loader name.
std::optional<LoaderKind> ReadLocationLoader(const TPIniFile& settings, int task_no);
// WriteLocationLoader throws EIniFileException when the file cannot be written.
void WriteLocationLoader(TPIniFile& settings, int task_no, LoaderKind kind);
void EraseLocationLoader(TPIniFile& settings, int task_no);

// "browser" / "fast", as the command-line tool spells them; nullopt for anything else.
std::optional<LoaderKind> LoaderKindFromName(std::string_view name);
std::string_view LoaderKindName(LoaderKind kind);

}  // namespace vellumark
