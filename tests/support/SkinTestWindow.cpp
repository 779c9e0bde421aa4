#include "tests/support/SkinTestWindow.h"

#include <future>

namespace rundix::test {

SkinTestWindow::SkinTestWindow(std::wstring skin, const SkinWindowOptions& options)
    : skin_(std::move(skin)), options_(options) {}

std::unique_ptr<SkinTestWindow> SkinTestWindow::Open(const std::wstring& skin,
                                                     const SkinWindowOptions& options) {
  std::unique_ptr<SkinTestWindow> window(new SkinTestWindow(skin, options));
  auto created = std::make_shared<std::promise<HWND>>();
  std::future<HWND> result = created->get_future();
  SkinTestWindow* self = window.get();
  window->thread_ = std::thread([self, created] {
    HWND hwnd = self->KuCreate(nullptr, L"Rundix test", self->options_.style, 0, self->options_.x,
                               self->options_.y, self->options_.width, self->options_.height);
    self->hwnd_ = hwnd;
    if (hwnd != nullptr) {
      WindowSystem().ShowWindow(hwnd, SW_SHOW);
      WindowSystem().UpdateWindow(hwnd);
    }
    created->set_value(hwnd);
    if (hwnd != nullptr) KUM::KuPaintManager::MessageLoop();
  });
  if (result.get() == nullptr) {
    window->thread_.join();
    return nullptr;
  }
  window->WaitIdle();
  return window;
}

SkinTestWindow::~SkinTestWindow() {
  if (thread_.joinable()) {
    HWND hwnd = hwnd_;
    // The window's thread destroys it; its WM_DESTROY ends the message loop.
    if (hwnd != nullptr && !WindowDriver().Run(hwnd, [hwnd] { WindowSystem().DestroyWindow(hwnd); })) {
      WindowSystem().PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    thread_.join();
  }
}

LRESULT SkinTestWindow::KuOnCreate(UINT, WPARAM, LPARAM, bool& handled) {
  handled = true;
  paintManager_.Init(GetHWND());
  KUM::KuDialogBuilder builder;
  KUM::KuControl* root = builder.Create(skin_, options_.section, KUM::UISKIN_TEXT, L"",
                                        options_.callback, &paintManager_);
  if (root == nullptr) {
    buildError_ = builder.GetLastError();
    if (options_.requireRoot) return -1;
  } else {
    paintManager_.AttachDialog(root);
  }
  paintManager_.AddNotifier(this);
  return 0;
}

LRESULT SkinTestWindow::KuOnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;  // the paint manager and the default procedure see it too
  WindowSystem().PostQuitMessage(0);
  return 0;
}

void SkinTestWindow::Notify(KUM::KuNotify& msg) {
  std::function<void(KUM::KuNotify&)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    NotifyRecord record;
    record.type = msg.Type;
    record.sender = msg.pSender;
    if (msg.pSender != nullptr) record.senderName = msg.pSender->GetName();
    record.wParam = msg.wParam;
    record.lParam = msg.lParam;
    records_.push_back(record);
    hook = hook_;
  }
  if (hook) hook(msg);
}

std::vector<NotifyRecord> SkinTestWindow::Notifications() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::vector<NotifyRecord> SkinTestWindow::Notifications(UINT type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<NotifyRecord> out;
  for (const NotifyRecord& r : records_) {
    if (r.type == type) out.push_back(r);
  }
  return out;
}

void SkinTestWindow::ClearNotifications() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

void SkinTestWindow::SetNotifyHook(std::function<void(KUM::KuNotify&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

RECT SkinTestWindow::RectOf(const std::wstring& name) {
  RECT rect{0, 0, 0, 0};
  Run([&] {
    if (KUM::KuControl* control = Find(name)) rect = control->GetPos();
  });
  return rect;
}

POINT SkinTestWindow::CenterOf(const std::wstring& name) {
  RECT r = RectOf(name);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void SkinTestWindow::Click(POINT point) {
  Driver().MouseMove(hwnd_, point);
  Driver().LButtonDown(hwnd_, point);
  Driver().LButtonUp(hwnd_, point);
  WaitIdle();
}

}  // namespace rundix::test
