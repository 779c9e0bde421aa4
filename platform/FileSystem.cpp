#include "platform/FileSystem.h"

#include <algorithm>

namespace rundix {

bool IsExtendedLengthPath(const std::wstring& path) { return path.rfind(L"\\\\?\\", 0) == 0; }

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (IsExtendedLengthPath(path)) return path;
  auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  std::wstring out;
  if (path.size() >= 3 && path[1] == L':' && separator(path[2]) &&
      ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    out = L"\\\\?\\" + path;
  } else if (path.size() > 2 && separator(path[0]) && separator(path[1]) && !separator(path[2]) &&
             path[2] != L'?' && path[2] != L'.') {
    out = L"\\\\?\\UNC\\" + path.substr(2);
  } else {
    return path;
  }
  // The prefix turns off the name rules: '/' is no separator there, and "." or ".." would
  // be names. Such paths stay as they are.
  std::replace(out.begin(), out.end(), L'/', L'\\');
  for (size_t start = 4; start <= out.size();) {
    size_t end = out.find(L'\\', start);
    if (end == std::wstring::npos) end = out.size();
    std::wstring part = out.substr(start, end - start);
    if (part == L"." || part == L".." || (part.empty() && end != out.size())) return path;
    start = end + 1;
  }
  return out;
}

bool IsExistingFolder(IFileSystem& files, const std::wstring& path) {
  DWORD attributes = files.GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsExistingFile(IFileSystem& files, const std::wstring& path) {
  DWORD attributes = files.GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateFolderTree(IFileSystem& files, const std::wstring& folder) {
  if (folder.empty()) return false;
  if (IsExistingFolder(files, folder)) return true;
  // Each prefix that ends just before a separator is one level; the drive ("C:") and a
  // leading "\\server\share" are never created, only passed through.
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != L'\\' && folder[i] != L'/') continue;
    std::wstring level = folder.substr(0, i);
    if (level.empty() || level.back() == L':' || level.back() == L'\\' || level.back() == L'/') continue;
    if (!IsExistingFolder(files, level)) files.CreateDirectoryW(level);
  }
  return IsExistingFolder(files, folder);
}

}  // namespace rundix
