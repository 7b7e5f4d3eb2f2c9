// Every section and key of the settings file that Vellumark reads or writes, named once here;
// the callers pass these names and keep their own defaults.
#pragma once

#include "util/inifile.h"

namespace vellumark {

// "Folders": the database root folder (read at start) and the current location, saved at the
// end of a run and read at the next start.
inline constexpr TSettingKey kDBFolderSetting{"Folders", "DBFolder"};
inline constexpr TSettingKey kTaskFolderSetting{"Folders", "TaskFolder"};

// "Interface": the system-wide hot key of the search bar.
inline constexpr TSettingKey kHotKeySetting{"Interface", "HotKey"};

// "Options": the search bar's default mode and sub-word check, the delimiter characters, and
// the file of extra trusted certificate authorities.
inline constexpr TSettingKey kIncludedSetting{"Options", "Included"};
inline constexpr TSettingKey kSearchOptionsSetting{"Options", "SearchOptions"};
inline constexpr TSettingKey kSearchDelimitersSetting{"Options", "SearchDelimiters"};
inline constexpr TSettingKey kTrustedCASetting{"Options", "TrustedCA"};

// "HeaderFile": the file of the result page's header lines.
inline constexpr TSettingKey kHeaderFileSetting{"HeaderFile", "FileName"};

// "FormStatus": one key per window, named after the window's component name ("MainForm",
// "IndexForm", "OptsForm"), holding its placement.
inline constexpr char kFormStatusSection[] = "FormStatus";

}  // namespace vellumark
