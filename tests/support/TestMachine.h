// A fresh machine for one test: on Linux a SimMachine over its own temporary sandbox, under
// Wine the real Win32 machine of the throwaway prefix the test run made.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Machine.h"

namespace rundix::test {

class TestMachine {
 public:
  virtual ~TestMachine() = default;
  virtual Machine& machine() = 0;
  // True for the simulated machine, whose state a test can arrange beyond the API.
  virtual bool simulated() const = 0;
};

// `description` is a simulated machine's JSON; the real machine ignores it.
std::unique_ptr<TestMachine> MakeTestMachine(const std::string& description = "{}");

// A whole file through the machine's file calls; nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(IFileSystem& files, const std::wstring& path);
// Creates or replaces a file with `content`; false when any call fails.
bool WriteWholeFile(IFileSystem& files, const std::wstring& path, const std::string& content);

// A new empty folder of the host for one test; removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace rundix::test
