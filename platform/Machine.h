// The machine the program runs on, as the program's logic sees it. Passed in, never global:
// the real one (Win32Machine) on Windows, a simulated one (SimMachine) in the Linux build.
// Each group of services is a small interface of its own.
#pragma once

#include "platform/CodePages.h"
#include "platform/EventLog.h"
#include "platform/FileSystem.h"
#include "platform/Internet.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Runtime.h"
#include "platform/SystemInfo.h"
#include "platform/WinHttp.h"

namespace rundix {

class Machine {
 public:
  virtual ~Machine() = default;
  virtual IRegistry& Registry() = 0;
  virtual IFileSystem& Files() = 0;
  virtual IProfile& Profile() = 0;
  virtual IRuntime& Runtime() = 0;
  virtual ISystemInfo& System() = 0;
  virtual IEventLog& EventLog() = 0;
  virtual IInternet& Internet() = 0;
  virtual IWinHttp& WinHttp() = 0;
  virtual ICodePages& CodePages() = 0;
};

}  // namespace rundix
