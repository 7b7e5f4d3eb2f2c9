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

// "Options" as well: the page loader of new locations ("browser" or "fast"), the fast loader's
// requests in flight (1 to 16, also the limit per host) and whether robots.txt is obeyed
// ("TRUE" / "FALSE").
inline constexpr TSettingKey kDefaultLoaderSetting{"Options", "DefaultLoader"};
inline constexpr TSettingKey kRequestsInFlightSetting{"Options", "RequestsInFlight"};
inline constexpr TSettingKey kObeyRobotsSetting{"Options", "ObeyRobots"};

// "LocationLoader": one key per location, named by its Task_No in decimal, holding the page
// loader the location uses ("browser" or "fast"). A location without a key uses the default
// for new locations.
inline constexpr char kLocationLoaderSection[] = "LocationLoader";

// "HeaderFile": the file of the result page's header lines.
inline constexpr TSettingKey kHeaderFileSetting{"HeaderFile", "FileName"};

// "FormStatus": one key per window, named after the window's component name ("MainForm",
// "IndexForm", "OptsForm"), holding its placement.
inline constexpr char kFormStatusSection[] = "FormStatus";

}  // namespace vellumark
