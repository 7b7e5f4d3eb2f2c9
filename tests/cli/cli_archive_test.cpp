// vellumark-cli export and import, run as a child process on a home folder of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_runner.h"
#include "store/data_module.h"
#include "support/scripted_dialogs.h"
#include "util/temp_folder.h"

namespace fs = std::filesystem;

namespace vellumark::testing {
namespace {

class CliArchiveTest : public ::testing::Test {
 protected:
  CliResult Run(const std::vector<std::string>& args) { return RunCli(home_, args); }

  // Gives location 1 two pages and a word, as an indexing run would.
  void FillLocation() {
    ProgramContext context;
    context.program_folder = context.db_root_folder = home_;
    ScriptedDialogs dialogs;
    TdmKiv dm(context, dialogs);
    ASSERT_TRUE(dm.OpenLocation(dm.LocationFolder(1)));
    for (int no : {1, 2}) {
      dm.tbFiles.Append();
      dm.tbFiles.Fields(0).SetInteger(no);
      dm.tbFiles.Fields(1).SetString("page" + std::to_string(no) + ".html");
      dm.tbFiles.Fields(3).SetInteger(1);
      dm.tbFiles.Post();
    }
    dm.tbWords1.Append();
    dm.tbWords1.Fields(0).SetString("word");
    dm.tbWords1.Fields(1).SetBlob(std::string("\x10\x00\x10\x01", 4));
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

}  // namespace
}  // namespace vellumark::testing
