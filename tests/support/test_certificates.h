// Certificates for the TLS tests, made at test time with the `openssl` command in a fresh
// temporary folder: a test authority, and server certificates (with their keys) that are good,
// made out to another host, expired, or issued by an authority nobody trusts.
#pragma once

#include <string>

namespace vellumark::testing {

struct TestCertificates {
  std::string dir;         // the folder holding every file below, ends with "/"
  std::string ca;          // PEM certificate of the test authority
  std::string key;         // the one server key, used by every server certificate below
  std::string localhost;   // for DNS:localhost and IP:127.0.0.1, by the test authority
  std::string other_host;  // for DNS:other.example, by the test authority
  std::string expired;     // for DNS:localhost, by the test authority, expired in 2020
  std::string untrusted;   // for DNS:localhost, by an authority of its own
};

// Makes the files once per process; false (with the command output in `*log`) when openssl
// failed.
bool MakeTestCertificates(TestCertificates* out, std::string* log);

}  // namespace vellumark::testing
