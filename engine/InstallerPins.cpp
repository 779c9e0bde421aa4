#include "engine/InstallerPins.h"

#include "RundixPins.h"
#include "platform/Text.h"

namespace rundix {

namespace {

struct PinRow {
  const wchar_t* fileName;
  unsigned long long size;
  const char* sha256;
};

}  // namespace

const InstallerPins& InstallerPins::Configured() {
  static const InstallerPins pins = [] {
    static const PinRow kRows[] = RUNDIX_INSTALLER_PIN_ROWS;
    std::vector<InstallerPin> list;
    for (const PinRow& row : kRows) {
      if (row.fileName != nullptr) list.push_back(InstallerPin{row.fileName, row.size, row.sha256});
    }
    return InstallerPins(std::move(list));
  }();
  return pins;
}

std::vector<std::wstring> InstallerPins::ConfiguredCatalogueNames() {
  static const wchar_t* const kNames[] = RUNDIX_PINNED_CATALOGUE_NAMES;
  return std::vector<std::wstring>(std::begin(kNames), std::end(kNames));
}

const InstallerPin* InstallerPins::Find(const std::wstring& fileName) const {
  for (const InstallerPin& pin : pins_) {
    if (EqualsNoCase(pin.fileName, fileName)) return &pin;
  }
  return nullptr;
}

void InstallerPins::Set(InstallerPin pin) {
  for (InstallerPin& existing : pins_) {
    if (EqualsNoCase(existing.fileName, pin.fileName)) {
      existing = std::move(pin);
      return;
    }
  }
  pins_.push_back(std::move(pin));
}

}  // namespace rundix
