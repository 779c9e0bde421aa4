#include "tests/fuzz/FuzzSupport.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "platform/sim/SimMachine.h"

namespace rundix::fuzz {

std::wstring WideFromFuzzBytes(const uint8_t* data, size_t size) {
  std::wstring text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] < 0x80 || i + 1 == size) {
      text.push_back(static_cast<wchar_t>(data[i]));
    } else {
      text.push_back(static_cast<wchar_t>(((data[i] & 0x7F) << 8) | data[i + 1]));
      ++i;
    }
  }
  return text;
}

namespace {

struct SandboxFolder {
  SandboxFolder() {
    std::random_device random;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    // Memory-backed when the machine has it: the targets that write files do so per input.
    std::error_code ec;
    std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
    path = (base /
            ("rundix-fuzz-" + std::to_string(stamp) + "-" + std::to_string(random())))
               .string();
    std::filesystem::create_directories(path + "/C");
  }
  ~SandboxFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

}  // namespace

const std::string& Sandbox() {
  static SandboxFolder folder;
  return folder.path;
}

namespace {

SimMachine& SharedSimMachine() {
  static std::unique_ptr<SimMachine> machine = [] {
    std::string error;
    std::unique_ptr<SimMachine> made = SimMachine::FromJson("{}", Sandbox() + "/machine", &error);
    if (!made) std::abort();  // the empty description always loads
    return made;
  }();
  return *machine;
}

}  // namespace

Machine& SharedMachine() { return SharedSimMachine(); }

void ForgetRecordedCalls() { SharedSimMachine().Journal().Clear(); }

}  // namespace rundix::fuzz
