// The settings file: a plain UTF-8 INI file of "[Section]" headers and "Key=Value" lines, read
// and written with the semantics of the Windows profile functions.
//
// - Section and key names compare without regard to the case of the letters A to Z.
// - Nothing is cached: every read opens and parses the file, every write changes the file at
//   once, so two objects on the same file see each other's writes immediately.
// - A value read is trimmed of surrounding blanks and tabs and then, when it is enclosed in a
//   matching pair of double or single quotes, loses that one pair. A missing key (or a missing
//   or unreadable file) gives the default; a key written as "Key=" reads as the empty text.
// - Lines starting with ";" are comments; lines that are neither a header nor hold a "=" are
//   kept but ignored. When a section or a key occurs more than once, the first is the one read
//   and written.
// - A write keeps every other line (sections, keys, comments, blank lines, their order and the
//   file's line ends) as it was. The whole new text goes through the writer the object was
//   given, by default WriteFileAtomically (util/files.h): a temporary file beside the settings
//   file renamed over the old one, so the file is never seen half written and a full disk
//   leaves the old file whole.
//
// A write that fails throws `EIniFileException`. Line breaks in a written name or value are
// replaced by blanks, so a write can never add lines of its own to the file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/exception.h"
#include "util/files.h"

namespace vellumark {

class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// A key of the settings file with its section (util/settings_names.h names them all).
struct TSettingKey {
  std::string_view section;
  std::string_view key;
};

class TPIniFile final {
 public:
  // The file need not exist; the first write creates it (but not its folder). `writer` stores
  // the file's whole new text (tests hand in the file-system seam's).
  explicit TPIniFile(std::string file_name, TWholeFileWriter writer = WriteFileAtomically);

  TPIniFile(const TPIniFile&) = delete;
  TPIniFile& operator=(const TPIniFile&) = delete;

  const std::string& FileName() const { return file_name_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // A decimal integer with an optional sign, or hexadecimal after "0x"; anything else, or a
  // number outside the 32-bit range, gives the default. Written in decimal.
  int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
  void WriteInteger(std::string_view section, std::string_view key, int value);

  // Read as an integer: non-zero is true. Written as "1" or "0". (Settings that hold the texts
  // "TRUE" / "FALSE" are read with ReadString.)
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // The same, for a key named in util/settings_names.h.
  std::string ReadString(TSettingKey k, std::string_view default_value) const {
    return ReadString(k.section, k.key, default_value);
  }
  void WriteString(TSettingKey k, std::string_view value) { WriteString(k.section, k.key, value); }
  int ReadInteger(TSettingKey k, int default_value) const {
    return ReadInteger(k.section, k.key, default_value);
  }
  void WriteInteger(TSettingKey k, int value) { WriteInteger(k.section, k.key, value); }
  bool ValueExists(TSettingKey k) const { return ValueExists(k.section, k.key); }

  // The key names of a section in file order (each name once, as first written); empty when
  // the section is missing.
  std::vector<std::string> ReadSection(std::string_view section) const;
  // The section names in file order, each once.
  std::vector<std::string> ReadSections() const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Removes every header line of the section with all the lines that belong to it. Nothing
  // happens (and the file is not rewritten) when the section is missing.
  void EraseSection(std::string_view section);
  // Removes every line of the key in the (first) section; nothing happens when it is missing.
  void DeleteKey(std::string_view section, std::string_view key);

 private:
  // Writes `data` as the whole file; raises EIniFileException when the writer fails.
  void Store(const std::string& data);

  std::string file_name_;
  TWholeFileWriter writer_;
};

}  // namespace vellumark
