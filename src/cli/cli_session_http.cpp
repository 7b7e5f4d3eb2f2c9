// CliSession's HTTP client, apart from the rest of the session: it brings the network layer,
// which only the commands library needs (commands_library.h).
#include "cli/cli_session.h"
#include "net/http_client.h"
#include "shell/program_shell.h"
#include "shell/trusted_authorities.h"

namespace vellumark::cli {

THttpClient& CliSession::HttpClient() {
  // As in the program: the program shell's client, with the settings' trusted authorities.
  if (!http_) {
    http_ = {
        MakeHttpClient(pump_, TrustedCAFileSetting(*settings_, context_.program_folder)).release(),
        [](THttpClient* client) { delete client; }};
  }
  return *http_;
}

}  // namespace vellumark::cli
