// The simulated machine's processor, libraries, version resources, Windows Installer
// products and programs. Running a program is simulated by a thread: it waits while a test
// holds that installer, then applies the installer's scripted effects (registry keys, files,
// products, libraries) and ends, so a later detection sees the package.
#pragma once

#include <json/value.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/SystemInfo.h"

namespace rundix {

class SimMachine;

class SimSystemInfo final : public ISystemInfo {
 public:
  explicit SimSystemInfo(SimMachine& machine);
  // Lets every held installer go and waits until all simulated processes have ended.
  ~SimSystemInfo() override;

  // "libraries", "msi_products", "installers" and the "version" of described files.
  bool Load(const Json::Value& description, std::string* error);

  DWORD GetLastError() override;
  bool GetNativeSystemInfo(SystemInfo* info) override;
  void GetSystemInfo(SystemInfo* info) override;
  UINT SetErrorMode(UINT mode) override;
  HMODULE LoadLibraryW(const std::wstring& name) override;
  LibraryProc GetProcAddress(HMODULE module, const std::string& name) override;
  BOOL FreeLibrary(HMODULE module) override;
  INT MsiQueryProductStateW(LibraryProc proc, const std::wstring& productCode) override;
  bool GetFileVersion(const std::wstring& path, FixedFileVersion* version) override;
  BOOL ShellExecuteExW(ShellExecuteInfo* info) override;
  bool RestrictLibrarySearch() override;
  bool CoInitializeApartmentThreaded() override;
  void CoUninitialize() override;
  ComApartment GetComApartment() override;

  struct Execution {
    std::wstring path;
    std::wstring parameters;
    std::wstring directory;                        // the start's working folder, as given
    ComApartment apartment = ComApartment::kNone;  // of the thread that started it
    std::string content;                           // the program's bytes at the start
    std::vector<std::wstring> folderEntries;       // what its folder held then
    std::wstring folderAccess;                     // the folder's access list (SDDL)
  };
  // Called on the starting thread just before each start, with the program's path: a test
  // may try what another process could do at that moment.
  void OnExecute(std::function<void(const std::wstring& path)> hook);
  bool LibrarySearchRestricted() const;
  // Every program started, in order.
  std::vector<Execution> Executions() const;
  // Runs of this file (by name, without regard to case) wait until it is released.
  void HoldInstaller(const std::wstring& fileName);
  void ReleaseInstaller(const std::wstring& fileName);
  // True once a run of that file is being held, within `milliseconds`.
  bool WaitUntilHeld(const std::wstring& fileName, unsigned milliseconds);
  // Simulated processes that have not ended yet.
  size_t RunningProcesses() const;
  // Library handles not freed yet.
  size_t LoadedLibraryCount() const;

  // Arranging the machine directly.
  void SetProductState(const std::wstring& productCode, INT state);
  // Null exports: a library that exists but cannot be loaded.
  void SetLibrary(const std::wstring& name, std::optional<std::vector<std::string>> exports);
  // The version resource of a file (a path as the machine names it); false for a bad version.
  bool SetFileVersion(const std::wstring& path, const std::string& dotted);

 private:
  struct Library {
    bool loads = true;
    std::set<std::string> exports;
  };
  struct Installer {
    std::wstring file;                       // lower case
    std::optional<std::wstring> parameters;  // only a run with exactly these, when given
    DWORD exitCode = 0;
    Json::Value effects;
  };
  struct Run;
  static unsigned WINAPI RunMain(void* run);
  void RunProcess(const Run& run);
  bool LoadEffects(const Json::Value& effects, bool apply, std::string* error);
  std::string VersionKey(const std::wstring& path) const;

  SimMachine& machine_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  UINT errorMode_ = 0;
  std::map<std::wstring, Library> libraries_;           // by lower-case file name
  std::map<uintptr_t, std::wstring> modules_;            // open handle -> library name
  uintptr_t nextModule_ = 0x70000000;
  std::map<std::wstring, INT> products_;                 // by lower-case code with braces
  std::map<std::string, FixedFileVersion> versions_;     // by host path
  std::vector<Installer> installers_;
  std::vector<Execution> executions_;
  std::set<std::wstring> held_;                          // lower-case file names
  std::multiset<std::wstring> waiting_;                  // runs being held
  size_t running_ = 0;
  bool shuttingDown_ = false;
  bool librarySearchRestricted_ = false;
  std::function<void(const std::wstring&)> onExecute_;
};

}  // namespace rundix
