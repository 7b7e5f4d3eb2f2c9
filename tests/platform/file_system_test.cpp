// The machine's file system as the seam offers it: a write the disk refuses is an error.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vellumark::testing {
namespace {

TEST(LocalFileSystem, AWriteTheDiskRefusesRaisesAnError) {
  // /dev/full refuses every write as a full disk does.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::unique_ptr<WritableFile> file = LocalFileSystem().CreateScratchFile("/dev/full");
  file->Append("buffered");
  EXPECT_THROW(file->Close(), EFileError);
  file = LocalFileSystem().CreateScratchFile("/dev/full");
  EXPECT_THROW(file->Append(std::string(1 << 17, 'x')), EFileError);  // too large to buffer
}

}  // namespace
}  // namespace vellumark::testing
