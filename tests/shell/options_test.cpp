// The options window's rules: the header file, and what closing the window writes and
// reports.
#include <gtest/gtest.h>

#include "shell/options.h"
#include "support/scripted_dialogs.h"
#include "util/inifile.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

const std::u32string kDefaultSet = U" \t\n\r,;";

TEST(LoadHeaderFile, MissingEmptyAndFilledFiles) {
  testing::TempFolder dir;
  std::vector<std::string> lines = {"old"};
  EXPECT_FALSE(LoadHeaderFile(dir.path() + "none.htm", lines));
  EXPECT_EQ(lines, DefaultHeaderLines());
  EXPECT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3],
            "<BODY BGCOLOR=\"#FFFFFF\" TOPMARGIN=0 LEFTMARGIN=10 TEXT=\"#000000\"VLINK=\"#000000\">"
            "<BR>");
  EXPECT_TRUE(LoadHeaderFile(dir.Write("empty.htm", ""), lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(LoadHeaderFile(dir.Write("h.htm", "<HEAD>\r\n\r\n<BODY>\n"), lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"<HEAD>", "<BODY>"}));
  EXPECT_FALSE(LoadHeaderFile(dir.path(), lines));  // a folder is no file
  EXPECT_EQ(lines.size(), 6u);
}

class OptionsForm : public ::testing::Test {
 protected:
  testing::TempFolder dir;
  TPIniFile settings{dir.path() + "vellumark.ini"};
  ProgramContext context;
  testing::ScriptedDialogs dialogs;
};

TEST_F(OptionsForm, CreationFallsBackSilentlyAndCloseSavesTheCanonicalForm) {
  settings.WriteString("Options", "SearchDelimiters", "'unclosed");
  OptionsValues v = OptionsFormCreate(context, settings);
  EXPECT_EQ(v.header_file, "SHFile.htm");
  EXPECT_EQ(v.delimiter_text, "'unclosed");
  EXPECT_EQ(context.DelimiterChars, kDefaultSet);
  EXPECT_EQ(context.HeaderLines.size(), 6u);
  EXPECT_TRUE(dialogs.messages.empty());

  v.header_file = dir.Write("head.htm", "<HEAD>\n");
  v.delimiter_text = "' '  09  10  13  ','  ';'  '.'";
  v.sub_word = true;
  v.search_options = "All Words";
  OptionsFormClose(v, context, settings, dialogs);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(settings.ReadString("Options", "SearchDelimiters", ""),
            "' '     9     10     13     ','     ';'     '.'");
  EXPECT_EQ(settings.ReadString("HeaderFile", "FileName", ""), v.header_file);
  EXPECT_EQ(settings.ReadString("Options", "Included", ""), "TRUE");
  EXPECT_EQ(settings.ReadString("Options", "SearchOptions", ""), "All Words");
  EXPECT_EQ(context.HeaderLines, std::vector<std::string>{"<HEAD>"});

  // The next start shows the saved form and parses it to the same set.
  OptionsValues next = OptionsFormCreate(context, settings);
  EXPECT_EQ(next.delimiter_text, "' '     9     10     13     ','     ';'     '.'");
  EXPECT_EQ(context.DelimiterChars, std::u32string(U" \t\n\r,;."));
}

TEST_F(OptionsForm, CloseReportsAMissingHeaderAndBadDelimitersAndKeepsOldSettings) {
  settings.WriteString("Options", "SearchDelimiters", "\"','\"");
  settings.WriteString("HeaderFile", "FileName", "Old.htm");
  OptionsValues v;
  v.header_file = "Missing.htm";
  v.delimiter_text = "nonsense";
  v.search_options = "Any Words";
  OptionsFormClose(v, context, settings, dialogs);
  const std::string full = FullPathOf("Missing.htm");
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{
                                 "Search Header file '" + full + "' not found. Default loaded.",
                                 "Error in current search delimiters. Defoult Loaded.",
                                 "Header File '" + full + "' not exist."}));
  EXPECT_EQ(dialogs.messages[0].kind, MessageKind::kError);
  EXPECT_EQ(context.DelimiterChars, kDefaultSet);
  EXPECT_EQ(context.HeaderLines, DefaultHeaderLines());
  EXPECT_EQ(settings.ReadString("Options", "SearchDelimiters", ""), "','");
  EXPECT_EQ(settings.ReadString("HeaderFile", "FileName", ""), "Old.htm");
  EXPECT_EQ(settings.ReadString("Options", "Included", ""), "FALSE");
}

TEST_F(OptionsForm, DefaultHeaderFileIsWrittenOnceAndReadsAsTheDefault) {
  const std::string name = dir.path() + "SHFile.htm";
  ASSERT_TRUE(WriteDefaultHeaderFile(name));
  std::vector<std::string> lines;
  EXPECT_TRUE(LoadHeaderFile(name, lines));
  EXPECT_EQ(lines, DefaultHeaderLines());
  dir.Write("SHFile.htm", "<mine>\n");
  ASSERT_TRUE(WriteDefaultHeaderFile(name));  // an existing file stays
  EXPECT_EQ(dir.Read("SHFile.htm"), "<mine>\n");
}

}  // namespace
}  // namespace vellumark
