// SHA-256 and MD5 over CNG (BCrypt), random bytes, GUIDs from COM.
#include "platform/Crypto.h"

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>

#include <vector>

namespace rundix {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

struct HashDigest::Impl {
  size_t digestBytes = 0;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object;  // the hash object's memory, which CNG wants from the caller
  bool ok = false;
};

HashDigest::HashDigest(Algorithm algorithm) : impl_(new Impl) {
  const wchar_t* name = algorithm == Algorithm::kMd5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
  impl_->digestBytes = algorithm == Algorithm::kMd5 ? Md5::kDigestBytes : Sha256::kDigestBytes;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(&impl_->algorithm, name, nullptr, 0))) {
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

HashDigest::~HashDigest() {
  if (impl_->hash != nullptr) ::BCryptDestroyHash(impl_->hash);
  if (impl_->algorithm != nullptr) ::BCryptCloseAlgorithmProvider(impl_->algorithm, 0);
}

bool HashDigest::valid() const { return impl_->ok; }

bool HashDigest::Update(const void* data, size_t bytes) {
  const auto* p = static_cast<const UCHAR*>(data);
  while (impl_->ok && bytes > 0) {
    ULONG chunk = bytes > 0x40000000u ? 0x40000000u : static_cast<ULONG>(bytes);
    impl_->ok = Succeeded(::BCryptHashData(impl_->hash, const_cast<PUCHAR>(p), chunk, 0));
    p += chunk;
    bytes -= chunk;
  }
  return impl_->ok;
}

std::string HashDigest::FinishHex() {
  if (!impl_->ok) return {};
  impl_->ok = false;  // once
  UCHAR digest[Sha256::kDigestBytes];
  ULONG size = static_cast<ULONG>(impl_->digestBytes);
  if (!Succeeded(::BCryptFinishHash(impl_->hash, digest, size, 0))) return {};
  return HexText(digest, size);
}

bool RandomBytes(void* buffer, size_t bytes) {
  return bytes <= 0xFFFFFFFFu &&
         Succeeded(::BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(bytes),
                                     BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool CreateGuid(GuidValue* guid) {
  GUID value{};
  if (FAILED(::CoCreateGuid(&value))) return false;
  guid->data1 = value.Data1;
  guid->data2 = value.Data2;
  guid->data3 = value.Data3;
  for (int i = 0; i < 8; ++i) guid->data4[i] = value.Data4[i];
  return true;
}

}  // namespace rundix
