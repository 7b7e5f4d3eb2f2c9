#include "util/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "util/temp_folder.h"

namespace vellumark {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// dir/loc/ with two files and a sub-folder holding a file and an empty folder.
std::string MakeTree(const TempFolder& dir) {
  fs::create_directories(dir.path() + "loc/sub/empty");
  dir.Write("loc/Index.db", "x");
  dir.Write("loc/.hidden", "x");
  dir.Write("loc/sub/f", "x");
  return dir.path() + "loc/";
}

TEST(ClearFolder, DeletesFilesAndWithRecursionSubFolders) {
  TempFolder dir;
  const std::string loc = MakeTree(dir);
  EXPECT_TRUE(ClearFolder(loc, false));
  EXPECT_FALSE(fs::exists(loc + "Index.db"));
  EXPECT_FALSE(fs::exists(loc + ".hidden"));
  EXPECT_TRUE(fs::exists(loc + "sub/f"));  // folders are left without recursion

  EXPECT_TRUE(ClearFolder(dir.path() + "loc", true));  // the trailing "/" is optional
  EXPECT_TRUE(fs::is_directory(loc));
  EXPECT_TRUE(fs::is_empty(loc));
}

TEST(ClearFolder, MissingFolderIsSuccessAndAFileIsNotAFolder) {
  TempFolder dir;
  EXPECT_TRUE(ClearFolder(dir.path() + "none/", true));
  dir.Write("plain", "x");
  EXPECT_FALSE(ClearFolder(dir.path() + "plain", true));
  EXPECT_TRUE(fs::exists(dir.path() + "plain"));
}

TEST(RemoveFolder, RemovesTheWholeTree) {
  TempFolder dir;
  const std::string loc = MakeTree(dir);
  EXPECT_TRUE(RemoveFolder(loc));
  EXPECT_FALSE(fs::exists(loc));
  EXPECT_TRUE(RemoveFolder(loc));  // already gone
  EXPECT_TRUE(fs::is_directory(dir.path()));
}

TEST(RemoveFolder, NeverFollowsALinkOutOfTheFolder) {
  TempFolder dir;
  const std::string loc = MakeTree(dir);
  fs::create_directories(dir.path() + "outside");
  dir.Write("outside/keep", "x");
  fs::create_directory_symlink(dir.path() + "outside", loc + "sub/link");
  fs::create_symlink(dir.path() + "outside/keep", loc + "filelink");
  EXPECT_TRUE(RemoveFolder(loc));
  EXPECT_FALSE(fs::exists(loc));
  EXPECT_TRUE(fs::exists(dir.path() + "outside/keep"));
}

TEST(RemoveFolder, AFolderThatIsALinkLosesOnlyTheLink) {
  // A location folder moved to another disk, with a link left in its place.
  for (const char* slash : {"/", ""}) {
    SCOPED_TRACE(slash);
    TempFolder dir;
    fs::create_directories(dir.path() + "moved/sub");
    dir.Write("moved/Index.db", "x");
    dir.Write("moved/sub/f", "x");
    fs::create_directory_symlink(dir.path() + "moved", dir.path() + "7");
    const std::string loc = dir.path() + "7" + slash;
    EXPECT_FALSE(ClearFolder(loc, true));
    EXPECT_TRUE(RemoveFolder(loc));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() + "7")));
    EXPECT_TRUE(fs::exists(dir.path() + "moved/Index.db"));
    EXPECT_TRUE(fs::exists(dir.path() + "moved/sub/f"));
  }
}

TEST(RemoveFolder, ReportsAnEntryThatCannotBeDeleted) {
  if (geteuid() == 0) GTEST_SKIP() << "root may delete in any folder";
  TempFolder dir;
  const std::string loc = MakeTree(dir);
  fs::permissions(loc + "sub", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(RemoveFolder(loc));
  EXPECT_TRUE(fs::exists(loc + "sub/f"));
  EXPECT_FALSE(fs::exists(loc + "Index.db"));  // the others are still deleted
  fs::permissions(loc + "sub", fs::perms::owner_all);
}

}  // namespace
}  // namespace vellumark
