#include "platform/FileSystem.h"
#include "tests/support/TestMachine.h"

namespace rundix::test {

std::optional<std::string> ReadWholeFile(IFileSystem& files, const std::wstring& path) {
  return rundix::ReadWholeFile(files, path);
}

bool WriteWholeFile(IFileSystem& files, const std::wstring& path, const std::string& content) {
  FileHandle file = OwnFile(files, files.CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
  DWORD written = 0;
  return file && files.WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written) &&
         written == content.size();
}

}  // namespace rundix::test
