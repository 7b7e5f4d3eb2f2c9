#include "search/header_file.h"

#include <filesystem>
#include <fstream>

namespace vellumark {

const std::vector<std::string>& DefaultHeaderLines() {
  static const std::vector<std::string> lines = {
      "<HEAD>",
      "<TITLE>Vellumark Result</TITLE>",
      "</HEAD>",
      "<BODY BGCOLOR=\"#FFFFFF\" TOPMARGIN=0 LEFTMARGIN=10 TEXT=\"#000000\"VLINK=\"#000000\"><BR>",
      "<FONT FACE=\"Arial\" SIZE=1><CENTER><H3>Search Result</H3><p></CENTER>",
      "<P><dl><FONT CLASS=10V FACE=\"Verdana, Arial, Helvetica\" SIZE=2>",
  };
  return lines;
}

bool LoadHeaderFile(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  std::error_code ec;
  bool ok = std::filesystem::is_regular_file(path, ec);
  if (ok) {
    std::ifstream in(path, std::ios::binary);
    ok = in.is_open();
    std::string line;
    while (ok && std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    if (ok && in.bad()) ok = false;
  }
  if (!ok) {
    const auto& defaults = DefaultHeaderLines();
    lines.insert(lines.end(), defaults.begin(), defaults.end());
  }
  return ok;
}

}  // namespace vellumark
