#include "archive/archive_header.h"

#include <gtest/gtest.h>

namespace vellumark::testing {
namespace {

void Check(const std::string& bytes) {
  TMemorySource source(bytes);
  TBufferedReader in(source);
  ReadArchiveTitle(in);
}

std::string Head(const std::string& title, const std::string& maker = kArchiveMakerLine) {
  return title + '\0' + maker + '\0';
}

TEST(ArchiveHeader, TitleMustBeginWithTheNameAndHoldTheVersion) {
  EXPECT_NO_THROW(Check(Head("Vellumark Index v 1.0.0")));
  EXPECT_NO_THROW(Check(Head("Vellumark Index of mine, format v 1.0.0 (copy)")));
  EXPECT_THROW(Check(Head("My Vellumark Index v 1.0.0")), EArchiveHeaderError);
  EXPECT_THROW(Check(Head("Vellumark Index v 1.0.1")), EArchiveHeaderError);
  EXPECT_THROW(Check(Head("Vellumark Index v 1.0.0", "made by someone")), EArchiveHeaderError);
  EXPECT_NO_THROW(Check(Head("Vellumark Index v 1.0.0", "Dunmereworkshop LLC.")));
  // Cut short: no 0x00 after the title, or nothing at all.
  EXPECT_THROW(Check("Vellumark Index v 1.0.0"), EArchiveHeaderError);
  EXPECT_THROW(Check(""), EArchiveHeaderError);
  EXPECT_THROW(Check(Head(std::string(1 << 21, 'V'))), EArchiveHeaderError);
}

TEST(ArchiveHeader, NineTextsWithTheDateAsMonthDayYear) {
  TArchiveTask t{"http://example.com/",
                 std::string("de\0sc", 5),
                 "2024-03-07",
                 "09:05:00",
                 "",
                 "12",
                 " \t\n\r,;"};
  std::string head = BuildArchiveHeader(t);
  EXPECT_EQ(head, std::string("Vellumark Index v 1.0.0") + '\0' + kArchiveMakerLine + '\0' +
                      "http://example.com/" + '\0' + "de sc" + '\0' + "03/07/2024" + '\0' +
                      "09:05:00" + '\0' + '\0' + "12" + '\0' + " \t\n\r,;" + '\0');
  TMemorySource source(head);
  TBufferedReader in(source);
  ReadArchiveTitle(in);
  TArchiveTask back = ReadArchiveTask(in);
  EXPECT_EQ(back.date, "03/07/2024");
  EXPECT_EQ(back.time_end, "");
  EXPECT_EQ(back.search_delimiters, " \t\n\r,;");
  EXPECT_EQ(in.Left(), 0u);
  EXPECT_EQ(ArchiveDateText(""), "");
}

}  // namespace
}  // namespace vellumark::testing
