// The real machine: each service a thin layer over the Win32 API.
#pragma once

#include <memory>

#include "platform/Machine.h"

namespace rundix {

class Win32Machine : public Machine {
 public:
  Win32Machine();
  ~Win32Machine() override;
  IRegistry& Registry() override { return *registry_; }
  IFileSystem& Files() override { return *files_; }
  IProfile& Profile() override { return *profile_; }
  IRuntime& Runtime() override { return *runtime_; }
  ISystemInfo& System() override { return *system_; }
  IEventLog& EventLog() override { return *eventLog_; }
  IInternet& Internet() override { return *internet_; }
  IWinHttp& WinHttp() override { return *winHttp_; }
  ICodePages& CodePages() override { return *codePages_; }

 private:
  std::unique_ptr<IRegistry> registry_;
  std::unique_ptr<IFileSystem> files_;
  std::unique_ptr<IProfile> profile_;
  std::unique_ptr<IRuntime> runtime_;
  std::unique_ptr<ISystemInfo> system_;
  std::unique_ptr<IEventLog> eventLog_;
  std::unique_ptr<IInternet> internet_;
  std::unique_ptr<IWinHttp> winHttp_;
  std::unique_ptr<ICodePages> codePages_;
};

// Factories of the services, one source file each.
std::unique_ptr<IRegistry> CreateWin32Registry();
std::unique_ptr<IFileSystem> CreateWin32FileSystem();
std::unique_ptr<IProfile> CreateWin32Profile();
std::unique_ptr<IRuntime> CreateWin32Runtime();
std::unique_ptr<ISystemInfo> CreateWin32SystemInfo();
std::unique_ptr<IEventLog> CreateWin32EventLog();
std::unique_ptr<IInternet> CreateWin32Internet();
std::unique_ptr<IWinHttp> CreateWin32WinHttp();
std::unique_ptr<ICodePages> CreateWin32CodePages();

}  // namespace rundix
