#include <algorithm>

#include "platform/LocalFile.h"
#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

namespace rundix {
namespace {

struct Win32FileCloser {
  bool operator()(HANDLE h) const { return ::CloseHandle(h) != FALSE; }
};

}  // namespace

bool LocalFileExists(const std::wstring& path) {
  if (path.empty()) return false;
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadLocalFile(const std::wstring& path, size_t maxBytes, std::vector<uint8_t>* data) {
  data->clear();
  if (path.empty()) return false;
  UniqueHandle<HANDLE, Win32FileCloser> file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr),
      Win32FileCloser{}, INVALID_HANDLE_VALUE);
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
      static_cast<uint64_t>(size.QuadPart) > maxBytes) {
    return false;
  }
  data->resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < data->size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(data->size() - done, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(file.get(), data->data() + done, chunk, &read, nullptr) || read == 0) break;
    done += read;
  }
  if (done != data->size()) {
    data->clear();
    return false;
  }
  return true;
}

}  // namespace rundix
