#include "platform/FileSystem.h"

namespace rundix {

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
