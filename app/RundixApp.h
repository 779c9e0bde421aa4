// The process frame around the main window: OLE, the instance handle shared with the resource
// loader, the machine the program works on, the main window, the message loop.
#pragma once

#include <string>

#include "platform/Machine.h"
#include "platform/WindowTypes.h"

namespace KUM {

class RundixWnd;

class RundixApp {
 public:
  static RundixApp& Instance();
  ~RundixApp();

  HINSTANCE GetInstance() const { return instance_; }
  void SetInstance(HINSTANCE instance) { instance_ = instance; }
  rundix::Machine* GetMachine() const { return machine_; }
  void SetMachine(rundix::Machine* machine) { machine_ = machine; }
  // The main window while it exists (null before creation and after its final message).
  RundixWnd* GetMainWindow() const { return main_; }
  void SetMainWindow(RundixWnd* main) { main_ = main; }
  // Where the service and the installer downloads are: the configured hosts unless a test or
  // the local demo points the program elsewhere ("host:port").
  const std::wstring& GetServiceHost() const { return serviceHost_; }
  void SetServiceHost(std::wstring host) { serviceHost_ = std::move(host); }
  const std::wstring& GetDownloadServer() const { return downloadServer_; }
  void SetDownloadServer(std::wstring server) { downloadServer_ = std::move(server); }

 private:
  RundixApp();
  HINSTANCE instance_ = nullptr;
  std::wstring serviceHost_;
  std::wstring downloadServer_;
  rundix::Machine* machine_ = nullptr;
  RundixWnd* main_ = nullptr;
};

// Everything up to the visible main window. False when the window cannot be created.
bool InitApp(HINSTANCE instance, rundix::Machine& machine);
// The body of the entry point: InitApp, then the message loop until WM_QUIT. -1 when the
// window could not be created, otherwise 0.
int RunRundix(HINSTANCE instance, rundix::Machine& machine);

}  // namespace KUM
