#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cwchar>

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
  // leading "\\server\share" are never created, only passed through. Under a level just made
  // nothing can exist yet, so the levels below it are made without asking first.
  bool made = false;
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != L'\\' && folder[i] != L'/') continue;
    std::wstring level = folder.substr(0, i);
    if (level.empty() || level.back() == L':' || level.back() == L'\\' || level.back() == L'/') continue;
    if (made || !IsExistingFolder(files, level)) made = files.CreateDirectoryW(level) != FALSE;
  }
  return IsExistingFolder(files, folder);
}

std::wstring IFileSystem::GetTempFileNameW(const std::wstring& folder, const std::wstring& prefix) {
  // The numbers run on from a per-process start, as Windows' unique numbers do.
  static std::atomic<unsigned> next{static_cast<unsigned>(std::time(nullptr)) & 0xFFFFu};
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    unsigned number = (next++ & 0xFFFFu);
    if (number == 0) continue;
    wchar_t hex[8];
    std::swprintf(hex, 8, L"%X", number);
    std::wstring path = base + prefix.substr(0, 3) + hex + L".tmp";
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file != INVALID_HANDLE_VALUE) {
      CloseFile(file);
      return path;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

std::optional<std::string> ReadWholeFile(IFileSystem& files, const std::wstring& path, size_t maxBytes) {
  FileHandle file =
      OwnFile(files, files.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
  if (!file) return std::nullopt;
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  for (;;) {
    if (!files.ReadFile(file.get(), buffer, sizeof(buffer), &read)) return std::nullopt;
    if (read == 0) return content;
    if (content.size() + read > maxBytes) return std::nullopt;
    content.append(buffer, read);
  }
}

}  // namespace rundix
