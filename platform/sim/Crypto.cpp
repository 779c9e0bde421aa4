// SHA-256 and random bytes over OpenSSL's EVP interface.
#include "platform/Crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

namespace rundix {

struct Sha256::Impl {
  EVP_MD_CTX* context = nullptr;
  bool ok = false;
};

Sha256::Sha256() : impl_(new Impl) {
  impl_->context = EVP_MD_CTX_new();
  impl_->ok = impl_->context != nullptr && EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() { EVP_MD_CTX_free(impl_->context); }

bool Sha256::valid() const { return impl_->ok; }

bool Sha256::Update(const void* data, size_t bytes) {
  if (!impl_->ok) return false;
  if (bytes != 0 && EVP_DigestUpdate(impl_->context, data, bytes) != 1) impl_->ok = false;
  return impl_->ok;
}

std::string Sha256::FinishHex() {
  if (!impl_->ok) return {};
  impl_->ok = false;  // once
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(impl_->context, digest, &length) != 1 || length != kDigestBytes) return {};
  return HexText(digest, length);
}

bool RandomBytes(void* buffer, size_t bytes) {
  return bytes <= INT_MAX && RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(bytes)) == 1;
}

}  // namespace rundix
