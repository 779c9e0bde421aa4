#include "app/RundixApp.h"

#include "app/RundixWnd.h"
#include "engine/RuntimeCatalogue.h"
#include "net/ServiceApi.h"
#include "platform/Process.h"
#include "ui/KuLoadResource.h"
#include "ui/KuPaintManager.h"

namespace KUM {

RundixApp& RundixApp::Instance() {
  static RundixApp app;
  return app;
}

RundixApp::RundixApp()
    : serviceHost_(rundix::DefaultServiceHost()), downloadServer_(rundix::DefaultDownloadServer()) {}

RundixApp::~RundixApp() { rundix::OleUninitializeThread(); }

bool InitApp(HINSTANCE instance, rundix::Machine& machine) {
  rundix::OleInitializeThread();
  RundixApp& app = RundixApp::Instance();
  app.SetInstance(instance);
  app.SetMachine(&machine);
  KuLoadResource::Instance().SetResourceInstance(instance);

  auto* window = new RundixWnd(machine);
  // The object deletes itself on its window's final message; a creation that fails after the
  // window existed has already deleted it.
  bool gone = false;
  window->SetGoneFlag(&gone);
  std::wstring title = KuLoadResource::Instance().LoadStr(103);
  HWND handle = window->KuCreate(nullptr, title.c_str(), 0x06CF0000, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
  if (handle == nullptr) {
    if (!gone) delete window;
    return false;
  }
  window->SetGoneFlag(nullptr);
  app.SetMainWindow(window);
  SIZE minimum = window->PaintManager().GetMinInfo();
  Ws().SetWindowPos(handle, nullptr, 0, 0, minimum.cx, minimum.cy, SWP_NOMOVE | SWP_NOZORDER);
  window->CenterWindow();
  window->KuShowWindow(true, true);
  return true;
}

int RunRundix(HINSTANCE instance, rundix::Machine& machine) {
  if (!InitApp(instance, machine)) return -1;
  KuPaintManager::MessageLoop();
  RundixApp::Instance().SetMainWindow(nullptr);
  return 0;
}

}  // namespace KUM
