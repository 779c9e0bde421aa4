// The HTTPS listener's identity: a certificate and key from PEM files, or a self-signed pair
// made at start for tests.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace rundix::server {

struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct EvpKeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

struct TlsIdentity {
  std::unique_ptr<X509, X509Free> certificate;
  std::unique_ptr<EVP_PKEY, EvpKeyFree> key;
};

bool LoadTlsIdentity(const std::string& certFile, const std::string& keyFile, TlsIdentity* identity,
                     std::string* error);
// A fresh RSA key and a certificate for `host` (and "localhost", "127.0.0.1") signed with
// it, valid from yesterday for a year.
bool MakeSelfSignedIdentity(const std::string& host, TlsIdentity* identity, std::string* error);

}  // namespace rundix::server
