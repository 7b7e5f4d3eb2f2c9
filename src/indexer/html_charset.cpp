#include "indexer/html_charset.h"

#include <gumbo.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "util/utf8.h"

namespace vellumark {

namespace {

// How far into the document a <meta> naming the encoding counts.
constexpr std::size_t kMetaWindow = 1024;

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsHtmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsHtmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Labels to encoding names, after the encoding labels browsers accept.
const std::map<std::string, std::string, std::less<>>& Labels() {
  static const auto* labels = [] {
    auto* m = new std::map<std::string, std::string, std::less<>>;
    auto add = [m](const char* name, std::initializer_list<const char*> list) {
      for (const char* label : list) (*m)[label] = name;
    };
    add("UTF-8", {"unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "utf-8", "utf8",
                  "x-unicode20utf8"});
    add("IBM866", {"866", "cp866", "csibm866", "ibm866"});
    add("ISO-8859-2", {"csisolatin2", "iso-ir-101", "l2", "latin2", "iso_8859-2:1987"});
    add("ISO-8859-3", {"csisolatin3", "iso-ir-109", "l3", "latin3", "iso_8859-3:1988"});
    add("ISO-8859-4", {"csisolatin4", "iso-ir-110", "l4", "latin4", "iso_8859-4:1988"});
    add("ISO-8859-5", {"csisolatincyrillic", "cyrillic", "iso-ir-144", "iso_8859-5:1988"});
    add("ISO-8859-6",
        {"arabic", "asmo-708", "csiso88596e", "csiso88596i", "csisolatinarabic", "ecma-114",
         "iso-8859-6-e", "iso-8859-6-i", "iso-ir-127", "iso_8859-6:1987"});
    add("ISO-8859-7", {"csisolatingreek", "ecma-118", "elot_928", "greek", "greek8", "iso-ir-126",
                       "iso_8859-7:1987", "sun_eu_greek"});
    add("ISO-8859-8", {"csiso88598e", "csisolatinhebrew", "hebrew", "iso-8859-8-e", "iso-ir-138",
                       "iso_8859-8:1988", "visual", "csiso88598i", "iso-8859-8-i", "logical"});
    add("ISO-8859-10", {"csisolatin6", "iso-ir-157", "l6", "latin6"});
    add("ISO-8859-15", {"csisolatin9", "l9"});
    for (int n : {2, 3, 4, 5, 6, 7, 8, 10, 13, 14, 15, 16}) {
      const std::string name = "ISO-8859-" + std::to_string(n);
      const std::string d = std::to_string(n);
      for (const std::string& label :
           {"iso-8859-" + d, "iso8859-" + d, "iso8859" + d, "iso_8859-" + d}) {
        (*m)[label] = name;
      }
    }
    add("KOI8-R", {"cskoi8r", "koi", "koi8", "koi8-r", "koi8_r"});
    add("KOI8-U", {"koi8-ru", "koi8-u"});
    add("macintosh", {"csmacintosh", "mac", "macintosh", "x-mac-roman"});
    add("windows-874",
        {"dos-874", "iso-8859-11", "iso8859-11", "iso885911", "tis-620", "windows-874"});
    for (int n = 1250; n <= 1258; ++n) {
      const std::string d = std::to_string(n);
      (*m)["cp" + d] = "windows-" + d;
      (*m)["windows-" + d] = "windows-" + d;
      (*m)["x-cp" + d] = "windows-" + d;
    }
    add("windows-1252",
        {"ansi_x3.4-1968", "ascii", "cp819", "csisolatin1", "ibm819", "iso-8859-1", "iso-ir-100",
         "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1", "latin1", "us-ascii"});
    add("windows-1254", {"csisolatin5", "iso-8859-9", "iso-ir-148", "iso8859-9", "iso88599",
                         "iso_8859-9", "iso_8859-9:1989", "l5", "latin5"});
    add("x-mac-cyrillic", {"x-mac-cyrillic", "x-mac-ukrainian"});
    add("GBK", {"chinese", "csgb2312", "csiso58gb231280", "gb2312", "gb_2312", "gb_2312-80", "gbk",
                "iso-ir-58", "x-gbk"});
    add("gb18030", {"gb18030"});
    add("Big5", {"big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5"});
    add("EUC-JP", {"cseucpkdfmtjapanese", "euc-jp", "x-euc-jp"});
    add("ISO-2022-JP", {"csiso2022jp", "iso-2022-jp"});
    add("Shift_JIS", {"csshiftjis", "ms932", "ms_kanji", "shift-jis", "shift_jis", "sjis",
                      "windows-31j", "x-sjis"});
    add("EUC-KR", {"cseuckr", "csksc56011987", "euc-kr", "iso-ir-149", "korean", "ks_c_5601-1987",
                   "ks_c_5601-1989", "ksc5601", "ksc_5601", "windows-949"});
    add("replacement", {"csiso2022kr", "hz-gb-2312", "iso-2022-cn", "iso-2022-cn-ext",
                        "iso-2022-kr", "replacement"});
    add("UTF-16BE", {"unicodefffe", "utf-16be"});
    add("UTF-16LE",
        {"csunicode", "iso-10646-ucs-2", "ucs-2", "unicode", "unicodefeff", "utf-16", "utf-16le"});
    add("x-user-defined", {"x-user-defined"});
    return m;
  }();
  return *labels;
}

// ICU's converter for an encoding name where the two differ.
const char* IcuName(std::string_view encoding) {
  if (encoding == "Shift_JIS") return "windows-31j";
  if (encoding == "EUC-KR") return "windows-949";
  if (encoding == "Big5") return "Big5-HKSCS";
  if (encoding == "macintosh") return "macos-0_2-10.2";
  if (encoding == "x-mac-cyrillic") return "macos-7_3-10.2";
  return nullptr;
}

struct CloseConverter {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

// Well-formed UTF-8; `multibyte` tells whether any sequence is longer than one byte.
bool IsUtf8(std::string_view bytes, bool& multibyte) {
  multibyte = false;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    if (NextCodePoint(bytes, pos) == 0xFFFD && !bytes.substr(start).starts_with("\xEF\xBF\xBD")) {
      return false;
    }
    multibyte = true;
  }
  return true;
}

// The encoding a <meta> in the first bytes names, "" for none. The window is parsed as a
// document of its own; a cut element at its end is harmless.
std::string MetaEncoding(std::string_view bytes) {
  const std::string_view window = bytes.substr(0, std::min(bytes.size(), kMetaWindow));
  GumboOutput* output =
      gumbo_parse_with_options(&kGumboDefaultOptions, window.data(), window.size());
  std::string found;
  std::vector<const GumboNode*> stack{output->root};
  while (!stack.empty() && found.empty()) {
    const GumboNode* node = stack.back();
    stack.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT) continue;
    const GumboElement& element = node->v.element;
    if (element.tag == GUMBO_TAG_META) {
      std::string label;
      if (const GumboAttribute* charset = gumbo_get_attribute(&element.attributes, "charset")) {
        label = charset->value;
      } else if (const GumboAttribute* equiv =
                     gumbo_get_attribute(&element.attributes, "http-equiv")) {
        const GumboAttribute* content = gumbo_get_attribute(&element.attributes, "content");
        if (content && LowerAscii(Trim(equiv->value)) == "content-type") {
          label = CharsetParameter(content->value);
        }
      }
      std::string encoding = EncodingForLabel(label);
      if (encoding.starts_with("UTF-16")) encoding = "UTF-8";
      if (encoding == "x-user-defined") encoding = "windows-1252";
      found = encoding;
    }
    for (unsigned i = element.children.length; i > 0; --i) {
      stack.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
  }
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return found;
}

}  // namespace

std::string EncodingForLabel(std::string_view label) {
  const auto it = Labels().find(LowerAscii(Trim(label)));
  return it == Labels().end() ? std::string() : it->second;
}

std::string CharsetParameter(std::string_view text) {
  const std::string lower = LowerAscii(text);
  std::size_t at = 0;
  for (;;) {
    at = lower.find("charset", at);
    if (at == std::string::npos) return {};
    at += 7;
    while (at < text.size() && IsHtmlSpace(text[at])) ++at;
    if (at < text.size() && text[at] == '=') break;
  }
  ++at;
  while (at < text.size() && IsHtmlSpace(text[at])) ++at;
  if (at >= text.size()) return {};
  if (text[at] == '"' || text[at] == '\'') {
    const std::size_t end = text.find(text[at], at + 1);
    if (end == std::string_view::npos) return {};
    return std::string(text.substr(at + 1, end - at - 1));
  }
  std::size_t end = at;
  while (end < text.size() && !IsHtmlSpace(text[end]) && text[end] != ';') ++end;
  return std::string(text.substr(at, end - at));
}

std::string SniffHtmlEncoding(std::string_view bytes, std::string_view content_type) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return "UTF-8";
  if (bytes.starts_with("\xFE\xFF")) return "UTF-16BE";
  if (bytes.starts_with("\xFF\xFE")) return "UTF-16LE";
  if (std::string encoding = EncodingForLabel(CharsetParameter(content_type)); !encoding.empty()) {
    return encoding;
  }
  if (std::string encoding = MetaEncoding(bytes); !encoding.empty()) return encoding;
  bool multibyte = false;
  if (IsUtf8(bytes, multibyte) && multibyte) return "UTF-8";
  return "windows-1252";
}

std::string EncodeFromUtf8(std::string_view text, std::string_view encoding) {
  if (encoding.empty() || encoding == "UTF-8" || encoding.starts_with("UTF-16") ||
      encoding == "replacement" || encoding == "x-user-defined" ||
      std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::string(text);
  }
  const char* name = IcuName(encoding);
  UErrorCode error = U_ZERO_ERROR;
  std::unique_ptr<UConverter, CloseConverter> converter(
      ucnv_open(name ? name : std::string(encoding).c_str(), &error));
  if (U_FAILURE(error) || !converter) return std::string(text);
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
  // Character by character, so that one the encoding lacks becomes its reference, already
  // percent-encoded as an address needs it.
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      out += text[pos++];
      continue;
    }
    const char32_t cp = NextCodePoint(text, pos);
    UChar units[2];
    int32_t length = 0;
    U16_APPEND_UNSAFE(units, length, static_cast<UChar32>(cp));
    char bytes[16];
    error = U_ZERO_ERROR;
    ucnv_resetFromUnicode(converter.get());
    const int32_t n = ucnv_fromUChars(converter.get(), bytes, sizeof bytes, units, length, &error);
    if (U_SUCCESS(error) && n > 0) {
      out.append(bytes, static_cast<std::size_t>(n));
    } else {
      out += "%26%23" + std::to_string(static_cast<std::uint32_t>(cp)) + "%3B";
    }
  }
  return out;
}

std::string DecodeToUtf8(std::string_view bytes, std::string_view encoding) {
  if (encoding == "UTF-8" || encoding == "UTF-16BE" || encoding == "UTF-16LE") {
    const std::string_view bom = encoding == "UTF-8"      ? "\xEF\xBB\xBF"
                                 : encoding == "UTF-16BE" ? "\xFE\xFF"
                                                          : "\xFF\xFE";
    if (bytes.starts_with(bom)) bytes.remove_prefix(bom.size());
  }
  if (encoding == "UTF-8") {
    bool multibyte = false;
    if (IsUtf8(bytes, multibyte)) return std::string(bytes);
  } else if (!encoding.starts_with("UTF-16") && encoding != "ISO-2022-JP" &&
             encoding != "replacement" && std::all_of(bytes.begin(), bytes.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x80;
             })) {
    return std::string(bytes);  // ASCII reads the same in every other encoding
  }
  std::string out;
  if (encoding == "replacement") {
    if (!bytes.empty()) AppendUtf8(out, 0xFFFD);
    return out;
  }
  if (encoding == "x-user-defined") {
    for (char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      AppendUtf8(out, b < 0x80 ? b : 0xF780 + (b - 0x80));
    }
    return out;
  }
  const char* name = IcuName(encoding);
  const std::string fallback = "windows-1252";
  UErrorCode error = U_ZERO_ERROR;
  std::unique_ptr<UConverter, CloseConverter> converter(
      ucnv_open(name ? name : std::string(encoding).c_str(), &error));
  if (U_FAILURE(error) || !converter) {
    error = U_ZERO_ERROR;
    converter.reset(ucnv_open(fallback.c_str(), &error));
    if (U_FAILURE(error) || !converter) return std::string(bytes);
  }
  const icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter.get(),
                                error);
  text.toUTF8String(out);
  return out;
}

}  // namespace vellumark
