// The unit start-up, run once before any window exists: it finds the program folder, makes it
// the current directory, opens the settings file there and reads the database root folder.
//
// The executable path and the environment are passed in as a StartupEnvironment, so every rule
// can be tried in tests; StartupEnvironment::FromProcess() reads the real ones.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/context.h"
#include "util/exception.h"
#include "util/inifile.h"

namespace vellumark {

// A start-up step failed: the program folder could not be found, created or made the current
// directory. The program cannot run.
class EStartupError : public Exception {
 public:
  using Exception::Exception;
};

struct StartupEnvironment {
  std::string executable_path;                // full path of the program file
  std::optional<std::string> vellumark_home;  // VELLUMARK_HOME; empty counts as unset
  std::optional<std::string> xdg_data_home;   // XDG_DATA_HOME; used only when absolute
  std::optional<std::string> home;            // HOME

  // The running program's own path (/proc/self/exe) and environment.
  static StartupEnvironment FromProcess();
};

// The folder part of `executable_path` (with its trailing "/"), cut in front of its first
// "/bin/" component, found without regard to case, when that stands at a position above 1:
// "/opt/vm/Bin/vellumark" gives "/opt/vm/", "/bin/vellumark" gives "/bin/".
std::string ProgramFolderOf(std::string_view executable_path);

// The folder of the files an installed program brings along (help page, default result page
// header): share/vellumark/ beside the executable's bin/ folder ("/usr/bin/vellumark" gives
// "/usr/share/vellumark/"), or empty when there is none, as in a build folder.
std::string ShippedFolderOf(std::string_view executable_path);

// The program folder: VELLUMARK_HOME when set (created if missing); else ProgramFolderOf the
// executable when that folder is writable and the program is not installed (has no shipped
// folder); else $XDG_DATA_HOME/vellumark/ (by default $HOME/.local/share/vellumark/), created
// if missing. So an installed program never writes beside its binaries, even when it could.
// Always absolute and ending with "/". Throws EStartupError when no folder can be had.
std::string FindProgramFolder(const StartupEnvironment& env);

// program folder + the program file's name with its extension changed to ".ini".
std::string SettingsFileName(const std::string& program_folder, std::string_view executable_path);

// "Folders" / "DBFolder" as a full path ending with "/": empty means the program folder, a
// relative value is taken from the program folder, and a missing final "/" is added so that
// location folders land inside the root and not beside it.
std::string DatabaseRootFolder(const TPIniFile& settings, const std::string& program_folder);

// The whole start-up: finds the program folder, makes it the current directory, opens the
// settings file and reads the database root folder, and fills those fields of `context` and
// its shipped folder. The caller owns the returned settings object and must keep it alive while
// `context.settings` is in use. Throws EStartupError.
std::unique_ptr<TPIniFile> StartUnit(const StartupEnvironment& env, ProgramContext& context);

}  // namespace vellumark
