#include "indexer/loader_settings.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "util/inifile.h"
#include "util/settings_names.h"

namespace vellumark {

namespace {

// Settings are edited by hand too: names are taken in any case of the letters.
std::optional<LoaderKind> LoaderKindFromSetting(std::string value) {
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return LoaderKindFromName(value);
}

std::string TaskKey(int task_no) { return std::to_string(task_no); }

}  // namespace

LoaderSettings ReadLoaderOptions(const TPIniFile& settings) {
  LoaderSettings options;
  options.kind =
      LoaderKindFromSetting(settings.ReadString(kDefaultLoaderSetting, "")).value_or(options.kind);
  const int requests = settings.ReadInteger(kRequestsInFlightSetting, options.requests_in_flight);
  if (requests >= kMinRequestsInFlight && requests <= kMaxRequestsInFlight) {
    options.requests_in_flight = requests;
  }
  std::string robots = settings.ReadString(kObeyRobotsSetting, "");
  std::transform(robots.begin(), robots.end(), robots.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (robots == "FALSE") options.obey_robots = false;
  if (robots == "TRUE") options.obey_robots = true;
  return options;
}

void WriteLoaderOptions(TPIniFile& settings, const LoaderSettings& options) {
  settings.WriteString(kDefaultLoaderSetting, LoaderKindName(options.kind));
  settings.WriteInteger(
      kRequestsInFlightSetting,
      std::clamp(options.requests_in_flight, kMinRequestsInFlight, kMaxRequestsInFlight));
  settings.WriteString(kObeyRobotsSetting, options.obey_robots ? "TRUE" : "FALSE");
}

std::optional<LoaderKind> ReadLocationLoader(const TPIniFile& settings, int task_no) {
  return LoaderKindFromSetting(settings.ReadString(kLocationLoaderSection, TaskKey(task_no), ""));
}

void WriteLocationLoader(TPIniFile& settings, int task_no, LoaderKind kind) {
  settings.WriteString(kLocationLoaderSection, TaskKey(task_no), LoaderKindName(kind));
}

void EraseLocationLoader(TPIniFile& settings, int task_no) {
  settings.DeleteKey(kLocationLoaderSection, TaskKey(task_no));
}

LoaderSettings ReadLoaderSettings(const TPIniFile& settings, int task_no) {
  LoaderSettings result = ReadLoaderOptions(settings);
  if (auto own = ReadLocationLoader(settings, task_no)) result.kind = *own;
  return result;
}

std::optional<LoaderKind> LoaderKindFromName(std::string_view name) {
  if (name == "browser") return LoaderKind::kBrowser;
  if (name == "fast") return LoaderKind::kFast;
  return std::nullopt;
}

std::string_view LoaderKindName(LoaderKind kind) {
  return kind == LoaderKind::kFast ? "fast" : "browser";
}

}  // namespace vellumark
