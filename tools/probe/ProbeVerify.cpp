#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "engine/InstallerPins.h"
#include "platform/Crypto.h"
#include "platform/Text.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

int ProbeVerify(const ProbeOptions& options, std::ostream& out) {
  if (options.rest.size() != 1) {
    std::cerr << "rundix-probe: verify takes one FILE\n";
    return 2;
  }
  const std::string& file = options.rest[0];
  std::filesystem::path path(WideFromUtf8(file));
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "rundix-probe: cannot read " << file << "\n";
    return 1;
  }
  Sha256 hash;
  std::vector<char> buffer(1 << 20);
  uint64_t size = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    std::streamsize got = in.gcount();
    if (got <= 0) break;
    size += static_cast<uint64_t>(got);
    hash.Update(buffer.data(), static_cast<size_t>(got));
  }
  if (in.bad()) {
    std::cerr << "rundix-probe: cannot read " << file << "\n";
    return 1;
  }
  std::string sha256 = hash.FinishHex();
  std::wstring name = path.filename().wstring();
  const InstallerPin* pin = InstallerPins::Configured().Find(name);

  Json::Value root(Json::objectValue);
  root["file"] = file;
  root["size"] = static_cast<Json::UInt64>(size);
  root["sha256"] = sha256;
  // The line the pins file would have for these bytes.
  root["pinLine"] = Utf8FromWide(name) + " " + std::to_string(size) + " " + sha256;
  root["pinned"] = pin != nullptr;
  root["matches"] = pin != nullptr && pin->size == size && pin->sha256 == sha256;
  if (pin != nullptr) {
    root["pin"] = Utf8FromWide(pin->fileName) + " " + std::to_string(pin->size) + " " + pin->sha256;
  }
  WriteJson(out, root);
  return 0;
}

}  // namespace rundix
