#include "tests/support/ProgramSession.h"

#include <filesystem>
#include <future>

#include "app/RundixApp.h"
#include "platform/Resources.h"
#include "ui/KuPaintManager.h"
#include "ui/KuWindowImplBase.h"

namespace rundix::test {

KUM::KuPaintManager* ManagerOf(HWND window) {
  auto* object = reinterpret_cast<KUM::KuWindowWnd*>(WindowSystem().GetWindowLongW(window, GWLP_USERDATA));
  auto* base = dynamic_cast<KUM::KuWindowImplBase*>(object);
  return base != nullptr ? &base->PaintManager() : nullptr;
}

ProgramSession::ProgramSession(SimMachine& machine, const std::wstring& server, const InstallerPins* pins)
    : machine_(machine) {
  std::promise<bool> created;
  std::future<bool> done = created.get_future();
  thread_ = std::thread([this, server, pins, &created] {
    KUM::RundixApp& app = KUM::RundixApp::Instance();
    app.SetServiceHost(server);
    app.SetDownloadServer(server);
    app.SetInstallerPins(pins);
    bool ok = KUM::InitApp(ProgramInstance(), machine_);
    if (ok) {
      window_ = app.GetMainWindow();
      main_ = window_->GetHWND();
    }
    created.set_value(ok);
    if (ok) {
      KUM::KuPaintManager::MessageLoop();
      exitCode_ = 0;
    } else {
      exitCode_ = -1;
    }
    ended_ = true;
  });
  started_ = done.get();
  if (started_) WaitIdle();
}

ProgramSession::~ProgramSession() {
  if (!ended_ && main_ != nullptr) {
    HWND main = main_;
    // Alt+F4's way: the close flow waits for the workers, then the loop ends.
    WindowSystem().PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  if (thread_.joinable()) thread_.join();
}

bool ProgramSession::Ended() const { return ended_; }

bool ProgramSession::WaitEnded(DWORD realTimeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
  while (!ended_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended_ && thread_.joinable()) thread_.join();
  return ended_;
}

bool ProgramSession::Visible(UINT id) {
  bool visible = false;
  Run([&] {
    if (auto* c = window_->PaintManager().FindControl(id)) visible = c->IsVisible();
  });
  return visible;
}

std::wstring ProgramSession::Text(UINT id) {
  std::wstring text;
  Run([&] {
    if (auto* c = window_->PaintManager().FindControl(id)) text = c->GetText();
  });
  return text;
}

RECT ProgramSession::RectOf(UINT id) {
  RECT rect{0, 0, 0, 0};
  Run([&] {
    if (auto* c = window_->PaintManager().FindControl(id)) rect = c->GetPos();
  });
  return rect;
}

void ProgramSession::ClickAt(HWND window, POINT point) {
  WindowDriver().MouseMove(window, point);
  WindowDriver().LButtonDown(window, point);
  WindowDriver().LButtonUp(window, point);
}

void ProgramSession::Click(UINT id, HWND window) {
  HWND target = window != nullptr ? window : main_;
  RECT rect{0, 0, 0, 0};
  WindowDriver().Run(target, [&] {
    if (KUM::KuPaintManager* manager = ManagerOf(target)) {
      if (auto* c = manager->FindControl(id)) rect = c->GetPos();
    }
  });
  ClickAt(target, POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

std::unique_ptr<Bitmap> ProgramSession::Capture(HWND window) {
  return WindowDriver().Capture(window != nullptr ? window : main_);
}

std::string ProgramSession::Save(const Bitmap& bitmap, const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(RUNDIX_BINARY_DIR) / "artifacts" / "program";
  std::filesystem::create_directories(dir);
  std::string path = (dir / (name + ".png")).string();
  WritePng(bitmap, path);
  return path;
}

}  // namespace rundix::test
