#include "tests/fuzz/FuzzSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

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

// Removes the entries of the open `folder` that are not folders and returns the names of
// those that are. Read straight into a buffer on the stack (opendir allocates 32 KB a call);
// kept out of EmptyFolder so that its recursion does not carry the buffer.
[[gnu::noinline]] std::vector<std::string> RemoveFilesIn(int folder) {
  std::vector<std::string> folders;
  alignas(dirent64) char buffer[4096];
  ssize_t n = 0;
  while ((n = ::getdents64(folder, buffer, sizeof(buffer))) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
      at += e->d_reclen;
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      if (e->d_type != DT_DIR && ::unlinkat(folder, e->d_name, 0) == 0) continue;
      folders.emplace_back(e->d_name);
    }
  }
  return folders;
}

// Empties the open `folder` and closes it: relative to open folders, one open and one unlink
// per entry, where std::filesystem::remove_all also looks up every entry by its whole path
// (the machine target removes a sandbox tree after every input).
void EmptyFolder(int folder) {
  for (const std::string& name : RemoveFilesIn(folder)) {
    int sub = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub >= 0) EmptyFolder(sub);
    ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
  }
  ::close(folder);
}

}  // namespace

void RemoveTree(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return;
  int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder >= 0) EmptyFolder(folder);
  if (::rmdir(path.c_str()) == 0 || errno == ENOENT) return;
  // Whatever the walk could not take (a tree deeper than the open-file limit, say).
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
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
  ~SandboxFolder() { RemoveTree(path); }
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
