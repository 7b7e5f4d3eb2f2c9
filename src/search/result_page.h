// The result page "SrchRes.htm": its fixed lines, the line of each entry, the text sample that
// shows where the sample occurs in a page, and the file they are written to.
//
// Everything that comes from pages (titles, addresses, start texts, text samples) is escaped
// for HTML, addresses inside href as attribute values, so a page can neither run script in
// the local result page nor break its markup. The header lines are the user's own markup and
// are written as they stand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/search_mode.h"

namespace vellumark {

inline constexpr const char* kResultFileName = "SrchRes.htm";

// More matches than this write no entries, only the line asking for a more specific sample.
inline constexpr std::int64_t kMaxListedMatches = 1000;

inline constexpr const char* kDocTypeLine = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">";
inline constexpr const char* kHtmlLine = "<HTML>";
// Stands in for the header when there are no header lines at all.
inline constexpr const char* kHeaderFallbackLine =
    "<P><dl><FONT CLASS=10V FACE=\"Verdana, Arial, Helvetica\" SIZE=2>";
inline constexpr const char* kBodyEndLine = "</BODY>";
inline constexpr const char* kHtmlEndLine = "</HTML>";
inline constexpr const char* kNoSampleLine = "<BR>";
inline constexpr const char* kDocumentNotFoundLine =
    "<FONT COLOR=\"#003399\"><b>Started as:</b></FONT> Document not found ...<BR><BR>";

// Text for element content: & < > " and ' as character references.
std::string HtmlText(std::string_view text);
// The same for a double-quoted attribute value.
std::string HtmlAttribute(std::string_view text);

std::string SummaryLine(std::int64_t count);
std::string TooManyMatchesLine(std::int64_t count);
// The stop question before entry c + 1, and the line that ends the listing on Yes.
std::string StopQuestion(std::int64_t c, std::int64_t count);
std::string InterruptedLine(std::int64_t c, std::int64_t count);
// True when the question is asked before entry c + 1: at 10, 50 and 100 when the pages are
// visited ("Show") or the mode is Exact Phrase, and at 500 in any case.
bool AsksToStop(std::int64_t c, bool show_sample, TSearchMode mode);

// The numbered link of entry n; the address is the link text when the title is empty.
std::string LinkLine(std::int64_t n, std::string_view address, std::string_view title);
// "Started as:" with the stored start of the page.
std::string StartedAsLine(std::string_view start_text);
// "Text found:" with the sample S.
std::string TextFoundLine(std::string_view sample);

// The break characters of the text sample: tab, LF, CR, blank and ! " # $ % & ' ( ) * , - . /
// : ; ? @ [ \ ] ^ { | }.
bool IsBreakChar(char c);

// The 1-based byte position in the lower-cased page text `text` where the sample is shown from:
// Any Words: the first position of the first word of `words` that occurs; All Words: the first
// position of the first word, when every word occurs; Exact Phrase: the first position of
// `sample` as typed. Nothing when there is no such position.
std::optional<std::size_t> SampleAnchor(std::string_view text, TSearchMode mode,
                                        const std::vector<std::string>& words,
                                        std::string_view sample);
// The text sample S around `anchor` (1-based): the whole text up to 200 bytes; otherwise about
// 200 bytes cut at break characters, with "..." where text was left out. Never cuts inside a
// UTF-8 sequence. Not escaped.
std::string TextSample(std::string_view text, std::size_t anchor);

// The result page file: lines ended by CR LF. Create makes the file at once (so a folder that
// cannot hold it is known before the search runs); the lines are gathered in memory and reach
// the file in one write when it is closed. The old page is written over and then cut to the
// new length rather than emptied first: emptying a file frees its blocks, which on some file
// systems costs more than the whole search.
class TResultPageFile final {
 public:
  TResultPageFile() = default;
  ~TResultPageFile();
  TResultPageFile(const TResultPageFile&) = delete;
  TResultPageFile& operator=(const TResultPageFile&) = delete;

  // Creates or opens `path` for writing; false when it cannot.
  bool Create(const std::string& path);
  void WriteLine(std::string_view line);
  // Makes room for `bytes` more of lines, so a long listing is not copied while it grows.
  void Reserve(std::size_t bytes) { text_.reserve(text_.size() + bytes); }
  // Writes the lines, cuts the file to them and closes it; false when that failed.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;       // the open file, -1 when closed
  std::string text_;  // the lines not yet written
};

}  // namespace vellumark
