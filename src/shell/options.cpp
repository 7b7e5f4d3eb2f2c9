#include "shell/options.h"

#include <filesystem>
#include <fstream>

#include "util/settings_names.h"

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

bool LoadHeaderFile(const std::string& name, std::vector<std::string>& lines) {
  lines.clear();
  std::error_code ec;
  bool read = false;
  if (!name.empty() && std::filesystem::is_regular_file(name, ec)) {
    std::ifstream in(name, std::ios::binary);
    if (in) {
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
      }
      read = !in.bad();
    }
  }
  if (!read) {
    const auto& defaults = DefaultHeaderLines();
    lines.insert(lines.end(), defaults.begin(), defaults.end());
  }
  return read;
}

std::string FullPathOf(const std::string& name) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(name, ec);
  if (ec) return name;
  return full.lexically_normal().string();
}

OptionsValues OptionsFormCreate(ProgramContext& context, const TPIniFile& settings) {
  OptionsValues values;
  values.header_file = settings.ReadString(kHeaderFileSetting, kDefaultHeaderFile);
  LoadHeaderFile(values.header_file, context.HeaderLines);
  values.delimiter_text = LoadDelimiters(settings, context.DelimiterChars);
  values.loader = ReadLoaderOptions(settings);
  return values;
}

void OptionsFormClose(const OptionsValues& values, ProgramContext& context, TPIniFile& settings,
                      Dialogs& dialogs) {
  if (!LoadHeaderFile(values.header_file, context.HeaderLines)) {
    dialogs.Error("Search Header file '" + FullPathOf(values.header_file) +
                  "' not found. Default loaded.");
  }
  if (!ParseDelimiters(values.delimiter_text, context.DelimiterChars)) {
    ParseDelimiters(kDefaultDelimiterText, context.DelimiterChars);
    dialogs.Error("Error in current search delimiters. Defoult Loaded.");
  } else {
    settings.WriteString(kSearchDelimitersSetting,
                         "\"" + CanonicalDelimiters(context.DelimiterChars) + "\"");
  }
  if (LoadHeaderFile(values.header_file, context.HeaderLines)) {
    settings.WriteString(kHeaderFileSetting, values.header_file);
  } else {
    dialogs.Error("Header File '" + FullPathOf(values.header_file) + "' not exist.");
  }
  settings.WriteString(kIncludedSetting, values.sub_word ? "TRUE" : "FALSE");
  settings.WriteString(kSearchOptionsSetting, values.search_options);
  WriteLoaderOptions(settings, values.loader);
}

bool WriteDefaultHeaderFile(const std::string& name) {
  std::error_code ec;
  if (std::filesystem::exists(name, ec)) return true;
  std::ofstream out(name, std::ios::binary);
  for (const std::string& line : DefaultHeaderLines()) out << line << '\n';
  out.close();
  return static_cast<bool>(out);
}

}  // namespace vellumark
