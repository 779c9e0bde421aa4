// Files for a rundix-server of one test: a host folder filled with patterned content, so a
// download can be compared byte for byte without keeping fixtures of every size.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "engine/InstallerPins.h"
#include "platform/Crypto.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix::test {

// Deterministic bytes that do not repeat with any small period.
inline std::string PatternBytes(size_t size, unsigned seed = 1) {
  std::string out(size, '\0');
  uint32_t x = 2463534242u ^ seed;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x & 0xFF);
  }
  return out;
}

class ServedFiles {
 public:
  std::string folder() const { return dir_.path(); }
  // Writes `content` as the file `name` of the served folder.
  void Put(const std::string& name, const std::string& content) const {
    std::ofstream out(dir_.path() + "/" + name, std::ios::binary | std::ios::trunc);
    out << content;
  }
  // A served installer whose pin (its size and SHA-256) joins `pins`, as the tests' pins file
  // would have it.
  void PutPinned(const std::string& name, const std::string& content, InstallerPins& pins) const {
    Put(name, content);
    Sha256 hash;
    hash.Update(content.data(), content.size());
    pins.Set(InstallerPin{WideFromUtf8(name), content.size(), hash.FinishHex()});
  }
  // A file of `size` zero bytes that takes no room (its blocks are never written).
  void PutSparse(const std::string& name, uint64_t size) const {
    { std::ofstream out(dir_.path() + "/" + name, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(dir_.path() + "/" + name, size);
  }

 private:
  TempDir dir_;
};

// The whole content of a host file, or nothing when it cannot be read.
inline std::optional<std::string> ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace rundix::test
