// The browser's rule for certificate errors: it keeps to the engine's own certificate store and
// accepts an error only when the page's chain verifies against the extra trusted authorities of
// the settings file ("Options" / "TrustedCA", a file of PEM certificates; the shell reads the
// setting). No Qt here, so the rule runs in plain unit tests.
#pragma once

#include <string>
#include <vector>

namespace vellumark {

// Verifies a server's certificate chain (DER, the server's own certificate first, then the
// intermediates it sent) against the authorities in `ca_file` alone, not the system's store:
// the chain must end in one of them, be valid now, fit a TLS server, and be made out to
// `host` (a name, or an IPv4 / IPv6 address without brackets). Returns an empty text when it
// verifies, else the reason.
std::string ChainVerifiesByTrustedCA(const std::vector<std::string>& der_chain,
                                     const std::string& host, const std::string& ca_file);

}  // namespace vellumark
