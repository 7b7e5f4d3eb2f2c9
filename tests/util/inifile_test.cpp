#include "util/inifile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/faulty_file_system.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

using testing::FaultyFileSystem;
using testing::TempFolder;

TEST(IniFile, ReadsTrimmedValuesAndStripsOneMatchingQuotePair) {
  TempFolder dir;
  TPIniFile ini(dir.Write("a.ini",
                          "; comment\n"
                          "[Options]\n"
                          "  Plain =   some text  \t\n"
                          "Double=\"  kept blanks  \"\n"
                          "Single=' x '\n"
                          "Twice=\"\"both\"\"\n"
                          "Mixed=\"a'\n"
                          "Lone=\"\n"
                          "Empty=\n"
                          "NoEquals line\n"));
  EXPECT_EQ(ini.ReadString("Options", "Plain", "d"), "some text");
  EXPECT_EQ(ini.ReadString("Options", "Double", "d"), "  kept blanks  ");
  EXPECT_EQ(ini.ReadString("Options", "Single", "d"), " x ");
  EXPECT_EQ(ini.ReadString("Options", "Twice", "d"), "\"both\"");  // one pair only
  EXPECT_EQ(ini.ReadString("Options", "Mixed", "d"), "\"a'");
  EXPECT_EQ(ini.ReadString("Options", "Lone", "d"), "\"");
  EXPECT_EQ(ini.ReadString("Options", "Empty", "d"), "");  // present but empty: no default
  EXPECT_EQ(ini.ReadString("Options", "Missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("Other", "Plain", "d"), "d");
  EXPECT_EQ(ini.ReadString("Options", "NoEquals line", "d"), "d");
}

TEST(IniFile, NamesCompareWithoutCaseAndTheFirstOccurrenceCounts) {
  TempFolder dir;
  TPIniFile ini(dir.Write("a.ini",
                          "[folders]\nDBFOLDER=/data/\nDbFolder=/second/\n"
                          "[FOLDERS]\nTaskFolder=7\n"));
  EXPECT_EQ(ini.ReadString("Folders", "DBFolder", ""), "/data/");
  EXPECT_EQ(ini.ReadInteger("Folders", "TaskFolder", 1), 1);  // only the first section is read
  EXPECT_EQ(ini.ReadSection("FOLDERS"), (std::vector<std::string>{"DBFOLDER"}));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"folders"}));
  EXPECT_TRUE(ini.SectionExists("Folders"));
  EXPECT_TRUE(ini.ValueExists("folders", "dbfolder"));
  EXPECT_FALSE(ini.ValueExists("folders", "TaskFolder"));
}

TEST(IniFile, MissingFileGivesDefaultsAndTheFirstWriteCreatesIt) {
  TempFolder dir;
  TPIniFile ini(dir.path() + "new.ini");
  EXPECT_EQ(ini.ReadString("Folders", "DBFolder", "x"), "x");
  EXPECT_EQ(ini.ReadInteger("Folders", "TaskFolder", 1), 1);
  EXPECT_TRUE(ini.ReadSection("Folders").empty());
  ini.WriteInteger("Folders", "TaskFolder", 3);
  EXPECT_EQ(dir.Read("new.ini"), "[Folders]\nTaskFolder=3\n");
}

TEST(IniFile, DelimiterValueWrittenInDoubleQuotesKeepsItsLeadingQuotedBlank) {
  TempFolder dir;
  TPIniFile ini(dir.path() + "vellumark.ini");
  const std::string delimiters = "' '     09     10     13     ','     ';'";
  ini.WriteString("Options", "SearchDelimiters", "\"" + delimiters + "\"");
  EXPECT_EQ(ini.ReadString("Options", "SearchDelimiters", ""), delimiters);
  // Unquoted, the single quotes at both ends would be taken as an enclosing pair.
  ini.WriteString("Options", "SearchDelimiters", delimiters);
  EXPECT_EQ(ini.ReadString("Options", "SearchDelimiters", ""),
            delimiters.substr(1, delimiters.size() - 2));
}

TEST(IniFile, TwoObjectsOnOneFileSeeEachOthersWritesAtOnce) {
  TempFolder dir;
  TPIniFile a(dir.path() + "s.ini");
  TPIniFile b(dir.path() + "s.ini");
  a.WriteString("Options", "SearchOptions", "All Words");
  EXPECT_EQ(b.ReadString("options", "searchoptions", ""), "All Words");
  b.WriteString("Options", "SearchOptions", "Exact Phrase");
  b.WriteString("Options", "Included", "TRUE");
  EXPECT_EQ(a.ReadString("Options", "SearchOptions", ""), "Exact Phrase");
  EXPECT_EQ(a.ReadString("Options", "Included", ""), "TRUE");
  // An edit made to the file behind both objects' backs is seen too.
  dir.Write("s.ini", "[Options]\nIncluded=FALSE\n");
  EXPECT_EQ(a.ReadString("Options", "Included", ""), "FALSE");
  EXPECT_EQ(a.ReadString("Options", "SearchOptions", "gone"), "gone");
}

TEST(IniFile, WritingOneKeyKeepsTheRestOfTheFileIntact) {
  TempFolder dir;
  const std::string before =
      "; Vellumark settings\n"
      "[Folders]\n"
      "DBFolder = /data/   ; not a comment to the profile functions\n"
      "TaskFolder=1\n"
      "\n"
      "; the options\n"
      "[Options]\n"
      "Included=FALSE\n"
      "stray line\n"
      "SearchOptions=Any Words\n";
  TPIniFile ini(dir.Write("s.ini", before));

  ini.WriteInteger("folders", "TASKFOLDER", 12);  // the key keeps its spelling in the file
  std::string expected = before;
  expected.replace(expected.find("TaskFolder=1"), 12, "TaskFolder=12");
  EXPECT_EQ(dir.Read("s.ini"), expected);

  // A new key goes after the section's last entry, before the blank line and comment.
  ini.WriteString("Folders", "Extra", "x");
  expected.insert(expected.find("\n\n; the options") + 1, "Extra=x\n");
  EXPECT_EQ(dir.Read("s.ini"), expected);

  // A new section goes at the end after a blank line.
  ini.WriteString("FormStatus", "MainForm", "1,2,3,4,0");
  expected += "\n[FormStatus]\nMainForm=1,2,3,4,0\n";
  EXPECT_EQ(dir.Read("s.ini"), expected);

  EXPECT_EQ(ini.ReadSection("Folders"),
            (std::vector<std::string>{"DBFolder", "TaskFolder", "Extra"}));
  EXPECT_EQ(ini.ReadString("Folders", "DBFolder", ""),
            "/data/   ; not a comment to the profile functions");
}

TEST(IniFile, KeepsCrLfLineEndsAByteOrderMarkAndAMissingFinalLineEnd) {
  TempFolder dir;
  TPIniFile ini(dir.Write("s.ini", "\xEF\xBB\xBF[A]\r\nk=1\r\n[B]\r\nm=2"));
  EXPECT_EQ(ini.ReadString("a", "K", ""), "1");
  ini.WriteString("A", "k", "5");
  EXPECT_EQ(dir.Read("s.ini"), "\xEF\xBB\xBF[A]\r\nk=5\r\n[B]\r\nm=2");
  ini.WriteString("B", "n", "3");
  EXPECT_EQ(dir.Read("s.ini"), "\xEF\xBB\xBF[A]\r\nk=5\r\n[B]\r\nm=2\r\nn=3\r\n");
}

TEST(IniFile, LineBreaksInAWrittenValueCannotAddLines) {
  TempFolder dir;
  TPIniFile ini(dir.path() + "s.ini");
  ini.WriteString("Options", "SearchOptions", "Any\r\n[Folders]\nDBFolder=/etc/");
  EXPECT_FALSE(ini.SectionExists("Folders"));
  EXPECT_EQ(ini.ReadString("Options", "SearchOptions", ""), "Any  [Folders] DBFolder=/etc/");
}

TEST(IniFile, IntegersAndBooleans) {
  TempFolder dir;
  TPIniFile ini(dir.Write("s.ini",
                          "[N]\na=42\nb=-7\nc=0x1F\nd=12abc\ne=\nf=99999999999\ng=+5\n"
                          "h=0xFFFFFFFF\ni= 8 \nj=TRUE\n"));
  EXPECT_EQ(ini.ReadInteger("N", "a", 1), 42);
  EXPECT_EQ(ini.ReadInteger("N", "b", 1), -7);
  EXPECT_EQ(ini.ReadInteger("N", "c", 1), 31);
  EXPECT_EQ(ini.ReadInteger("N", "d", 1), 1);
  EXPECT_EQ(ini.ReadInteger("N", "e", 1), 1);
  EXPECT_EQ(ini.ReadInteger("N", "f", 1), 1);  // out of range
  EXPECT_EQ(ini.ReadInteger("N", "g", 1), 5);
  EXPECT_EQ(ini.ReadInteger("N", "h", 1), -1);
  EXPECT_EQ(ini.ReadInteger("N", "i", 1), 8);
  EXPECT_TRUE(ini.ReadBool("N", "a", false));
  EXPECT_TRUE(ini.ReadBool("N", "j", true));  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("N", "j", false));
  ini.WriteBool("N", "k", true);
  ini.WriteInteger("N", "l", -2147483647 - 1);
  EXPECT_EQ(ini.ReadString("N", "k", ""), "1");
  EXPECT_EQ(ini.ReadInteger("N", "l", 0), -2147483647 - 1);
}

TEST(IniFile, EraseSectionAndDeleteKey) {
  TempFolder dir;
  TPIniFile ini(dir.Write("s.ini", "[A]\nx=1\ny=2\nX=3\n[B]\nz=1\n[a]\nw=1\n"));
  ini.DeleteKey("a", "X");
  EXPECT_EQ(dir.Read("s.ini"), "[A]\ny=2\n[B]\nz=1\n[a]\nw=1\n");
  ini.EraseSection("A");
  EXPECT_EQ(dir.Read("s.ini"), "[B]\nz=1\n");
  ini.DeleteKey("B", "none");
  ini.EraseSection("none");
  EXPECT_EQ(dir.Read("s.ini"), "[B]\nz=1\n");
}

TEST(IniFile, WriteReplacesTheFileWholeAndKeepsItsMode) {
  TempFolder dir;
  const std::string name = dir.Write("s.ini", "[A]\nx=1\n");
  ASSERT_EQ(chmod(name.c_str(), 0640), 0);
  struct stat before;
  ASSERT_EQ(stat(name.c_str(), &before), 0);
  TPIniFile ini(name);
  ini.WriteString("A", "x", "2");
  struct stat after;
  ASSERT_EQ(stat(name.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed over the old one
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  // No temporary file is left behind.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += !e.is_directory();
  EXPECT_EQ(files, 1);
}

TEST(IniFile, ALinkedSettingsFileIsWrittenAtItsTarget) {
  TempFolder dir;
  const std::string target = dir.Write("real.ini", "[A]\nx=1\n");
  std::filesystem::create_symlink(target, dir.path() + "link.ini");
  TPIniFile ini(dir.path() + "link.ini");
  ini.WriteString("A", "x", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() + "link.ini"));
  EXPECT_EQ(dir.Read("real.ini"), "[A]\nx=2\n");
}

TEST(IniFile, AFullDiskLeavesTheOldFileWhole) {
  TempFolder dir;
  const std::string name = dir.Write("s.ini", "[A]\nx=1\n");
  FaultyFileSystem files;
  files.disk_left = 5;  // part of the new text is written, then the disk is full
  TPIniFile ini(name, [&files](const std::string& path, std::string_view data) {
    WriteAtomically(files, path, data);
  });
  EXPECT_THROW(ini.WriteString("A", "x", "a longer value"), EIniFileException);
  EXPECT_EQ(files.written, 5u);
  EXPECT_EQ(dir.Read("s.ini"), "[A]\nx=1\n");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.exists();
  EXPECT_EQ(entries, 1);  // no temporary file left behind
}

TEST(IniFile, AWriteThatCannotCreateItsFileThrows) {
  TempFolder dir;
  TPIniFile ini(dir.path() + "no/such/folder/s.ini");
  EXPECT_THROW(ini.WriteString("A", "x", "1"), EIniFileException);
}

}  // namespace
}  // namespace vellumark
