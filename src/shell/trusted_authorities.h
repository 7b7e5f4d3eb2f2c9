// The extra trusted certificate authorities of the settings file ("Options" / "TrustedCA", a
// file of PEM certificates), for a user's own intranet sites. The HTTP client adds them to the
// system's store; the browser, which keeps to its own store, accepts a certificate error only
// when the page's chain verifies against them (browser/trusted_chain.h).
#pragma once

#include <string>

#include "util/inifile.h"

namespace vellumark {

// The file named by "Options" / "TrustedCA", empty when none is named. A relative name is
// taken from the program folder (`program_folder` ends with "/"), where the settings file is.
std::string TrustedCAFileSetting(const TPIniFile& settings, const std::string& program_folder);

}  // namespace vellumark
