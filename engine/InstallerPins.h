// The pinned size and SHA-256 of each installer file, configured at build time from the pins
// file (cmake/RundixPins.cmake). An installer without a pin is never run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rundix {

struct InstallerPin {
  std::wstring fileName;
  uint64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
};

class InstallerPins {
 public:
  InstallerPins() = default;
  explicit InstallerPins(std::vector<InstallerPin> pins) : pins_(std::move(pins)) {}

  // The pins this build was configured with.
  static const InstallerPins& Configured();
  // The catalogue file names the configure step read (to check it read the catalogue right).
  static std::vector<std::wstring> ConfiguredCatalogueNames();

  // The pin of a file name, compared without regard to letter case; null when it has none.
  const InstallerPin* Find(const std::wstring& fileName) const;
  // Adds or replaces the pin of pin.fileName.
  void Set(InstallerPin pin);
  size_t size() const { return pins_.size(); }

 private:
  std::vector<InstallerPin> pins_;
};

}  // namespace rundix
