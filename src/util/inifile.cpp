#include "util/inifile.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

namespace vellumark {

namespace {

constexpr std::size_t kNone = std::string::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A name or value as it may stand on one line of the file.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

// The file split into lines, with what is needed to write it back unchanged.
struct IniText {
  std::vector<std::string> lines;  // without their line ends
  std::string eol = "\n";          // line end used when the file is written
  bool bom = false;                // the file started with a UTF-8 byte order mark
  bool final_eol = true;           // the last line had a line end
};

IniText Load(const std::string& file_name) {
  IniText text;
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return text;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text.bom = true;
    data.erase(0, 3);
  }
  std::size_t first_lf = data.find('\n');
  if (first_lf != kNone && first_lf > 0 && data[first_lf - 1] == '\r') text.eol = "\r\n";
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t lf = data.find('\n', start);
    std::size_t end = lf == kNone ? data.size() : lf;
    std::size_t stop = end;
    if (stop > start && data[stop - 1] == '\r') --stop;
    text.lines.emplace_back(data, start, stop - start);
    if (lf == kNone) {
      text.final_eol = false;
      break;
    }
    start = lf + 1;
  }
  return text;
}

// The name of a "[Section]" header line, or nothing when the line is not one.
std::optional<std::string_view> HeaderName(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  std::size_t close = line.find(']');
  if (close == kNone) return std::nullopt;
  return TrimBlanks(line.substr(1, close - 1));
}

struct Entry {
  std::string_view key;
  std::string_view value;  // raw: neither trimmed nor unquoted
};

std::optional<Entry> EntryOf(std::string_view line) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  std::size_t eq = line.find('=');
  if (eq == kNone) return std::nullopt;
  return Entry{TrimBlanks(line.substr(0, eq)), line.substr(eq + 1)};
}

// Index of the first header line of `section`, or kNone.
std::size_t FindSection(const IniText& text, std::string_view section) {
  for (std::size_t i = 0; i < text.lines.size(); ++i) {
    auto name = HeaderName(text.lines[i]);
    if (name && SameName(*name, section)) return i;
  }
  return kNone;
}

// One past the last line that belongs to the section whose header is at `header`.
std::size_t SectionEnd(const IniText& text, std::size_t header) {
  std::size_t i = header + 1;
  while (i < text.lines.size() && !HeaderName(text.lines[i])) ++i;
  return i;
}

// Index of the first line of `key` within the section whose header is at `header`, or kNone.
std::size_t FindKey(const IniText& text, std::size_t header, std::string_view key) {
  std::size_t end = SectionEnd(text, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    auto entry = EntryOf(text.lines[i]);
    if (entry && SameName(entry->key, key)) return i;
  }
  return kNone;
}

std::optional<std::string> FindValue(const IniText& text, std::string_view section,
                                     std::string_view key) {
  std::size_t header = FindSection(text, section);
  if (header == kNone) return std::nullopt;
  std::size_t line = FindKey(text, header, key);
  if (line == kNone) return std::nullopt;
  std::string_view value = TrimBlanks(EntryOf(text.lines[line])->value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::string Serialize(const IniText& text) {
  std::string out;
  if (text.bom) out += "\xEF\xBB\xBF";
  for (std::size_t i = 0; i < text.lines.size(); ++i) {
    out += text.lines[i];
    if (i + 1 < text.lines.size() || text.final_eol) out += text.eol;
  }
  return out;
}

std::optional<int> ParseInteger(std::string_view s) {
  bool negative = false;
  int base = 10;
  std::string_view digits = s;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  } else if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  long long value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size() || value < 0) return std::nullopt;
  if (negative) value = -value;
  if (base == 16 && value <= 0xFFFFFFFFLL) {
    // Eight hexadecimal digits name a 32-bit pattern, as in "0xFFFFFFFF" for -1.
    return static_cast<int>(static_cast<std::uint32_t>(value));
  }
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

}  // namespace

TPIniFile::TPIniFile(std::string file_name, TWholeFileWriter writer)
    : file_name_(std::move(file_name)), writer_(std::move(writer)) {}

void TPIniFile::Store(const std::string& data) {
  try {
    writer_(file_name_, data);
  } catch (const std::exception&) {
    throw EIniFileException("Unable to write to " + file_name_);
  }
}

std::string TPIniFile::ReadString(std::string_view section, std::string_view key,
                                  std::string_view default_value) const {
  auto value = FindValue(Load(file_name_), section, key);
  return value ? *value : std::string(default_value);
}

void TPIniFile::WriteString(std::string_view section, std::string_view key,
                            std::string_view value) {
  IniText text = Load(file_name_);
  const std::string line_value = OneLine(value);
  std::size_t header = FindSection(text, section);
  if (header == kNone) {
    if (!text.lines.empty() && !TrimBlanks(text.lines.back()).empty()) text.lines.emplace_back();
    text.lines.push_back("[" + OneLine(section) + "]");
    text.lines.push_back(OneLine(key) + "=" + line_value);
    text.final_eol = true;
  } else if (std::size_t line = FindKey(text, header, key); line != kNone) {
    // Keep the key as it is spelt in the file and whatever stands before the "=".
    std::string& old = text.lines[line];
    old = old.substr(0, old.find('=') + 1) + line_value;
  } else {
    // A new key goes after the section's last entry, ahead of the blank lines and comments
    // that separate it from the next section.
    std::size_t end = SectionEnd(text, header);
    std::size_t at = end;
    while (at > header + 1 && !EntryOf(text.lines[at - 1])) --at;
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(at),
                      OneLine(key) + "=" + line_value);
    if (at == text.lines.size() - 1) text.final_eol = true;
  }
  Store(Serialize(text));
}

int TPIniFile::ReadInteger(std::string_view section, std::string_view key,
                           int default_value) const {
  auto value = FindValue(Load(file_name_), section, key);
  if (!value) return default_value;
  return ParseInteger(*value).value_or(default_value);
}

void TPIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

bool TPIniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

void TPIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TPIniFile::ReadSection(std::string_view section) const {
  IniText text = Load(file_name_);
  std::vector<std::string> keys;
  std::size_t header = FindSection(text, section);
  if (header == kNone) return keys;
  std::size_t end = SectionEnd(text, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    auto entry = EntryOf(text.lines[i]);
    if (!entry) continue;
    bool seen = false;
    for (const auto& k : keys) seen = seen || SameName(k, entry->key);
    if (!seen) keys.emplace_back(entry->key);
  }
  return keys;
}

std::vector<std::string> TPIniFile::ReadSections() const {
  IniText text = Load(file_name_);
  std::vector<std::string> sections;
  for (const auto& line : text.lines) {
    auto name = HeaderName(line);
    if (!name) continue;
    bool seen = false;
    for (const auto& s : sections) seen = seen || SameName(s, *name);
    if (!seen) sections.emplace_back(*name);
  }
  return sections;
}

bool TPIniFile::SectionExists(std::string_view section) const {
  return FindSection(Load(file_name_), section) != kNone;
}

bool TPIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindValue(Load(file_name_), section, key).has_value();
}

void TPIniFile::EraseSection(std::string_view section) {
  IniText text = Load(file_name_);
  bool changed = false;
  std::size_t header;
  while ((header = FindSection(text, section)) != kNone) {
    std::size_t end = SectionEnd(text, header);
    text.lines.erase(text.lines.begin() + static_cast<std::ptrdiff_t>(header),
                     text.lines.begin() + static_cast<std::ptrdiff_t>(end));
    changed = true;
  }
  if (changed) Store(Serialize(text));
}

void TPIniFile::DeleteKey(std::string_view section, std::string_view key) {
  IniText text = Load(file_name_);
  std::size_t header = FindSection(text, section);
  if (header == kNone) return;
  bool changed = false;
  std::size_t line;
  while ((line = FindKey(text, header, key)) != kNone) {
    text.lines.erase(text.lines.begin() + static_cast<std::ptrdiff_t>(line));
    changed = true;
  }
  if (changed) Store(Serialize(text));
}

}  // namespace vellumark
