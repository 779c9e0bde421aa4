// The process frame around the main window: OLE, the instance handle shared with the resource
// loader, the machine the program works on, the main window, the message loop.
#pragma once

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

 private:
  RundixApp() = default;
  HINSTANCE instance_ = nullptr;
  rundix::Machine* machine_ = nullptr;
  RundixWnd* main_ = nullptr;
};

// Everything up to the visible main window. False when the window cannot be created.
bool InitApp(HINSTANCE instance, rundix::Machine& machine);
// The body of the entry point: InitApp, then the message loop until WM_QUIT. -1 when the
// window could not be created, otherwise 0.
int RunRundix(HINSTANCE instance, rundix::Machine& machine);

}  // namespace KUM
