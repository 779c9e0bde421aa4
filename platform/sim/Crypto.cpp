// SHA-256, MD5 and random bytes over OpenSSL's EVP interface; GUIDs from random bytes.
#include "platform/Crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

namespace rundix {

struct HashDigest::Impl {
  EVP_MD_CTX* context = nullptr;
  size_t digestBytes = 0;
  bool ok = false;
};

HashDigest::HashDigest(Algorithm algorithm) : impl_(new Impl) {
  const EVP_MD* md = algorithm == Algorithm::kMd5 ? EVP_md5() : EVP_sha256();
  impl_->digestBytes = algorithm == Algorithm::kMd5 ? Md5::kDigestBytes : Sha256::kDigestBytes;
  impl_->context = EVP_MD_CTX_new();
  impl_->ok = impl_->context != nullptr && EVP_DigestInit_ex(impl_->context, md, nullptr) == 1;
}

HashDigest::~HashDigest() { EVP_MD_CTX_free(impl_->context); }

bool HashDigest::valid() const { return impl_->ok; }

bool HashDigest::Update(const void* data, size_t bytes) {
  if (!impl_->ok) return false;
  if (bytes != 0 && EVP_DigestUpdate(impl_->context, data, bytes) != 1) impl_->ok = false;
  return impl_->ok;
}

std::string HashDigest::FinishHex() {
  if (!impl_->ok) return {};
  impl_->ok = false;  // once
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(impl_->context, digest, &length) != 1 || length != impl_->digestBytes) return {};
  return HexText(digest, length);
}

bool RandomBytes(void* buffer, size_t bytes) {
  return bytes <= INT_MAX && RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(bytes)) == 1;
}

bool CreateGuid(GuidValue* guid) {
  uint8_t bytes[16];
  if (!RandomBytes(bytes, sizeof(bytes))) return false;
  bytes[7] = static_cast<uint8_t>((bytes[7] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  guid->data1 = static_cast<uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) | (static_cast<uint32_t>(bytes[3]) << 24);
  guid->data2 = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
  guid->data3 = static_cast<uint16_t>(bytes[6] | (bytes[7] << 8));
  for (int i = 0; i < 8; ++i) guid->data4[i] = bytes[8 + i];
  return true;
}

}  // namespace rundix
