// Verifying a server's chain against the extra trusted authorities alone, with the test
// certificates: what is accepted, and the reason for what is not.
#include "browser/trusted_chain.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>

#include "support/test_certificates.h"

namespace vellumark {
namespace {

// The certificates of a PEM file, as DER, in file order.
std::vector<std::string> DerChain(const std::string& pem_file) {
  std::vector<std::string> chain;
  std::FILE* f = std::fopen(pem_file.c_str(), "r");
  if (!f) return chain;
  while (X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr)) {
    unsigned char* der = nullptr;
    const int n = i2d_X509(cert, &der);
    if (n > 0) chain.emplace_back(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
    X509_free(cert);
  }
  std::fclose(f);
  return chain;
}

class TrustedChain : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string log;
    ASSERT_TRUE(testing::MakeTestCertificates(&certs, &log)) << log;
  }
  testing::TestCertificates certs;
};

TEST_F(TrustedChain, AChainFromTheAuthorityVerifiesForItsNamesOnly) {
  const auto good = DerChain(certs.localhost);
  ASSERT_FALSE(good.empty());
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "127.0.0.1", certs.ca), "");
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "localhost", certs.ca), "");
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "127.0.0.2", certs.ca), "IP address mismatch");
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "other.example", certs.ca), "hostname mismatch");
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "::1", certs.ca), "IP address mismatch");
  EXPECT_EQ(ChainVerifiesByTrustedCA(DerChain(certs.other_host), "localhost", certs.ca),
            "hostname mismatch");
  EXPECT_EQ(ChainVerifiesByTrustedCA(DerChain(certs.other_host), "other.example", certs.ca), "");
}

TEST_F(TrustedChain, OtherAuthoritiesExpiredAndUnreadableChainsAreRefused) {
  EXPECT_EQ(ChainVerifiesByTrustedCA(DerChain(certs.expired), "localhost", certs.ca),
            "certificate has expired");
  EXPECT_EQ(ChainVerifiesByTrustedCA(DerChain(certs.untrusted), "localhost", certs.ca),
            "unable to get local issuer certificate");
  // The system's store does not count here: only the named authorities do.
  EXPECT_NE(ChainVerifiesByTrustedCA(DerChain(certs.localhost), "localhost",
                                     "/etc/ssl/certs/ca-certificates.crt"),
            "");
  // The authority's own certificate is no server certificate.
  EXPECT_NE(ChainVerifiesByTrustedCA(DerChain(certs.ca), "localhost", certs.ca), "");
  EXPECT_EQ(ChainVerifiesByTrustedCA({"not a certificate"}, "localhost", certs.ca),
            "the server's certificate cannot be read");
  EXPECT_EQ(ChainVerifiesByTrustedCA({}, "localhost", certs.ca), "the server sent no certificate");
  EXPECT_NE(ChainVerifiesByTrustedCA(DerChain(certs.localhost), "", certs.ca), "");
}

TEST_F(TrustedChain, NoUsableAuthorityFileAcceptsNothing) {
  const auto good = DerChain(certs.localhost);
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "localhost", ""), "no trusted authorities are named");
  EXPECT_EQ(ChainVerifiesByTrustedCA(good, "localhost", certs.dir + "missing.pem"),
            "cannot read the trusted certificates in \"" + certs.dir + "missing.pem\"");
  // A server key is no authority.
  EXPECT_NE(ChainVerifiesByTrustedCA(good, "localhost", certs.key), "");
}

}  // namespace
}  // namespace vellumark
