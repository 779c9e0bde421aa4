// The simulated file system: Windows paths on drive letters, mapped onto folders of a real
// sandbox (C: is sandbox/C). Names resolve without regard to letter case; on a 64-bit machine
// System32 and SysNative are redirected as they are for a 32-bit program.
#pragma once

#include <json/value.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/sim/SimFolderReadAhead.h"

namespace rundix {

class SimJournal;

class SimFileSystem final : public IFileSystem {
 public:
  SimFileSystem(std::string sandbox, bool machineIs64Bit, SimJournal& journal);
  ~SimFileSystem() override;

  // Folders, special folders, files and access rules of the description.
  bool Load(const Json::Value& description, std::string* error);

  DWORD GetLastError() override;
  DWORD GetFileAttributesW(const std::wstring& path) override;
  BOOL CreateDirectoryW(const std::wstring& path) override;
  BOOL CreateDirectoryWithAccessW(const std::wstring& path, const std::wstring& sddl) override;
  std::wstring GetAccessListW(const std::wstring& path) override;
  HANDLE CreateFileW(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override;
  BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, DWORD* written) override;
  BOOL ReadFile(HANDLE file, void* data, DWORD bytes, DWORD* read) override;
  BOOL CloseFile(HANDLE file) override;
  BOOL DeleteFileW(const std::wstring& path) override;
  BOOL RemoveDirectoryW(const std::wstring& path) override;
  HANDLE FindFirstFileW(const std::wstring& pattern, FindData* data) override;
  BOOL FindNextFileW(HANDLE find, FindData* data) override;
  BOOL FindClose(HANDLE find) override;
  bool GetFolderIdentity(const std::wstring& path, FolderIdentity* identity) override;
  std::wstring GetTempPathW(DWORD bufferChars) override;
  std::wstring GetLongPathNameW(const std::wstring& path) override;
  std::wstring GetWindowsDirectoryW() override;
  std::wstring GetSystemDirectoryW() override;
  bool SHGetSpecialFolderPathW(int csidl, std::wstring* path, bool create) override;

  // Whose eyes a path is seen with: the 32-bit program's (System32 redirected on a 64-bit
  // machine) or the machine's own, as descriptions and installers name files.
  enum class View { kProgram, kNative };

  // The real path of a Windows path (after redirection and case-insensitive matching of the
  // parts that exist); empty when the path names no drive.
  std::string HostPath(const std::wstring& path, View view = View::kProgram) const;
  // For descriptions and tests: makes a folder and the folders above it as the machine has
  // them, past any access rule and without recording anything.
  bool MakeFolder(const std::wstring& path, View view = View::kNative);
  // For tests and simulated installers: writes a file (making its folders) with a last-write
  // time in seconds since 1970 when given.
  bool PutFile(const std::wstring& path, const std::string& content,
               std::optional<int64_t> lastWrite = std::nullopt, View view = View::kNative);
  bool SetLastWriteTime(const std::wstring& path, int64_t seconds, View view = View::kNative,
                        long nanoseconds = 0);
  // A directory link (symbolic link or junction: both are folder reparse points to the
  // program) at `path` to `target`, both as the machine names them.
  bool MakeFolderLink(const std::wstring& path, const std::wstring& target);
  // Hidden, system and read-only (the other bits are the entry's own); 0 clears them.
  void SetAttributes(const std::wstring& path, DWORD attributes, View view = View::kNative);
  std::optional<std::string> GetFile(const std::wstring& path, View view = View::kNative) const;
  // Folders under which nothing can be created or written (access denied).
  void AddReadOnlyFolder(const std::wstring& folder);
  // Every CreateDirectoryW directly inside `folder` fails with `error`.
  void FailCreateDirectoryIn(const std::wstring& folder, DWORD error);
  void SetSpecialFolder(int csidl, std::optional<std::wstring> path);
  void SetTempPath(const std::wstring& path);
  size_t OpenHandleCount() const;
  // The access and sharing modes of the handles open on a file.
  struct OpenHandle {
    DWORD access;
    DWORD share;
  };
  std::vector<OpenHandle> OpenHandles(const std::wstring& path) const;
  // True while some handle has the file open for writing.
  bool OpenForWriting(const std::wstring& path) const;
  // The names a folder holds (without "." and ".."), in listing order.
  std::vector<std::wstring> FolderEntries(const std::wstring& folder) const;
  // Folder listings read ahead for a walk and not yet asked for.
  size_t ReadAheadListings() const { return readAhead_.HeldListings(); }
  // False under a read-only folder.
  bool IsWritable(const std::wstring& path) const;

 private:
  struct Fault {
    std::wstring folder;
    DWORD error;
  };
  bool IsUnlistable(const std::wstring& folder) const;
  static bool TooLongForProgram(const std::wstring& path);
  int FdOf(HANDLE file) const;
  void ForgetReadAheadIfNoSearch();  // -1 for a handle that is not an open file
  std::wstring Normalize(const std::wstring& path) const;
  // HostPath of a path already normalized; ProgramHostPath is HostPath(path) for a path and
  // its normal form, so that callers needing both normalize once.
  std::string HostPathOf(std::wstring norm, View view) const;
  std::string ProgramHostPath(const std::wstring& path, const std::wstring& norm) const;
  bool IsWritableNormal(const std::wstring& norm) const;

  std::string sandbox_;
  bool is64Bit_;
  SimJournal& journal_;
  std::wstring windowsDir_ = L"C:\\Windows";
  std::wstring tempDir_ = L"C:\\Users\\user\\AppData\\Local\\Temp\\";
  std::map<int, std::optional<std::wstring>> special_;
  std::map<std::wstring, std::wstring> longNames_;  // short prefix -> long prefix
  std::vector<std::wstring> readOnly_;
  std::vector<std::wstring> unlistable_;
  std::vector<Fault> faults_;
  std::map<std::string, DWORD> attributes_;  // by host path: hidden, system, read-only
  std::map<std::string, std::wstring> accessLists_;  // by host path: the DACL in SDDL
  DWORD ExtraAttributes(const std::string& host) const;

  struct OpenFile;
  struct OpenFind;
  mutable std::mutex mutex_;
  std::map<uintptr_t, std::unique_ptr<OpenFile>> files_;
  std::map<uintptr_t, std::unique_ptr<OpenFind>> finds_;
  uintptr_t nextHandle_ = 0x2000;
  SimFolderReadAhead readAhead_;
};

}  // namespace rundix
