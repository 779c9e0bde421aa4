// The paint manager tests' window: three buttons, one on a hidden page, and a control that
// counts its timer events (built by the skin's callback as an application control would be).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/SkinTestWindow.h"
#include "ui/KuContainer.h"
#include "ui/KuPaintManager.h"

namespace rundix::test {

using KUM::KuControl;

inline IWindowSystem& Ws() { return WindowSystem(); }

// A control that counts the timer events it is sent.
class TickControl : public KuControl {
 public:
  explicit TickControl(std::atomic<int>* ticks) : ticks_(ticks) {}
  void OnTimer(KUM::KuEventUI& event) override {
    if (event.wParam == 7) ++*ticks_;
    KuControl::OnTimer(event);
  }

 private:
  std::atomic<int>* ticks_;
};

class TickCallback : public KUM::IDialogBuilderCallback {
 public:
  KuControl* CreateControl(const std::wstring& name) override {
    return name == L"Ticker" ? new TickControl(&ticks) : nullptr;
  }
  std::atomic<int> ticks{0};
};

const wchar_t kThreeButtons[] = LR"(<Window>
  <VerticalLayout normalbkcolor="#FFFFFFFF" inset="10,10,10,10" childpadding="10">
    <Button name="a" height="40" text="A" notify="mouseenter mouseleave click" />
    <Button name="b" height="40" text="B" notify="mouseenter mouseleave click" />
    <VerticalLayout name="page" height="50" visible="false">
      <Button name="hidden" height="40" text="Hidden" />
    </VerticalLayout>
    <Button name="c" height="40" text="C" />
    <Ticker name="ticker" height="20" />
  </VerticalLayout>
</Window>)";

class KuPaintManagerTest : public ::testing::Test {
 protected:
  void Open(const wchar_t* skin, SkinWindowOptions options = {}) {
    options.callback = &callback_;
    window_ = SkinTestWindow::Open(skin, options);
    ASSERT_NE(window_, nullptr);
    window_->ClearNotifications();
  }

  std::vector<std::wstring> Names(UINT type) {
    std::vector<std::wstring> names;
    for (const NotifyRecord& r : window_->Notifications(type)) names.push_back(r.senderName);
    return names;
  }

  std::wstring FocusName() {
    std::wstring name;
    window_->Run([&] {
      if (KuControl* focus = window_->Manager().GetFocus()) name = focus->GetName();
    });
    return name;
  }

  void Key(UINT vk, bool shift = false) {
    window_->Driver().KeyDown(window_->Hwnd(), vk, shift);
    window_->Driver().KeyUp(window_->Hwnd(), vk, shift);
    window_->WaitIdle();
  }

  // Removes a named control from its container, which destroys it.
  void Destroy(const std::wstring& name) {
    window_->Run([&] {
      KuControl* control = window_->Find(name);
      ASSERT_NE(control, nullptr);
      auto* parent = static_cast<KUM::KuContainer*>(control->GetParent()->GetInterface(KUM::UICLASS_CONTAINER));
      ASSERT_NE(parent, nullptr);
      ASSERT_TRUE(parent->Remove(control));
    });
  }

  TickCallback callback_;
  std::unique_ptr<SkinTestWindow> window_;
};

}  // namespace rundix::test
