// The location commands and the usage rules of vellumark-cli, run as a child process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_runner.h"
#include "util/temp_folder.h"

namespace vellumark::testing {
namespace {

class CliTest : public ::testing::Test {
 protected:
  CliResult Run(const std::vector<std::string>& args) { return RunCli(home_, args); }
  TempFolder folder_{"vm_cli_"};
  const std::string home_ = folder_.path();
};

TEST_F(CliTest, AddListEditDelete) {
  CliResult r = Run({"add", "example.com/docs/", "Example docs"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  EXPECT_TRUE(std::filesystem::exists(home_ + "1/Index.db"));

  r = Run({"add", "http://www."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: URL Location 'http://www.' not valid.\n");
  EXPECT_EQ(r.out, "");

  EXPECT_EQ(Run({"add", "http://h.test/"}).out, "2\n");

  r = Run({"locations", "--tsv"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "1\thttp://example.com/docs/\tExample docs\t\t\t\t\tbrowser\n"
            "2\thttp://h.test/\t\t\t\t\t\tbrowser\n");
  r = Run({"locations"});
  EXPECT_NE(r.out.find("Example docs"), std::string::npos);
  EXPECT_EQ(r.out.rfind("No", 0), 0u);

  // Edit adds no scheme, keeps the description when none is given, refuses an empty URL.
  EXPECT_EQ(Run({"edit", "1", "http://"}).status, 0);
  EXPECT_EQ(Run({"locations", "--tsv"}).out.substr(0, 23), "1\thttp://\tExample docs\t");
  r = Run({"edit", "2", ""});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: URL Location '' not valid.\n");
  r = Run({"edit", "7", "http://x/"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: No location 7.\n");

  r = Run({"delete", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(std::filesystem::exists(home_ + "1"));
  EXPECT_EQ(Run({"locations", "--tsv"}).out, "2\thttp://h.test/\t\t\t\t\t\tbrowser\n");
}

// --loader on add and edit is kept per location; the options' default holds for add without it;
// edit without it keeps the choice; a name that is not a loader is a usage error.
TEST_F(CliTest, LoaderChoicePerLocation) {
  auto loader_of = [this](int n) {
    const std::string tsv = Run({"locations", "--tsv"}).out;
    std::size_t line = tsv.find(std::to_string(n) + "\t");
    if (line == std::string::npos) return std::string("?");
    std::size_t end = tsv.find('\n', line);
    std::size_t tab = tsv.rfind('\t', end);
    return tsv.substr(tab + 1, end - tab - 1);
  };
  EXPECT_EQ(Run({"add", "http://a.test/", "--loader", "fast"}).status, 0);
  EXPECT_EQ(Run({"add", "http://b.test/"}).status, 0);
  EXPECT_EQ(loader_of(1), "fast");
  EXPECT_EQ(loader_of(2), "browser");
  std::ofstream(home_ + "vellumark.ini", std::ios::app) << "[Options]\nDefaultLoader=fast\n";
  EXPECT_EQ(loader_of(2), "browser");  // its own choice stays when the default changes
  EXPECT_EQ(Run({"add", "http://c.test/", "--loader", "browser"}).status, 0);
  EXPECT_EQ(Run({"add", "http://d.test/"}).status, 0);
  EXPECT_EQ(loader_of(3), "browser");
  EXPECT_EQ(loader_of(4), "fast");
  EXPECT_EQ(Run({"edit", "1", "http://a.test/", "--loader", "browser"}).status, 0);
  EXPECT_EQ(Run({"edit", "3", "http://c2.test/"}).status, 0);
  EXPECT_EQ(loader_of(1), "browser");
  EXPECT_EQ(loader_of(3), "browser");
  EXPECT_NE(Run({"locations"}).out.find("Loader"), std::string::npos);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"add", "http://e.test/", "--loader", "wget"},
        std::vector<std::string>{"edit", "1", "http://a.test/", "--loader", "Fast"},
        std::vector<std::string>{"index", "1", "--loader", ""}}) {
    CliResult r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("--loader"), std::string::npos) << r.err;
  }
  EXPECT_EQ(loader_of(1), "browser");
  EXPECT_EQ(loader_of(5), "?");  // the refused add stored nothing
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Run({}).status, 2);
  EXPECT_EQ(Run({"bogus"}).status, 2);
  EXPECT_EQ(Run({"index"}).status, 2);
  EXPECT_EQ(Run({"index", "1", "--overwrite", "--continue"}).status, 2);
  EXPECT_EQ(Run({"add"}).status, 2);
  EXPECT_EQ(Run({"delete", "x"}).status, 2);
  CliResult help = Run({"index", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--overwrite"), std::string::npos);
  for (const char* command : {"locations", "add", "edit", "delete"}) {
    EXPECT_EQ(Run({command, "--help"}).status, 0) << command;
  }
}

TEST_F(CliTest, IndexOfAnUnknownLocation) {
  CliResult r = Run({"index", "3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: No location 3.\n");
}

}  // namespace
}  // namespace vellumark::testing
