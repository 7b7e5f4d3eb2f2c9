// New, Edit and Delete of locations over a real Tasks table, with scripted dialogs, and the
// location dialog's browser buttons.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

#include "indexer/location_commands.h"
#include "store/data_module.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "util/inifile.h"
#include "util/settings_names.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

// Answers each Execute from a script: the texts the user leaves and whether OK was pressed.
struct ScriptedLocationDialog final : LocationDialog {
  struct Answer {
    bool ok;
    std::string url, description;
    std::optional<LoaderKind> loader = std::nullopt;  // unset: the check box as offered
  };
  bool Execute(const std::string& caption, std::string& url, std::string& description,
               LoaderKind& loader) override {
    shown.push_back({caption, url, description});
    loaders_shown.push_back(loader);
    if (answers.empty()) return false;
    Answer a = answers.front();
    answers.pop_front();
    if (a.ok) {
      url = a.url;
      description = a.description;
      if (a.loader) loader = *a.loader;
    }
    return a.ok;
  }
  std::deque<Answer> answers;
  std::vector<std::array<std::string, 3>> shown;  // caption, url, description offered
  std::vector<LoaderKind> loaders_shown;
};

class Locations : public ::testing::Test {
 protected:
  void SetUp() override {
    context.db_root_folder = dir.path();
    context.program_folder = dir.path();
    data = std::make_unique<TdmKiv>(context, dialogs, [this] { ++captions; });
    commands = std::make_unique<TLocationCommands>(*data, dialogs, [this] { ++captions; });
  }
  void TearDown() override {
    commands.reset();
    data.reset();
  }
  std::string Url() { return data->tbTasks.FieldByName("Task_URL").AsString(); }
  std::string Description() { return data->tbTasks.FieldByName("Task_Description").AsString(); }

  testing::TempFolder dir;
  ProgramContext context;
  testing::ScriptedDialogs dialogs;
  ScriptedLocationDialog dialog;
  std::unique_ptr<TdmKiv> data;
  std::unique_ptr<TLocationCommands> commands;
  int captions = 0;
};

TEST_F(Locations, NewAddsHttpStoresTheRecordAndCreatesItsFolder) {
  dialog.answers.push_back({true, "127.0.0.1:8080/docs/", "Docs"});
  const int no = commands->bbNewClick(dialog);
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0][0], "Define New Location");
  EXPECT_EQ(dialog.shown[0][1], "http://www.");
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(data->tbTasks.RecordCount(), 1);
  EXPECT_EQ(Url(), "http://127.0.0.1:8080/docs/");
  EXPECT_EQ(Description(), "Docs");
  EXPECT_EQ(no, data->CurrentTaskNo());
  EXPECT_TRUE(std::filesystem::exists(data->LocationFolder(no) + "Index.db"));
  EXPECT_EQ(context.CurrentLocationNumber, no);
  EXPECT_GT(captions, 0);

  // The next New offers what the last one held.
  EXPECT_EQ(commands->bbNewClick(dialog), -1);  // cancelled
  EXPECT_EQ(commands->RememberedURL(), "http://127.0.0.1:8080/docs/");
  EXPECT_EQ(dialog.shown[1][1], "http://127.0.0.1:8080/docs/");
  EXPECT_EQ(dialog.shown[1][2], "Docs");
  EXPECT_EQ(data->tbTasks.RecordCount(), 1);  // cancelled
}

TEST_F(Locations, NewRefusesTheBareSchemeAndRemembersIt) {
  dialog.answers.push_back({true, "", "nothing"});
  dialog.answers.push_back({true, "http://www.", "www"});
  EXPECT_EQ(commands->bbNewClick(dialog), -1);
  EXPECT_EQ(commands->bbNewClick(dialog), -1);
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"URL Location 'http://' not valid.",
                                                       "URL Location 'http://www.' not valid."}));
  EXPECT_EQ(dialogs.messages[0].kind, MessageKind::kError);
  EXPECT_EQ(data->tbTasks.RecordCount(), 0);
  commands->bbNewClick(dialog);
  EXPECT_EQ(dialog.shown[1][1], "http://");  // the refused text stays remembered
  EXPECT_EQ(dialog.shown[2][1], "http://www.");
  EXPECT_EQ(dialog.shown[2][2], "www");
}

TEST_F(Locations, NewWhoseFolderCannotBeMadeDeletesTheRecordAgain) {
  // A file where the location folder should go.
  std::ofstream(dir.path() + "1") << "in the way";
  dialog.answers.push_back({true, "http://h/", ""});
  EXPECT_EQ(commands->bbNewClick(dialog), -1);
  EXPECT_EQ(data->tbTasks.RecordCount(), 0);
  EXPECT_EQ(dialogs.Texts(),
            std::vector<std::string>{"Cannot create database in directory '" + dir.path() + "1/'"});
  EXPECT_EQ(context.CurrentLocationNumber, -1);
}

TEST_F(Locations, EditOnAnEmptyTableActsAsNewAndOtherwiseChangesTheRecord) {
  dialog.answers.push_back({true, "site.example", "S"});
  EXPECT_TRUE(commands->bbEditClick(dialog));
  EXPECT_EQ(dialog.shown[0][0], "Define New Location");
  EXPECT_EQ(Url(), "http://site.example");

  dialog.answers.push_back({true, "http://", "bare"});  // accepted by Edit
  EXPECT_TRUE(commands->bbEditClick(dialog));
  EXPECT_EQ(dialog.shown[1][0], "Edit Location");
  EXPECT_EQ(dialog.shown[1][1], "http://site.example");
  EXPECT_EQ(dialog.shown[1][2], "S");
  EXPECT_EQ(Url(), "http://");
  EXPECT_EQ(Description(), "bare");

  dialog.answers.push_back({true, "", "x"});
  dialog.answers.push_back({true, "http://www.", "y"});
  EXPECT_FALSE(commands->bbEditClick(dialog));
  EXPECT_FALSE(commands->bbEditClick(dialog));
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"URL Location '' not valid.",
                                                       "URL Location 'http://www.' not valid."}));
  EXPECT_EQ(Description(), "bare");
  EXPECT_EQ(data->tbTasks.RecordCount(), 1);
}

TEST_F(Locations, DeleteAsksByNameAndRemovesTheFolder) {
  EXPECT_FALSE(commands->bbDeleteClick());
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"No tasks do delete."});
  EXPECT_EQ(dialogs.messages[0].kind, MessageKind::kInformation);

  dialog.answers.push_back({true, "http://a/", ""});
  dialog.answers.push_back({true, "http://b/", "Bee"});
  commands->bbNewClick(dialog);
  commands->bbNewClick(dialog);
  const int b = data->CurrentTaskNo();
  const std::string folder = data->LocationFolder(b);
  ASSERT_TRUE(std::filesystem::exists(folder));

  dialogs.answers.push_back(kButtonNo);
  EXPECT_FALSE(commands->bbDeleteClick());
  EXPECT_EQ(dialogs.messages.back().text, "Do you wish to delete task 'Bee'?");
  EXPECT_EQ(dialogs.messages.back().buttons, kYesNo);
  EXPECT_EQ(data->tbTasks.RecordCount(), 2);

  dialogs.answers.push_back(kButtonYes);
  EXPECT_TRUE(commands->bbDeleteClick());
  EXPECT_EQ(data->tbTasks.RecordCount(), 1);
  EXPECT_FALSE(std::filesystem::exists(folder));

  data->tbTasks.First();
  dialogs.answers.push_back(kButtonYes);
  commands->bbDeleteClick();  // no description: named by its URL
  EXPECT_EQ(dialogs.messages.back().text, "Do you wish to delete task 'http://a/'?");
  EXPECT_EQ(data->tbTasks.RecordCount(), 0);
  EXPECT_EQ(context.CurrentLocationNumber, -1);
}

TEST_F(Locations, DeleteOfAFolderMovedElsewhereRemovesOnlyTheLink) {
  // The user moved the location's folder to another disk and left a link in its place.
  namespace fs = std::filesystem;
  dialog.answers.push_back({true, "http://a/", ""});
  const int no = commands->bbNewClick(dialog);
  const std::string link = dir.path() + std::to_string(no);
  const std::string moved = dir.path() + "elsewhere";
  data->dbKiv.Disconnect();
  fs::rename(link, moved);
  fs::create_directory_symlink(moved, link);
  std::ofstream(moved + "/notes.txt") << "mine";
  ASSERT_TRUE(data->OpenLocation(data->LocationFolder(no)));  // the database is open through it
  dialogs.answers.push_back(kButtonYes);
  EXPECT_TRUE(commands->bbDeleteClick());
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_TRUE(fs::exists(moved + "/Index.db"));
  EXPECT_TRUE(fs::exists(moved + "/notes.txt"));
}

// The loader check box: New offers the options' default and keeps the choice, Edit offers the
// location's own, Delete forgets it (a later location may get the same number).
TEST_F(Locations, LoaderChoiceIsKeptPerLocationInTheSettings) {
  TPIniFile settings(dir.path() + "vellumark.ini");
  context.settings = &settings;
  settings.WriteString(kDefaultLoaderSetting, "fast");
  dialog.answers.push_back({true, "http://a/", "A"});
  dialog.answers.push_back({true, "http://b/", "B", LoaderKind::kBrowser});
  const int a = commands->bbNewClick(dialog);
  const int b = commands->bbNewClick(dialog);
  EXPECT_EQ(dialog.loaders_shown, (std::vector{LoaderKind::kFast, LoaderKind::kFast}));
  EXPECT_EQ(ReadLocationLoader(settings, a), LoaderKind::kFast);
  EXPECT_EQ(ReadLocationLoader(settings, b), LoaderKind::kBrowser);

  dialog.answers.push_back({true, "http://b/", "B", LoaderKind::kFast});
  EXPECT_TRUE(commands->bbEditClick(dialog));  // b is current
  EXPECT_EQ(dialog.loaders_shown.back(), LoaderKind::kBrowser);
  EXPECT_EQ(ReadLocationLoader(settings, b), LoaderKind::kFast);

  dialogs.answers.push_back(kButtonYes);
  EXPECT_TRUE(commands->bbDeleteClick());
  EXPECT_FALSE(settings.ValueExists(kLocationLoaderSection, std::to_string(b)));
  EXPECT_TRUE(settings.ValueExists(kLocationLoaderSection, std::to_string(a)));
  context.settings = nullptr;
}

TEST(LocationDialog, BrowserButtonsReportTheirFailures) {
  testing::ScriptedDialogs dialogs;
  testing::FakeBrowser browser;
  btBrowseClick(&browser, dialogs);
  EXPECT_TRUE(browser.Visible());
  browser.Navigate("http://shown/page.html");
  std::string url = "old";
  btGetUrlClick(&browser, dialogs, url);
  EXPECT_EQ(url, "http://shown/page.html");
  EXPECT_TRUE(dialogs.messages.empty());

  browser.fail_next = true;
  btBrowseClick(&browser, dialogs);
  browser.fail_next = true;
  btGetUrlClick(&browser, dialogs, url);
  btGetUrlClick(nullptr, dialogs, url);
  EXPECT_EQ(url, "http://shown/page.html");
  EXPECT_EQ(dialogs.Texts(),
            (std::vector<std::string>{"Cannot find IE.", "Cannot get current IE URL.",
                                      "Cannot get current IE URL."}));
}

}  // namespace
}  // namespace vellumark
