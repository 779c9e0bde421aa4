#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "platform/Threads.h"
#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

void Convert(const WIN32_FIND_DATAW& in, FindData* out) {
  out->attributes = in.dwFileAttributes;
  out->lastWriteTime = in.ftLastWriteTime;
  out->size = (static_cast<uint64_t>(in.nFileSizeHigh) << 32) | in.nFileSizeLow;
  out->name = in.cFileName;
}

class Win32FileSystem final : public IFileSystem {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }

  DWORD GetFileAttributesW(const std::wstring& path) override {
    return ::GetFileAttributesW(path.c_str());
  }
  BOOL CreateDirectoryW(const std::wstring& path) override {
    return ::CreateDirectoryW(path.c_str(), nullptr);
  }
  BOOL CreateDirectoryWithAccessW(const std::wstring& path, const std::wstring& sddl) override {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
      return FALSE;
    }
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    BOOL ok = ::CreateDirectoryW(path.c_str(), &attributes);
    DWORD error = ::GetLastError();
    if (ok) {
      // The list once more, explicitly and protected from inheritance: a file system that
      // took no descriptor at creation gets it now, or the folder is not used.
      BOOL present = FALSE;
      BOOL defaulted = FALSE;
      PACL dacl = nullptr;
      ok = ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present;
      if (ok) {
        error = ::SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
                                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, dacl, nullptr);
        ok = error == ERROR_SUCCESS;
      }
      if (!ok) {
        ::RemoveDirectoryW(path.c_str());
        if (error == ERROR_SUCCESS) error = ERROR_INVALID_SECURITY_DESCR;
      }
    }
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return ok;
  }
  std::wstring GetAccessListW(const std::wstring& path) override {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
      return {};
    }
    LPWSTR text = nullptr;
    std::wstring out;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                               &text, nullptr)) {
      out = text;
      ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return out;
  }
  HANDLE CreateFileW(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override {
    return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  }
  BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, DWORD* written) override {
    DWORD done = 0;
    BOOL ok = ::WriteFile(file, data, bytes, &done, nullptr);
    if (written) *written = done;
    return ok;
  }
  BOOL ReadFile(HANDLE file, void* data, DWORD bytes, DWORD* read) override {
    DWORD done = 0;
    BOOL ok = ::ReadFile(file, data, bytes, &done, nullptr);
    if (read) *read = done;
    return ok;
  }
  BOOL CloseFile(HANDLE file) override { return ::CloseHandle(file); }
  BOOL DeleteFileW(const std::wstring& path) override { return ::DeleteFileW(path.c_str()); }
  BOOL RemoveDirectoryW(const std::wstring& path) override { return ::RemoveDirectoryW(path.c_str()); }

  HANDLE FindFirstFileW(const std::wstring& pattern, FindData* data) override {
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &found);
    if (h != INVALID_HANDLE_VALUE && data) Convert(found, data);
    return h;
  }
  BOOL FindNextFileW(HANDLE find, FindData* data) override {
    WIN32_FIND_DATAW found{};
    BOOL ok = ::FindNextFileW(find, &found);
    if (ok && data) Convert(found, data);
    return ok;
  }
  BOOL FindClose(HANDLE find) override { return ::FindClose(find); }
  bool GetFolderIdentity(const std::wstring& path, FolderIdentity* identity) override {
    // A folder opens only with backup semantics; no access right is needed to ask who it is.
    KernelHandle folder(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                        KernelHandleCloser{}, INVALID_HANDLE_VALUE);
    if (!folder) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.get(), &info)) return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    if (identity) {
      identity->volume = info.dwVolumeSerialNumber;
      identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return true;
  }

  std::wstring GetTempPathW(DWORD bufferChars) override {
    std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
    DWORD n = ::GetTempPathW(bufferChars, buffer.data());
    if (n == 0 || n >= bufferChars) return {};
    return std::wstring(buffer.data(), n);
  }
  std::wstring GetLongPathNameW(const std::wstring& path) override {
    DWORD need = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (need == 0) return {};
    std::vector<wchar_t> buffer(need + 1, L'\0');
    DWORD n = ::GetLongPathNameW(path.c_str(), buffer.data(), need + 1);
    if (n == 0 || n > need) return {};
    return std::wstring(buffer.data(), n);
  }
  std::wstring GetWindowsDirectoryW() override {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(buffer, n);
  }
  std::wstring GetSystemDirectoryW() override {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(buffer, n);
  }
  bool SHGetSpecialFolderPathW(int csidl, std::wstring* path, bool create) override {
    wchar_t buffer[MAX_PATH + 1] = {};
    BOOL ok = ::SHGetSpecialFolderPathW(nullptr, buffer, csidl, create ? TRUE : FALSE);
    if (path) *path = ok ? std::wstring(buffer) : std::wstring();
    return ok != FALSE && buffer[0] != L'\0';
  }
};

}  // namespace

std::unique_ptr<IFileSystem> CreateWin32FileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace rundix
