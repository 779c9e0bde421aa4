// SHA-256 and random bytes over CNG (BCrypt).
#include "platform/Crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

namespace rundix {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

struct Sha256::Impl {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object;  // the hash object's memory, which CNG wants from the caller
  bool ok = false;
};

Sha256::Sha256() : impl_(new Impl) {
  if (!Succeeded(::BCryptOpenAlgorithmProvider(&impl_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    impl_->algorithm = nullptr;
    return;
  }
  DWORD objectBytes = 0;
  ULONG got = 0;
  if (!Succeeded(::BCryptGetProperty(impl_->algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectBytes),
                                     sizeof(objectBytes), &got, 0))) {
    return;
  }
  impl_->object.resize(objectBytes);
  impl_->ok = Succeeded(::BCryptCreateHash(impl_->algorithm, &impl_->hash, impl_->object.data(),
                                           static_cast<ULONG>(impl_->object.size()), nullptr, 0, 0));
  if (!impl_->ok) impl_->hash = nullptr;
}

Sha256::~Sha256() {
  if (impl_->hash != nullptr) ::BCryptDestroyHash(impl_->hash);
  if (impl_->algorithm != nullptr) ::BCryptCloseAlgorithmProvider(impl_->algorithm, 0);
}

bool Sha256::valid() const { return impl_->ok; }

bool Sha256::Update(const void* data, size_t bytes) {
  const auto* p = static_cast<const UCHAR*>(data);
  while (impl_->ok && bytes > 0) {
    ULONG chunk = bytes > 0x40000000u ? 0x40000000u : static_cast<ULONG>(bytes);
    impl_->ok = Succeeded(::BCryptHashData(impl_->hash, const_cast<PUCHAR>(p), chunk, 0));
    p += chunk;
    bytes -= chunk;
  }
  return impl_->ok;
}

std::string Sha256::FinishHex() {
  if (!impl_->ok) return {};
  impl_->ok = false;  // once
  UCHAR digest[kDigestBytes];
  if (!Succeeded(::BCryptFinishHash(impl_->hash, digest, sizeof(digest), 0))) return {};
  return HexText(digest, sizeof(digest));
}

bool RandomBytes(void* buffer, size_t bytes) {
  return bytes <= 0xFFFFFFFFu &&
         Succeeded(::BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(bytes),
                                     BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace rundix
