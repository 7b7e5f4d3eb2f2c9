// The extra trusted certificate authorities of the settings file ("Options" / "TrustedCA", a
// file of PEM certificates), for a user's own intranet sites. The HTTP client adds them to the
// system's store; the browser, which keeps to its own store, accepts a certificate error only
// when the page's chain verifies against them (ChainVerifiesByTrustedCA).
#pragma once

#include <string>
#include <vector>

#include "util/inifile.h"

namespace vellumark {

// The file named by "Options" / "TrustedCA", empty when none is named. A relative name is
// taken from the program folder (`program_folder` ends with "/"), where the settings file is.
std::string TrustedCAFileSetting(const TPIniFile& settings, const std::string& program_folder);

// Verifies a server's certificate chain (DER, the server's own certificate first, then the
// intermediates it sent) against the authorities in `ca_file` alone, not the system's store:
// the chain must end in one of them, be valid now, fit a TLS server, and be made out to
// `host` (a name, or an IPv4 / IPv6 address without brackets). Returns an empty text when it
// verifies, else the reason.
std::string ChainVerifiesByTrustedCA(const std::vector<std::string>& der_chain,
                                     const std::string& host, const std::string& ca_file);

}  // namespace vellumark
