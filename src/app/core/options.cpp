#include "app/core/options.h"

#include <filesystem>
#include <fstream>

#include "util/utf8.h"

namespace vellumark {
namespace {

constexpr char32_t kFixed[] = {U' ', U'\t', U'\n', U'\r'};

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r'; }

std::u32string Decode(const std::string& text) {
  std::u32string out;
  for (std::size_t pos = 0; pos < text.size();) out += NextCodePoint(text, pos);
  return out;
}

// A decimal integer with an optional sign that fits in 32 bits.
bool ToInteger(const std::u32string& token, long long& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == U'+' || token[i] == U'-')) negative = token[i++] == U'-';
  if (i == token.size()) return false;
  long long v = 0;
  for (; i < token.size(); ++i) {
    if (token[i] < U'0' || token[i] > U'9') return false;
    v = v * 10 + (token[i] - U'0');
    if (v > 2147483648LL) return false;
  }
  value = negative ? -v : v;
  return value >= -2147483648LL && value <= 2147483647LL;
}

}  // namespace

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

bool ParseDelimiters(const std::string& specification, std::u32string& delimiters) {
  delimiters.assign(std::begin(kFixed), std::end(kFixed));
  std::u32string text = Decode(specification);
  for (char32_t& c : text) {
    if (IsBlank(c)) c = U' ';
  }
  std::u32string collected;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == U' ') {
      ++i;
    } else if (text[i] == U'\'') {
      if (i + 2 >= text.size() || text[i + 2] != U'\'') return false;
      collected += text[i + 1];
      i += 3;
    } else {
      std::size_t end = text.find(U' ', i);
      if (end == std::u32string::npos) end = text.size();
      long long code = 0;
      if (!ToInteger(text.substr(i, end - i), code)) return false;
      collected += static_cast<char32_t>(static_cast<unsigned long long>(code) & 0xFF);
      i = end;
    }
  }
  if (collected.empty()) return false;
  for (char32_t c : collected) {
    if (delimiters.find(c) == std::u32string::npos) delimiters += c;
  }
  return true;
}

std::string CanonicalDelimiters(const std::u32string& delimiters) {
  std::string out;
  for (char32_t c : delimiters) {
    if (!out.empty()) out += "     ";
    if (c < 32 || c == 127) {
      out += std::to_string(static_cast<unsigned>(c));
    } else {
      out += '\'';
      AppendUtf8(out, c);
      out += '\'';
    }
  }
  return out;
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
  values.header_file = settings.ReadString("HeaderFile", "FileName", kDefaultHeaderFile);
  LoadHeaderFile(values.header_file, context.HeaderLines);
  values.delimiter_text = settings.ReadString("Options", "SearchDelimiters", kDefaultDelimiterText);
  if (!ParseDelimiters(values.delimiter_text, context.DelimiterChars)) {
    ParseDelimiters(kDefaultDelimiterText, context.DelimiterChars);
  }
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
    settings.WriteString("Options", "SearchDelimiters",
                         "\"" + CanonicalDelimiters(context.DelimiterChars) + "\"");
  }
  if (LoadHeaderFile(values.header_file, context.HeaderLines)) {
    settings.WriteString("HeaderFile", "FileName", values.header_file);
  } else {
    dialogs.Error("Header File '" + FullPathOf(values.header_file) + "' not exist.");
  }
  settings.WriteString("Options", "Included", values.sub_word ? "TRUE" : "FALSE");
  settings.WriteString("Options", "SearchOptions", values.search_options);
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
