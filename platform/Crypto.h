// SHA-256, MD5, random bytes and GUIDs: CNG (BCrypt) and COM on Windows, OpenSSL's EVP
// interface elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace rundix {

// A hash computed in pieces.
class HashDigest {
 public:
  enum class Algorithm { kSha256, kMd5 };

  explicit HashDigest(Algorithm algorithm);
  ~HashDigest();
  HashDigest(const HashDigest&) = delete;
  HashDigest& operator=(const HashDigest&) = delete;

  // False when the platform gave no hash object or an update failed; such a hash never
  // finishes.
  bool valid() const;
  bool Update(const void* data, size_t bytes);
  // The digest as lower-case hexadecimal digits; empty on failure. Once per object.
  std::string FinishHex();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class Sha256 : public HashDigest {
 public:
  static constexpr size_t kDigestBytes = 32;
  Sha256() : HashDigest(Algorithm::kSha256) {}
};

class Md5 : public HashDigest {
 public:
  static constexpr size_t kDigestBytes = 16;
  Md5() : HashDigest(Algorithm::kMd5) {}
};

// A GUID in its Windows layout.
struct GuidValue {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};
// CoCreateGuid on Windows; a random (version 4) GUID elsewhere. False when none was made.
bool CreateGuid(GuidValue* guid);

// Bytes from the system's cryptographic random source; false when it gave none.
bool RandomBytes(void* buffer, size_t bytes);

// Lower-case hexadecimal digits of `bytes`.
std::string HexText(const uint8_t* bytes, size_t count);

}  // namespace rundix
