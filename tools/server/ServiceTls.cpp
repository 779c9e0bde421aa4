#include "tools/server/ServiceTls.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace rundix::server {
namespace {

std::string OpenSslError(const std::string& what) {
  unsigned long code = ERR_get_error();
  char text[256] = "";
  if (code != 0) ERR_error_string_n(code, text, sizeof(text));
  return what + (code != 0 ? std::string(": ") + text : std::string());
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

bool AddExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

}  // namespace

bool LoadTlsIdentity(const std::string& certFile, const std::string& keyFile, TlsIdentity* identity,
                     std::string* error) {
  std::unique_ptr<FILE, FileCloser> certIn(std::fopen(certFile.c_str(), "rb"));
  std::unique_ptr<FILE, FileCloser> keyIn(std::fopen(keyFile.c_str(), "rb"));
  if (!certIn || !keyIn) {
    if (error) *error = "cannot read " + (certIn ? keyFile : certFile);
    return false;
  }
  identity->certificate.reset(PEM_read_X509(certIn.get(), nullptr, nullptr, nullptr));
  identity->key.reset(PEM_read_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
  if (!identity->certificate || !identity->key) {
    if (error) *error = OpenSslError("not a PEM certificate and key");
    return false;
  }
  if (X509_check_private_key(identity->certificate.get(), identity->key.get()) != 1) {
    if (error) *error = "the key does not belong to the certificate";
    return false;
  }
  return true;
}

bool MakeSelfSignedIdentity(const std::string& host, TlsIdentity* identity, std::string* error) {
  identity->key.reset(EVP_RSA_gen(2048));
  identity->certificate.reset(X509_new());
  X509* cert = identity->certificate.get();
  if (!identity->key || !cert) {
    if (error) *error = OpenSslError("cannot make a key");
    return false;
  }
  unsigned char serial[8];
  RAND_bytes(serial, sizeof(serial));
  serial[0] &= 0x7F;
  uint64_t number = 0;
  for (unsigned char b : serial) number = (number << 8) | b;
  X509_set_version(cert, 2);
  ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert), number);
  X509_gmtime_adj(X509_getm_notBefore(cert), -24L * 3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 365L * 24 * 3600);
  X509_set_pubkey(cert, identity->key.get());
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Rundix test"), -1,
                             -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(cert, name);
  std::string altNames = "DNS:localhost,IP:127.0.0.1";
  bool hostIsIp = !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
  if (!host.empty() && host != "localhost" && host != "127.0.0.1") {
    altNames += (hostIsIp ? ",IP:" : ",DNS:") + host;
  }
  if (!AddExtension(cert, NID_subject_alt_name, altNames) ||
      !AddExtension(cert, NID_basic_constraints, "critical,CA:FALSE") ||
      !AddExtension(cert, NID_ext_key_usage, "serverAuth") ||
      X509_sign(cert, identity->key.get(), EVP_sha256()) == 0) {
    if (error) *error = OpenSslError("cannot make a certificate");
    return false;
  }
  return true;
}

}  // namespace rundix::server
