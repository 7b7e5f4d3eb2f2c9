#include "util/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "util/temp_folder.h"

namespace vellumark {
namespace {

using testing::TempFolder;

TEST(ProgramFolderOf, CutsInFrontOfABinComponentAboveThePathStart) {
  EXPECT_EQ(ProgramFolderOf("/opt/search/bin/vellumark"), "/opt/search/");
  EXPECT_EQ(ProgramFolderOf("/opt/search/BiN/vellumark"), "/opt/search/");
  EXPECT_EQ(ProgramFolderOf("/work/build/bin/vellumark"), "/work/build/");
  EXPECT_EQ(ProgramFolderOf("/a/bin/x/bin/vellumark"), "/a/");  // the first one counts
  EXPECT_EQ(ProgramFolderOf("/bin/vellumark"), "/bin/");        // at position 1: not cut
  EXPECT_EQ(ProgramFolderOf("/bin/a/bin/vellumark"), "/bin/a/bin/");
  EXPECT_EQ(ProgramFolderOf("/opt/binaries/vellumark"), "/opt/binaries/");
  EXPECT_EQ(ProgramFolderOf("/opt/sbin/vellumark"), "/opt/sbin/");
  EXPECT_EQ(ProgramFolderOf("/opt/vm/vellumark"), "/opt/vm/");
}

TEST(SettingsFileName, ProgramFileNameWithTheIniExtension) {
  EXPECT_EQ(SettingsFileName("/p/", "/p/bin/vellumark"), "/p/vellumark.ini");
  EXPECT_EQ(SettingsFileName("/p", "/x/vellumark.exe"), "/p/vellumark.ini");
}

TEST(FindProgramFolder, HomeVariableWinsAndIsCreated) {
  TempFolder dir;
  StartupEnvironment env;
  env.executable_path = dir.path() + "build/bin/vellumark";
  env.vellumark_home = dir.path() + "home";  // no trailing slash
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "home/");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "home"));
  env.vellumark_home = "";  // empty counts as unset
  std::filesystem::create_directories(dir.path() + "build/bin");
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "build/");
}

TEST(FindProgramFolder, FallsBackToTheUserDataFolderWhenNotWritable) {
  TempFolder dir;
  StartupEnvironment env;
  env.executable_path = dir.path() + "missing/bin/vellumark";  // a folder that cannot be used
  env.xdg_data_home = dir.path() + "data";
  env.home = dir.path() + "home";
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "data/vellumark/");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "data/vellumark"));
  env.xdg_data_home = "relative/data";  // not absolute: ignored
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "home/.local/share/vellumark/");
  env.xdg_data_home.reset();
  env.home.reset();
  EXPECT_THROW(FindProgramFolder(env), EStartupError);
}

TEST(FindProgramFolder, ReadOnlyProgramFolderFallsBack) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write to any folder";
  TempFolder dir;
  std::filesystem::create_directories(dir.path() + "sys/bin");
  std::filesystem::permissions(
      dir.path() + "sys", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  StartupEnvironment env;
  env.executable_path = dir.path() + "sys/bin/vellumark";
  env.xdg_data_home = dir.path() + "data";
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "data/vellumark/");
  std::filesystem::permissions(dir.path() + "sys", std::filesystem::perms::owner_all);
}

// An installed program (share/vellumark/ beside its bin/) keeps its settings and tables in the
// user's data folder even where it could write beside its binaries (as root, or in a staging
// folder).
TEST(FindProgramFolder, AnInstalledProgramWritesNothingBesideItsBinaries) {
  TempFolder dir;
  std::filesystem::create_directories(dir.path() + "usr/bin");
  StartupEnvironment env;
  env.executable_path = dir.path() + "usr/bin/vellumark";
  env.xdg_data_home = dir.path() + "data";
  EXPECT_EQ(ShippedFolderOf(env.executable_path), "");
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "usr/");
  std::filesystem::create_directories(dir.path() + "usr/share/vellumark");
  EXPECT_EQ(ShippedFolderOf(env.executable_path), dir.path() + "usr/share/vellumark/");
  EXPECT_EQ(FindProgramFolder(env), dir.path() + "data/vellumark/");
}

TEST(DatabaseRootFolder, EmptyIsTheProgramFolderAndASlashIsAdded) {
  TempFolder dir;
  TPIniFile ini(dir.path() + "vellumark.ini");
  EXPECT_EQ(DatabaseRootFolder(ini, "/prog/"), "/prog/");
  ini.WriteString("Folders", "DBFolder", "/data/index");
  EXPECT_EQ(DatabaseRootFolder(ini, "/prog/"), "/data/index/");
  ini.WriteString("Folders", "DBFolder", "  \"/data/index/\"  ");
  EXPECT_EQ(DatabaseRootFolder(ini, "/prog/"), "/data/index/");
  ini.WriteString("Folders", "DBFolder", "db/../tables");
  EXPECT_EQ(DatabaseRootFolder(ini, "/prog/"), "/prog/tables/");
}

// Restores the process's current directory, which StartUnit changes.
class StartUnitTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(saved_); }
  std::filesystem::path saved_;
};

TEST_F(StartUnitTest, FillsTheContextAndMakesTheProgramFolderCurrent) {
  TempFolder dir;
  std::filesystem::create_directories(dir.path() + "Bin");
  dir.Write("vellumark.ini", "[Folders]\nDBFolder=tables\n");
  StartupEnvironment env;
  env.executable_path = dir.path() + "Bin/vellumark";
  ProgramContext context;
  std::unique_ptr<TPIniFile> settings = StartUnit(env, context);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(context.settings, settings.get());
  EXPECT_EQ(context.program_folder, dir.path());
  EXPECT_EQ(settings->FileName(), dir.path() + "vellumark.ini");
  EXPECT_EQ(context.db_root_folder, dir.path() + "tables/");
  EXPECT_EQ(std::filesystem::current_path().string() + "/",
            std::filesystem::canonical(dir.path()).string() + "/");
}

}  // namespace
}  // namespace vellumark
