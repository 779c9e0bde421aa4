// Processor architecture, library loading, file versions, Windows Installer product state
// and starting programs through the shell.
#pragma once

#include <string>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

// The few shell and system constants these calls take; on Windows the SDK has them already.
#ifndef PROCESSOR_ARCHITECTURE_INTEL
#define PROCESSOR_ARCHITECTURE_INTEL 0
#endif
#ifndef PROCESSOR_ARCHITECTURE_IA64
#define PROCESSOR_ARCHITECTURE_IA64 6
#endif
#ifndef PROCESSOR_ARCHITECTURE_AMD64
#define PROCESSOR_ARCHITECTURE_AMD64 9
#endif
#ifndef SEM_FAILCRITICALERRORS
#define SEM_FAILCRITICALERRORS 0x0001
#endif
#ifndef SEE_MASK_NOCLOSEPROCESS
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#endif
#ifndef SW_SHOW
#define SW_SHOW 5
#endif
#ifndef INSTALLSTATE_DEFAULT
#define INSTALLSTATE_DEFAULT 5
#endif
#ifndef INSTALLSTATE_UNKNOWN
#define INSTALLSTATE_UNKNOWN (-1)
#endif

namespace rundix {

// The part of SYSTEM_INFO the program reads.
struct SystemInfo {
  WORD wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
};

// VS_FIXEDFILEINFO's file version: two 32-bit halves, each two 16-bit parts.
struct FixedFileVersion {
  DWORD dwFileVersionMS = 0;
  DWORD dwFileVersionLS = 0;
};

// An exported function as GetProcAddress gives it: only ever handed back to this interface.
using LibraryProc = void (*)();

// SHELLEXECUTEINFOW with the fields the program fills. An empty verb or directory is passed
// as null.
struct ShellExecuteInfo {
  DWORD fMask = 0;
  HWND hwnd = nullptr;
  std::wstring verb;
  std::wstring file;
  std::wstring parameters;
  std::wstring directory;
  int nShow = SW_SHOW;
  HANDLE hProcess = nullptr;  // out: with SEE_MASK_NOCLOSEPROCESS, the started process
};

// The COM apartment of a thread.
enum class ComApartment { kNone, kSingleThreaded, kMultiThreaded };

class ISystemInfo {
 public:
  virtual ~ISystemInfo() = default;

  // Error code of the calling thread's last failed call (GetLastError).
  virtual DWORD GetLastError() = 0;

  // GetNativeSystemInfo, looked up by name in kernel32.dll: false (and `info` untouched)
  // where the function does not exist.
  virtual bool GetNativeSystemInfo(SystemInfo* info) = 0;
  // What a 32-bit program is told: x86 on a 64-bit machine too.
  virtual void GetSystemInfo(SystemInfo* info) = 0;

  virtual UINT SetErrorMode(UINT mode) = 0;
  // Null on failure. A bare name is found by the system's library search.
  virtual HMODULE LoadLibraryW(const std::wstring& name) = 0;
  // Null when the module has no such export.
  virtual LibraryProc GetProcAddress(HMODULE module, const std::string& name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;

  // MsiQueryProductStateW through the export `proc` of a loaded "msi.dll".
  virtual INT MsiQueryProductStateW(LibraryProc proc, const std::wstring& productCode) = 0;

  // GetFileVersionInfoSizeW, GetFileVersionInfoW and VerQueryValueW(L"\\"): the fixed file
  // version of a file's version resource. A bare name is found by the library search.
  virtual bool GetFileVersion(const std::wstring& path, FixedFileVersion* version) = 0;

  // ShellExecuteExW. The process handle it returns is a kernel handle: wait on it with
  // WaitForHandle and close it with CloseKernelHandle (platform/Threads.h).
  virtual BOOL ShellExecuteExW(ShellExecuteInfo* info) = 0;

  // CoInitializeEx(COINIT_APARTMENTTHREADED) for the calling thread: true when COM is
  // initialised on it now (a call that must be balanced by CoUninitialize), false when the
  // thread already belongs to another kind of apartment.
  virtual bool CoInitializeApartmentThreaded() = 0;
  virtual void CoUninitialize() = 0;
  // The calling thread's apartment (CoGetApartmentType).
  virtual ComApartment GetComApartment() = 0;

  // For the process, once at start-up: libraries load from the system folder only
  // (SetDefaultDllDirectories where the system has it) and never from the current directory
  // (SetDllDirectoryW("")). False when the system could not restrict the search at all.
  virtual bool RestrictLibrarySearch() = 0;
};

// COM for one thread's work, released on every path: ShellExecuteExW may hand a file to a
// shell extension, which needs an apartment on the calling thread.
class ComApartmentScope {
 public:
  explicit ComApartmentScope(ISystemInfo& system)
      : system_(system), initialised_(system.CoInitializeApartmentThreaded()) {}
  ~ComApartmentScope() {
    if (initialised_) system_.CoUninitialize();
  }
  ComApartmentScope(const ComApartmentScope&) = delete;
  ComApartmentScope& operator=(const ComApartmentScope&) = delete;

 private:
  ISystemInfo& system_;
  bool initialised_;
};

struct LibraryCloser {
  ISystemInfo* system = nullptr;
  bool operator()(HMODULE module) const { return system->FreeLibrary(module) != FALSE; }
};
using LibraryHandle = UniqueHandle<HMODULE, LibraryCloser>;

// Loads a library into an owner that frees it on every path; an invalid holder when it fails.
inline LibraryHandle LoadLibraryHandle(ISystemInfo& system, const std::wstring& name) {
  return LibraryHandle(system.LoadLibraryW(name), LibraryCloser{&system});
}

}  // namespace rundix
