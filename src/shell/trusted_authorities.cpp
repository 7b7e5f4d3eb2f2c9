#include "shell/trusted_authorities.h"

#include "util/settings_names.h"

namespace vellumark {

std::string TrustedCAFileSetting(const TPIniFile& settings, const std::string& program_folder) {
  std::string file = settings.ReadString(kTrustedCASetting, "");
  if (!file.empty() && file.front() != '/') file = program_folder + file;
  return file;
}

}  // namespace vellumark
