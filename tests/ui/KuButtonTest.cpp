// Buttons as a user meets them: a press completes a click only when released inside, a double
// click is two clicks, a disabled button neither clicks nor takes the focus.
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KuButton.h"
#include "ui/KuPaintManager.h"

namespace rundix::test {
namespace {

using KUM::KuControl;

const wchar_t kSkin[] = LR"(<Window>
  <VerticalLayout normalbkcolor="#FFFFFFFF" inset="10,10,10,10" childpadding="10">
    <Button name="ok" height="40" text="OK" notify="lbuttonup" normalbkcolor="#FF3366CC"
            pushedbkcolor="#FF102040" normaltextcolor="#FFFFFFFF" />
    <Button name="off" height="40" text="Off" enabled="false" normalbkcolor="#FF3366CC"
            disabledbkcolor="#FF808080" disabledtextcolor="#FFD0D0D0" />
    <Control />
  </VerticalLayout>
</Window>)";

class KuButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = SkinTestWindow::Open(kSkin);
    ASSERT_NE(window_, nullptr);
    window_->ClearNotifications();
  }

  size_t Count(UINT type, const std::wstring& sender) {
    size_t n = 0;
    for (const NotifyRecord& r : window_->Notifications(type)) n += r.senderName == sender;
    return n;
  }

  UINT MouseState(const std::wstring& name) {
    UINT state = 0;
    window_->Run([&] { state = window_->Find(name)->GetMouseState(); });
    return state;
  }

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuButtonTest, ReleaseOutsideEndsThePressWithoutAClick) {
  HWND hwnd = window_->Hwnd();
  POINT inside = window_->CenterOf(L"ok");
  POINT outside{inside.x, 250};
  auto& driver = window_->Driver();
  driver.MouseMove(hwnd, inside);
  driver.LButtonDown(hwnd, inside);
  window_->WaitIdle();
  EXPECT_EQ(MouseState(L"ok") & (KUM::UISTATE_PUSHED | KUM::UISTATE_CAPTURED),
            UINT{KUM::UISTATE_PUSHED | KUM::UISTATE_CAPTURED});

  // Dragged off the button the press shows released, and back on it pushed again.
  driver.MouseMove(hwnd, outside);
  window_->WaitIdle();
  EXPECT_EQ(MouseState(L"ok") & KUM::UISTATE_PUSHED, 0u);
  driver.MouseMove(hwnd, inside);
  window_->WaitIdle();
  EXPECT_NE(MouseState(L"ok") & KUM::UISTATE_PUSHED, 0u);

  driver.MouseMove(hwnd, outside);
  driver.LButtonUp(hwnd, outside);
  window_->WaitIdle();
  EXPECT_EQ(Count(KUM::UINOTIFY_LBUTTONUP, L"ok"), 1u) << "the button-up still goes to the button";
  EXPECT_EQ(Count(KUM::UINOTIFY_CLICK, L"ok"), 0u);
  EXPECT_EQ(MouseState(L"ok") & (KUM::UISTATE_PUSHED | KUM::UISTATE_CAPTURED), 0u);

  // The same press released inside is a click.
  window_->Click(inside);
  EXPECT_EQ(Count(KUM::UINOTIFY_CLICK, L"ok"), 1u);
}

TEST_F(KuButtonTest, PressedButtonShowsItsPushedColour) {
  POINT inside = window_->CenterOf(L"ok");
  RECT rect = window_->RectOf(L"ok");
  window_->Driver().MouseMove(window_->Hwnd(), inside);
  window_->Driver().LButtonDown(window_->Hwnd(), inside);
  window_->WaitIdle();
  auto pushed = window_->Capture();
  ASSERT_NE(pushed, nullptr);
  EXPECT_TRUE(PixelNear(*pushed, rect.right - 3, rect.bottom - 3, 0xFF102040, 8));
  SaveIfFailed(*pushed, "pushed");
  window_->Driver().LButtonUp(window_->Hwnd(), inside);
  window_->WaitIdle();
  auto released = window_->Capture();
  ASSERT_NE(released, nullptr);
  EXPECT_TRUE(PixelNear(*released, rect.right - 3, rect.bottom - 3, 0xFF3366CC, 8));
}

TEST_F(KuButtonTest, DoubleClickCountsAsTwoClicks) {
  HWND hwnd = window_->Hwnd();
  POINT p = window_->CenterOf(L"ok");
  auto& driver = window_->Driver();
  driver.MouseMove(hwnd, p);
  driver.LButtonDown(hwnd, p);
  driver.LButtonUp(hwnd, p);
  driver.LButtonDblClk(hwnd, p);
  driver.LButtonUp(hwnd, p);
  window_->WaitIdle();
  EXPECT_EQ(Count(KUM::UINOTIFY_CLICK, L"ok"), 2u);
  EXPECT_EQ(MouseState(L"ok") & (KUM::UISTATE_PUSHED | KUM::UISTATE_CAPTURED), 0u);
}

TEST_F(KuButtonTest, DisabledButtonShowsDisabledColoursAndTakesNoClickNorFocus) {
  RECT off = window_->RectOf(L"off");
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  bool sawText = false;
  for (int y = off.top; y < off.bottom && !sawText; ++y) {
    for (int x = off.left; x < off.right && !sawText; ++x) {
      sawText = PixelNear(*capture, x, y, 0xFFD0D0D0, 12);
    }
  }
  EXPECT_TRUE(PixelNear(*capture, off.right - 3, off.bottom - 3, 0xFF808080, 8));
  EXPECT_TRUE(sawText) << "the disabled text colour shows";
  SaveIfFailed(*capture);

  window_->Click(L"off");
  EXPECT_EQ(Count(KUM::UINOTIFY_CLICK, L"off"), 0u);
  KuControl* focus = nullptr;
  KuControl* off_control = nullptr;
  window_->Run([&] {
    focus = window_->Manager().GetFocus();
    off_control = window_->Find(L"off");
  });
  EXPECT_NE(focus, off_control);

  // Tab goes round the tab stops the user can reach: the enabled button only.
  window_->Driver().KeyDown(window_->Hwnd(), VK_TAB, false);
  window_->Driver().KeyUp(window_->Hwnd(), VK_TAB, false);
  window_->WaitIdle();
  window_->Driver().KeyDown(window_->Hwnd(), VK_TAB, false);
  window_->Driver().KeyUp(window_->Hwnd(), VK_TAB, false);
  window_->WaitIdle();
  window_->Run([&] { focus = window_->Manager().GetFocus(); });
  EXPECT_EQ(focus != nullptr ? focus->GetName() : L"", L"ok");

  // Enabled again, it clicks.
  window_->Run([&] { window_->Find(L"off")->SetEnabled(true); });
  window_->Click(L"off");
  EXPECT_EQ(Count(KUM::UINOTIFY_CLICK, L"off"), 1u);
}

}  // namespace
}  // namespace rundix::test
