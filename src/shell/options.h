// The options window's handlers without widgets: the result page header file, and what the
// window reads at creation and writes when it closes (the delimiter text's rules are in
// util/delimiter_text.h).
//
// The delimiter set and the header lines are program-wide (ProgramContext::DelimiterChars and
// ::HeaderLines); the settings live in "Options" and "HeaderFile". The window also holds the
// page loading options (indexer/loader_settings.h): the loader of new locations, the fast
// loader's requests in flight and whether robots.txt is obeyed.
#pragma once

#include <string>
#include <vector>

#include "indexer/loader_settings.h"
#include "platform/dialogs.h"
#include "util/context.h"
#include "util/delimiter_text.h"
#include "util/inifile.h"

namespace vellumark {

inline constexpr const char* kDefaultHeaderFile = "SHFile.htm";

// The six lines of the result page header used when the header file cannot be read.
const std::vector<std::string>& DefaultHeaderLines();

// Reads the header file's non-empty lines into `lines` (a relative name is taken from the
// current folder, the program folder). True when the file could be read, even when empty;
// otherwise the six default lines are added and the result is false.
bool LoadHeaderFile(const std::string& name, std::vector<std::string>& lines);

// The full path of a file name, as the messages show it.
std::string FullPathOf(const std::string& name);

// What the options window shows.
struct OptionsValues {
  std::string header_file;     // edSHFile
  std::string delimiter_text;  // meSearchDelim
  bool sub_word = false;       // cbSubWord
  std::string search_options;  // cbSearchOptions text
  LoaderSettings loader;       // cbBrowserLoader (new locations), seRequests, cbObeyRobots
};

// The window's creation: reads the header file name and the delimiter specification from the
// settings, loads the header and parses the delimiters without any message (falling back to
// the defaults), and returns what the window shows. The two check and combo values are the
// caller's (they copy the search bar's).
OptionsValues OptionsFormCreate(ProgramContext& context, const TPIniFile& settings);

// The window's close: loads the header file and parses the delimiters again, reports problems,
// and writes the settings.
void OptionsFormClose(const OptionsValues& values, ProgramContext& context, TPIniFile& settings,
                      Dialogs& dialogs);

// Writes the default header file `name` when it does not exist, so that a new program folder
// has one. False when it could not be written.
bool WriteDefaultHeaderFile(const std::string& name);

}  // namespace vellumark
