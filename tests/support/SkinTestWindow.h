// A window of the UI library for tests: built from a skin text on a window thread of its own,
// which runs the library's message loop while the test drives it like a user through the
// window driver. Every notification of its controls is recorded.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Raster.h"
#include "platform/WindowDriver.h"
#include "ui/KuDialogBuilder.h"
#include "ui/KuWindowImplBase.h"

namespace rundix::test {

// One notification as the window received it.
struct NotifyRecord {
  UINT type = 0;
  KUM::KuControl* sender = nullptr;
  std::wstring senderName;  // the sender's name when it was sent
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct SkinWindowOptions {
  // The Window section to build (null: the document's first element).
  const char* section = nullptr;
  int x = 0;
  int y = 0;
  int width = 400;
  int height = 300;
  DWORD style = WS_POPUP;
  // Unknown element names go here.
  KUM::IDialogBuilderCallback* callback = nullptr;
  // A skin that builds no root fails Open; with false the window opens empty.
  bool requireRoot = true;
};

class SkinTestWindow : public KUM::KuWindowImplBase {
 public:
  // Builds `skin` (the XML text) into a new window on a new window thread and shows it. Null
  // when the window cannot be created (or the skin gives no root, unless allowed).
  static std::unique_ptr<SkinTestWindow> Open(const std::wstring& skin,
                                              const SkinWindowOptions& options = {});
  // Destroys the window on its thread (unless it is gone already) and ends the thread.
  ~SkinTestWindow() override;

  HWND Hwnd() const { return hwnd_; }
  KUM::KuPaintManager& Manager() { return paintManager_; }
  // The control registered under `name`, or null. Controls belong to the window thread: look
  // at them inside Run, or while the thread is idle.
  KUM::KuControl* Find(const std::wstring& name) { return paintManager_.FindControl(name); }
  // The same, as the class `classId` (through GetInterface).
  template <typename T>
  T* FindAs(const std::wstring& name, UINT classId) {
    KUM::KuControl* control = Find(name);
    return control != nullptr ? static_cast<T*>(control->GetInterface(classId)) : nullptr;
  }
  // The item rectangle of a named control and its middle (read on the window thread).
  RECT RectOf(const std::wstring& name);
  POINT CenterOf(const std::wstring& name);

  // The window driver's operations on this window.
  IWindowDriver& Driver() { return WindowDriver(); }
  bool Run(const std::function<void()>& work) { return WindowDriver().Run(hwnd_, work); }
  bool WaitIdle() { return WindowDriver().WaitIdle(hwnd_); }
  void Advance(DWORD milliseconds) { WindowDriver().Advance(hwnd_, milliseconds); }
  bool WaitFor(const std::function<bool()>& condition) {
    return WindowDriver().WaitFor(hwnd_, condition);
  }
  // A press and release at a point (client coordinates), then idle.
  void Click(POINT point);
  void Click(const std::wstring& name) { Click(CenterOf(name)); }
  // The window's pixels as shown (pending paints done first).
  std::unique_ptr<Bitmap> Capture() { return WindowDriver().Capture(hwnd_); }

  // The notifications so far (a copy), all of them or those of one type.
  std::vector<NotifyRecord> Notifications() const;
  std::vector<NotifyRecord> Notifications(UINT type) const;
  void ClearNotifications();
  // Called on the window thread for each notification, after it is recorded.
  void SetNotifyHook(std::function<void(KUM::KuNotify&)> hook);

  // Why the build gave no root (from the dialog builder), for failure messages.
  const std::string& BuildError() const { return buildError_; }

  const wchar_t* GetWindowClassName() const override { return L"RundixSkinTest_WND_CLASS"; }
  UINT GetClassStyle() const override { return CS_DBLCLKS; }
  LRESULT KuOnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT KuOnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void Notify(KUM::KuNotify& msg) override;

 private:
  SkinTestWindow(std::wstring skin, const SkinWindowOptions& options);
  void ThreadMain();

  std::wstring skin_;
  SkinWindowOptions options_;
  HWND hwnd_ = nullptr;
  std::string buildError_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<NotifyRecord> records_;
  std::function<void(KUM::KuNotify&)> hook_;
};

}  // namespace rundix::test
