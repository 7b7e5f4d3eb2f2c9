#include "browser/trusted_chain.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

namespace vellumark {
namespace {

struct FreeX509 {
  void operator()(X509* x) const { X509_free(x); }
};
struct FreeStore {
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct FreeStoreCtx {
  void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct FreeStack {
  void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
};

std::unique_ptr<X509, FreeX509> FromDer(const std::string& der) {
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  return std::unique_ptr<X509, FreeX509>(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

bool IsAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string Verify(const std::vector<std::string>& der_chain, const std::string& host,
                   const std::string& ca_file) {
  if (ca_file.empty()) return "no trusted authorities are named";
  if (der_chain.empty()) return "the server sent no certificate";
  if (host.empty()) return "no host name";

  std::unique_ptr<X509_STORE, FreeStore> store(X509_STORE_new());
  if (!store || X509_STORE_load_file(store.get(), ca_file.c_str()) != 1) {
    return "cannot read the trusted certificates in \"" + ca_file + "\"";
  }

  auto leaf = FromDer(der_chain.front());
  if (!leaf) return "the server's certificate cannot be read";
  std::unique_ptr<STACK_OF(X509), FreeStack> intermediates(sk_X509_new_null());
  if (!intermediates) return "out of memory";
  for (std::size_t i = 1; i < der_chain.size(); ++i) {
    auto cert = FromDer(der_chain[i]);
    if (!cert) return "a certificate of the chain cannot be read";
    if (sk_X509_push(intermediates.get(), cert.get()) <= 0) return "out of memory";
    cert.release();
  }

  std::unique_ptr<X509_STORE_CTX, FreeStoreCtx> ctx(X509_STORE_CTX_new());
  if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), intermediates.get()) != 1) {
    return "out of memory";
  }
  X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SSL_SERVER);
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
  if (IsAddress(host)) {
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) return "bad address " + host;
  } else {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) != 1) {
      return "bad host name " + host;
    }
  }
  if (X509_verify_cert(ctx.get()) == 1) return {};
  return X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
}

}  // namespace

std::string ChainVerifiesByTrustedCA(const std::vector<std::string>& der_chain,
                                     const std::string& host, const std::string& ca_file) {
  std::string reason = Verify(der_chain, host, ca_file);
  ERR_clear_error();
  return reason;
}

}  // namespace vellumark
