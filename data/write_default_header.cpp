// Writes the default result page header to the file named by its argument, for the shipped
// files of an installed program. The lines are the program's own (DefaultHeaderLines), so the
// installed file and the file a first start writes can never differ.
#include <cstdio>
#include <filesystem>

#include "shell/options.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::error_code ec;
  std::filesystem::remove(argv[1], ec);
  return vellumark::WriteDefaultHeaderFile(argv[1]) ? 0 : 1;
}
