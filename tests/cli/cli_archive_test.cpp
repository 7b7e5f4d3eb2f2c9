// vellumark-cli export and import, run as a child process on a home folder of its own; and the
// commands that load no pages, which run without the browser library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/cli_runner.h"
#include "store/data_module.h"
#include "store/records.h"
#include "support/scripted_dialogs.h"
#include "util/temp_folder.h"

namespace fs = std::filesystem;

namespace vellumark::testing {
namespace {

class CliArchiveTest : public ::testing::Test {
 protected:
  CliResult Run(const std::vector<std::string>& args) { return RunCli(home_, args); }

  // Gives location 1 two pages and a word, as an indexing run would, and its end time.
  void FillLocation() {
    ProgramContext context;
    context.program_folder = context.db_root_folder = home_;
    ScriptedDialogs dialogs;
    TdmKiv dm(context, dialogs);
    ASSERT_TRUE(dm.tbTasks.FindKey({"1"}));
    dm.tbTasks.Edit();
    TTaskFields(dm.tbTasks).TimeEnd().SetString("10:05:00");
    dm.tbTasks.Post();
    ASSERT_TRUE(dm.OpenLocation(dm.LocationFolder(1)));
    TFileFields page(dm.tbFiles);
    for (int no : {1, 2}) {
      dm.tbFiles.Append();
      page.FileNo().SetInteger(no);
      page.F1().SetString("page" + std::to_string(no) + ".html");
      page.FileState().SetInteger(1);
      dm.tbFiles.Post();
    }
    TWordFields word(dm.tbWords1);
    dm.tbWords1.Append();
    word.Word().SetString("word");
    word.PageList().SetBlob(std::string("\x10\x00\x10\x01", 4));
    dm.tbWords1.Post();
  }

  TempFolder folder_{"vm_cli_archive_"};
  const std::string home_ = folder_.path();
};

TEST_F(CliArchiveTest, ExportAsksForForceAndImportPrintsTheNewLocation) {
  ASSERT_EQ(Run({"add", "http://example.com/"}).out, "1\n");
  CliResult r = Run({"export", "1", home_ + "site.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: Cannot Export Index"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(home_ + "site.kvx"));

  FillLocation();
  r = Run({"export", "1", home_ + "site.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Index exported sucessfully."), std::string::npos);
  ASSERT_TRUE(fs::exists(home_ + "site.kvx"));
  const auto size = fs::file_size(home_ + "site.kvx");

  std::ofstream(home_ + "site.kvx", std::ios::binary | std::ios::app) << "x";
  r = Run({"export", "1", home_ + "site"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(fs::file_size(home_ + "site.kvx"), size + 1);
  EXPECT_EQ(Run({"export", "1", home_ + "site", "--force"}).status, 0);
  EXPECT_EQ(fs::file_size(home_ + "site.kvx"), size);

  r = Run({"import", home_ + "site.kvx"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\n");
  r = Run({"locations", "--tsv"});
  EXPECT_NE(r.out.find("2\thttp://example.com/"), std::string::npos) << r.out;

  r = Run({"import", home_ + "missing.kvx"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: Cannot open file " + home_ + "missing.kvx\n");
  EXPECT_EQ(r.out, "");
}

// The browser library made unloadable: the commands that load no pages never ask for it, and
// index, which does, says why it cannot start.
TEST_F(CliArchiveTest, OnlyIndexNeedsTheBrowserLibrary) {
  struct Unloadable {
    explicit Unloadable(const std::string& path) {
      setenv("VELLUMARK_BROWSER_LIBRARY", path.c_str(), 1);
    }
    ~Unloadable() { unsetenv("VELLUMARK_BROWSER_LIBRARY"); }
  } unloadable(home_ + "nowhere/libvellumark-browser.so");

  ASSERT_EQ(Run({"add", "http://example.com/"}).out, "1\n");
  FillLocation();
  CliResult r = Run({"search", "--location", "1", "word"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "1\t1\t1\thttp://example.com/page1.html\t\n"
            "2\t1\t2\thttp://example.com/page2.html\t\n");
  r = Run({"locations"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("http://example.com/"), std::string::npos);
  EXPECT_EQ(Run({"export", "1", home_ + "site"}).status, 0);
  EXPECT_EQ(Run({"import", home_ + "site.kvx"}).out, "2\n");
  EXPECT_EQ(Run({"edit", "2", "http://example.org/"}).status, 0);
  EXPECT_EQ(Run({"delete", "2"}).status, 0);

  r = Run({"index", "1", "--overwrite"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("error: Cannot start the browser: cannot load " + home_ + "nowhere/", 0),
            0u)
      << r.err;
}

}  // namespace
}  // namespace vellumark::testing
