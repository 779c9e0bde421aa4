// SHA-256 and random bytes: CNG (BCrypt) on Windows, OpenSSL's EVP interface elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace rundix {

class Sha256 {
 public:
  static constexpr size_t kDigestBytes = 32;

  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the platform gave no hash object or an update failed; such a hash never
  // finishes.
  bool valid() const;
  bool Update(const void* data, size_t bytes);
  // The digest as 64 lower-case hexadecimal digits; empty on failure. Once per object.
  std::string FinishHex();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Bytes from the system's cryptographic random source; false when it gave none.
bool RandomBytes(void* buffer, size_t bytes);

// Lower-case hexadecimal digits of `bytes`.
std::string HexText(const uint8_t* bytes, size_t count);

}  // namespace rundix
