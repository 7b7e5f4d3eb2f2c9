// The search bar's start-up and shutdown over a real root folder, with a fake browser: the
// order of what happens, the location walk, the hot key and the search settings.
#include <gtest/gtest.h>

#include <filesystem>

#include "shell/program_shell.h"
#include "shell/recording_search_bar_view.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_event_pump.h"
#include "util/inifile.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    context.program_folder = context.db_root_folder = dir.path();
    context.settings = &settings;
  }

  // Locations made by an earlier run: their records and folders.
  void AddLocations(const std::vector<std::string>& urls) {
    ProgramContext other;
    other.db_root_folder = dir.path();
    testing::ScriptedDialogs quiet;
    TdmKiv data(other, quiet);
    for (const std::string& url : urls) {
      data.tbTasks.Insert();
      data.tbTasks.FieldByName("Task_URL").SetString(url);
      data.tbTasks.FieldByName("Task_Description").SetString("site " + url);
      data.tbTasks.Post();
      ASSERT_TRUE(data.CreateLocationTables(data.LocationFolder(data.CurrentTaskNo())));
    }
  }

  // Runs FormCreate with a fake browser; `browser_fails` makes its creation throw.
  bool Start(bool browser_fails = false) {
    shell = std::make_unique<ProgramShell>(context, dialogs, pump, bar, desktop);
    desktop.create_browser = [this, browser_fails](const std::string&) -> std::unique_ptr<Browser> {
      view.steps.push_back("browser");
      if (browser_fails) throw BrowserError("no engine");
      auto b = std::make_unique<testing::FakeBrowser>();
      b->busy_polls = 3;
      browser = b.get();
      return b;
    };
    desktop.register_hot_key = [this](int flags, int code) {
      registered.push_back({flags, code});
      return refuse_hot_key == false;
    };
    return shell->FormCreate();
  }

  testing::TempFolder dir;
  TPIniFile settings{dir.path() + "vellumark.ini"};
  ProgramContext context;
  testing::ScriptedDialogs dialogs;
  testing::ScriptedEventPump pump;
  testing::RecordingSearchBarView view;
  testing::ScriptedDesktop desktop;
  SearchBar bar{context, view, dialogs, desktop};
  std::unique_ptr<ProgramShell> shell;
  testing::FakeBrowser* browser = nullptr;
  std::vector<std::string>& steps = view.steps;
  std::vector<std::pair<int, int>> registered;
  bool refuse_hot_key = false;
};

TEST_F(Startup, OpensTheStoredLocationAndShowsItsStartPage) {
  AddLocations({"http://one/", "http://two/"});
  settings.WriteInteger("Folders", "TaskFolder", 2);
  ASSERT_TRUE(Start());
  EXPECT_EQ(steps, (std::vector<std::string>{"placement", "browser"}));
  EXPECT_TRUE(shell->database_open());
  EXPECT_EQ(context.CurrentLocationNumber, 2);
  EXPECT_EQ(view.caption, "KIV: site http://two/");
  EXPECT_TRUE(browser->Visible());
  EXPECT_EQ(browser->navigations, std::vector<std::string>{"http://two/"});
  EXPECT_FALSE(browser->Busy());  // waited until loaded
  EXPECT_TRUE(dialogs.messages.empty());
  ASSERT_NE(shell->http_client(), nullptr);
  EXPECT_EQ(shell->http_client()->TimeOut, 30000);
  EXPECT_EQ(shell->http_client()->ReportLevel, 2);
  EXPECT_FALSE(shell->http_client()->InputFileMode);

  context.CurrentLocationNumber = 1;
  shell->FormDestroy();
  EXPECT_EQ(steps.back(), "save placement");
  EXPECT_EQ(settings.ReadInteger("Folders", "TaskFolder", 0), 1);
  EXPECT_EQ(shell->browser(), nullptr);
}

TEST_F(Startup, AStoredLocationThatCannotOpenFallsBackInTableOrder) {
  AddLocations({"http://one/", "http://two/", "http://three/"});
  std::filesystem::remove_all(dir.path() + "1/");
  std::filesystem::remove_all(dir.path() + "2/");
  settings.WriteInteger("Folders", "TaskFolder", 2);
  ASSERT_TRUE(Start());
  EXPECT_TRUE(shell->database_open());
  EXPECT_EQ(context.CurrentLocationNumber, 3);
  EXPECT_EQ(browser->navigations, std::vector<std::string>{"http://three/"});
  // The failed connections said so on their way.
  for (const std::string& text : dialogs.Texts()) EXPECT_EQ(text, "Cannot connect to Database");
}

TEST_F(Startup, AStoredLocationThatNoLongerExistsOpensNothing) {
  AddLocations({"http://one/"});
  settings.WriteInteger("Folders", "TaskFolder", 7);
  ASSERT_TRUE(Start());
  EXPECT_FALSE(shell->database_open());
  EXPECT_TRUE(browser->navigations.empty());
  EXPECT_TRUE(browser->Visible());
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Startup, NoBrowserEndsTheProgramAndLeavesTaskFolderAlone) {
  settings.WriteInteger("Folders", "TaskFolder", 5);
  EXPECT_FALSE(Start(true));
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{kBrowserStartError});
  EXPECT_EQ(shell->data(), nullptr);
  context.CurrentLocationNumber = 9;
  shell->FormDestroy();
  EXPECT_EQ(settings.ReadInteger("Folders", "TaskFolder", 0), 5);
}

TEST_F(Startup, HotKeyValues) {
  settings.WriteString("Interface", "HotKey", "ctrl/f5");
  ASSERT_TRUE(Start());
  EXPECT_EQ(registered, (std::vector<std::pair<int, int>>{{kModControl, 116}}));
  EXPECT_EQ(bar.hot_key.modifier, "CTRL");
  EXPECT_EQ(bar.hot_key.code, 116);

  for (const char* nothing : {"WIN/F5", "F13", ""}) {
    registered.clear();
    settings.WriteString("Interface", "HotKey", nothing);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(registered.empty()) << nothing;
  }
  settings.WriteString("Interface", "HotKey", "x");
  ASSERT_TRUE(Start());
  EXPECT_EQ(registered, (std::vector<std::pair<int, int>>{{kModNone, 88}}));

  refuse_hot_key = true;
  settings.WriteString("Interface", "HotKey", "ALT/K");
  ASSERT_TRUE(Start());
  EXPECT_EQ(bar.hot_key.code, 0);
}

TEST_F(Startup, SearchSettingsTakeOnlyExactValues) {
  settings.WriteString("Options", "Included", "true");
  settings.WriteString("Options", "SearchOptions", "Exact Phrase");
  ASSERT_TRUE(Start());
  EXPECT_TRUE(view.sub_word);
  EXPECT_EQ(view.mode, "Exact Phrase");
  EXPECT_EQ(bar.search_mode, smExactPhrase);

  view.mode = "Any Words";
  bar.search_mode = smAnyWords;
  settings.WriteString("Options", "Included", "yes");
  settings.WriteString("Options", "SearchOptions", "all words");
  context.FindActive = true;
  ASSERT_TRUE(Start());
  EXPECT_FALSE(view.sub_word);
  EXPECT_EQ(view.mode, "Any Words");
  EXPECT_EQ(bar.search_mode, smAnyWords);
  EXPECT_FALSE(context.FindActive);
}

TEST_F(Startup, TrustedAuthoritiesReachTheClientAndAreKnownBeforeTheBrowser) {
  std::string seen_by_browser = "not asked";
  ASSERT_TRUE(Start());
  EXPECT_EQ(shell->trusted_ca_file(), "");
  EXPECT_EQ(shell->http_client()->TrustedCAFile, "");

  settings.WriteString("Options", "TrustedCA", "certs/intranet.pem");
  shell = std::make_unique<ProgramShell>(context, dialogs, pump, bar, desktop);
  desktop.create_browser = [&](const std::string& trusted_ca_file) -> std::unique_ptr<Browser> {
    seen_by_browser = trusted_ca_file;
    return std::make_unique<testing::FakeBrowser>();
  };
  ASSERT_TRUE(shell->FormCreate());
  EXPECT_EQ(seen_by_browser, dir.path() + "certs/intranet.pem");
  EXPECT_EQ(shell->http_client()->TrustedCAFile, dir.path() + "certs/intranet.pem");

  settings.WriteString("Options", "TrustedCA", "/etc/intranet/ca.pem");
  ASSERT_TRUE(Start());
  EXPECT_EQ(shell->http_client()->TrustedCAFile, "/etc/intranet/ca.pem");
}

}  // namespace
}  // namespace vellumark
