// The page loader settings: what a settings file's lines give (bad values give the defaults) and
// that what the options window and the location dialog write reads back the same.
#include <gtest/gtest.h>

#include <fstream>

#include "indexer/loader_settings.h"
#include "util/inifile.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

TEST(LoaderSettings, ReadFromTheSettingsFile) {
  struct Case {
    const char* lines;  // the settings file
    LoaderKind kind;    // for location 3
    int requests;
    bool robots;
  };
  const Case cases[] = {
      {"", LoaderKind::kBrowser, 4, true},
      {"[Options]\nDefaultLoader=fast\nRequestsInFlight=16\nObeyRobots=FALSE\n", LoaderKind::kFast,
       16, false},
      {"[Options]\nDefaultLoader= Fast \nObeyRobots=false\n", LoaderKind::kFast, 4, false},
      // The location's own choice wins over the default for new locations.
      {"[Options]\nDefaultLoader=fast\n[LocationLoader]\n3=browser\n", LoaderKind::kBrowser, 4,
       true},
      {"[LocationLoader]\n3=fast\n4=browser\n", LoaderKind::kFast, 4, true},
      // Bad values: the defaults (a bad own choice falls back to the default for new ones).
      {"[Options]\nDefaultLoader=fast\n[LocationLoader]\n3=chrome\n", LoaderKind::kFast, 4, true},
      {"[Options]\nDefaultLoader=wget\nRequestsInFlight=0\nObeyRobots=maybe\n",
       LoaderKind::kBrowser, 4, true},
      {"[Options]\nRequestsInFlight=17\n", LoaderKind::kBrowser, 4, true},
      {"[Options]\nRequestsInFlight=-3\n", LoaderKind::kBrowser, 4, true},
      {"[Options]\nRequestsInFlight=lots\n", LoaderKind::kBrowser, 4, true},
      {"[Options]\nRequestsInFlight=1\n", LoaderKind::kBrowser, 1, true},
  };
  testing::TempFolder dir;
  for (const Case& c : cases) {
    const std::string file = dir.path() + "vellumark.ini";
    std::ofstream(file, std::ios::trunc) << c.lines;
    TPIniFile settings(file);
    const LoaderSettings got = ReadLoaderSettings(settings, 3);
    EXPECT_EQ(got.kind, c.kind) << c.lines;
    EXPECT_EQ(got.requests_in_flight, c.requests) << c.lines;
    EXPECT_EQ(got.obey_robots, c.robots) << c.lines;
  }
}

TEST(LoaderSettings, WrittenValuesReadBack) {
  testing::TempFolder dir;
  TPIniFile settings(dir.path() + "vellumark.ini");
  for (const LoaderSettings options : {LoaderSettings{LoaderKind::kFast, 1, false},
                                       LoaderSettings{LoaderKind::kBrowser, 16, true}}) {
    WriteLoaderOptions(settings, options);
    const LoaderSettings got = ReadLoaderOptions(settings);
    EXPECT_EQ(got.kind, options.kind);
    EXPECT_EQ(got.requests_in_flight, options.requests_in_flight);
    EXPECT_EQ(got.obey_robots, options.obey_robots);
  }
  WriteLoaderOptions(settings, {LoaderKind::kBrowser, 40, true});  // kept within 1..16
  EXPECT_EQ(ReadLoaderOptions(settings).requests_in_flight, kMaxRequestsInFlight);

  WriteLocationLoader(settings, 7, LoaderKind::kFast);
  EXPECT_EQ(ReadLocationLoader(settings, 7), LoaderKind::kFast);
  EXPECT_EQ(ReadLoaderSettings(settings, 7).kind, LoaderKind::kFast);
  EXPECT_EQ(ReadLocationLoader(settings, 8), std::nullopt);
  EraseLocationLoader(settings, 7);
  EXPECT_EQ(ReadLocationLoader(settings, 7), std::nullopt);
}

}  // namespace
}  // namespace vellumark
