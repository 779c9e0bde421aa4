// Files and folders in the shape of the Win32 calls. Paths are Windows paths ("C:\...") on
// both builds; the simulated machine maps drive letters onto a sandbox folder.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

namespace rundix {

// What FindFirstFileW/FindNextFileW report of one entry.
struct FindData {
  DWORD attributes = 0;
  FILETIME lastWriteTime{0, 0};
  uint64_t size = 0;
  std::wstring name;
};

// What tells one folder from another on a machine, whichever path or link reaches it: the
// volume serial number and file index on Windows, the device and inode in the simulation.
struct FolderIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  auto operator<=>(const FolderIdentity&) const = default;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Error code of the calling thread's last failed call (GetLastError).
  virtual DWORD GetLastError() = 0;

  virtual DWORD GetFileAttributesW(const std::wstring& path) = 0;
  // Fails with ERROR_ALREADY_EXISTS for an existing entry, ERROR_PATH_NOT_FOUND without parent.
  virtual BOOL CreateDirectoryW(const std::wstring& path) = 0;
  // CreateDirectoryW with a security descriptor given in SDDL ("D:P(A;OICI;FA;;;SY)..."), so
  // the folder never exists with another access list.
  virtual BOOL CreateDirectoryWithAccessW(const std::wstring& path, const std::wstring& sddl) = 0;
  // The access list (DACL) of a file or folder in SDDL; empty when it cannot be read.
  virtual std::wstring GetAccessListW(const std::wstring& path) = 0;

  // Returns INVALID_HANDLE_VALUE on failure. `share` is Windows' sharing mode: an open that
  // conflicts with another handle's access or sharing fails with ERROR_SHARING_VIOLATION.
  virtual HANDLE CreateFileW(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, DWORD* written) = 0;
  virtual BOOL ReadFile(HANDLE file, void* data, DWORD bytes, DWORD* read) = 0;
  virtual BOOL CloseFile(HANDLE file) = 0;
  virtual BOOL DeleteFileW(const std::wstring& path) = 0;
  // Removes an empty folder.
  virtual BOOL RemoveDirectoryW(const std::wstring& path) = 0;

  // Returns INVALID_HANDLE_VALUE when nothing matches or the folder cannot be listed.
  virtual HANDLE FindFirstFileW(const std::wstring& pattern, FindData* data) = 0;
  virtual BOOL FindNextFileW(HANDLE find, FindData* data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  // The identity of the folder `path` names, links followed; false when there is no such
  // folder or it cannot be opened.
  virtual bool GetFolderIdentity(const std::wstring& path, FolderIdentity* identity) { return false; }

  // Folders. Each returns an empty string on failure or when the path would not fit a buffer
  // of `bufferChars` characters with its terminator, as the Win32 calls do.
  virtual std::wstring GetTempPathW(DWORD bufferChars) = 0;      // ends with '\'
  virtual std::wstring GetLongPathNameW(const std::wstring& path) = 0;
  virtual std::wstring GetWindowsDirectoryW() = 0;               // no trailing separator
  virtual std::wstring GetSystemDirectoryW() = 0;                // no trailing separator
  // False and an empty path where the shell has none (a virtual folder).
  virtual bool SHGetSpecialFolderPathW(int csidl, std::wstring* path, bool create) = 0;
};

struct FileCloser {
  IFileSystem* files = nullptr;
  bool operator()(HANDLE h) const { return files->CloseFile(h) != FALSE; }
};
using FileHandle = UniqueHandle<HANDLE, FileCloser>;

struct FindCloser {
  IFileSystem* files = nullptr;
  bool operator()(HANDLE h) const { return files->FindClose(h) != FALSE; }
};
using FindHandle = UniqueHandle<HANDLE, FindCloser>;

inline FileHandle OwnFile(IFileSystem& files, HANDLE h) {
  return FileHandle(h, FileCloser{&files}, INVALID_HANDLE_VALUE);
}
inline FindHandle OwnFind(IFileSystem& files, HANDLE h) {
  return FindHandle(h, FindCloser{&files}, INVALID_HANDLE_VALUE);
}

// The `\\?\` form of an absolute path ("C:\..." or "\\server\share\..."), which the file
// calls take beyond MAX_PATH characters; other paths, and paths already in that form, as
// they are. Only for the calls: texts shown keep the plain form.
std::wstring ExtendedLengthPath(const std::wstring& path);
bool IsExtendedLengthPath(const std::wstring& path);

// True when the path names an existing folder.
bool IsExistingFolder(IFileSystem& files, const std::wstring& path);
// True when the path names an existing file (valid attributes, directory bit clear).
bool IsExistingFile(IFileSystem& files, const std::wstring& path);
// Creates every missing level of `folder`, from the outside in, splitting at '\' and '/'.
// True when the folder exists afterwards.
bool CreateFolderTree(IFileSystem& files, const std::wstring& folder);

}  // namespace rundix
