// A list's scroll bar: the thumb's size and place follow the range and position; dragging the
// thumb, holding a button and the mouse wheel scroll the list; without images the bar draws
// its default thumb and button outlines.
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KuContainer.h"
#include "ui/KuScrollbar.h"

namespace rundix::test {
namespace {

using KUM::KuContainer;
using KUM::KuScrollbar;

// Ten rows of 50 pixels in a 300-pixel list: 200 pixels to scroll. The style is the skin's
// own list style: 15 wide, lines of 30, no buttons, the wheel handed on.
std::wstring ListSkin(const std::wstring& listAttributes) {
  std::wstring rows;
  for (int i = 0; i < 10; ++i) {
    rows += L"<Control name=\"r" + std::to_wstring(i) + L"\" height=\"50\" dispatch=\"mousewheel\" " +
            (i % 2 ? L"normalbkcolor=\"#FFE0E0E0\"" : L"normalbkcolor=\"#FFFFFFFF\"") + L" />";
  }
  return LR"(<Window>
    <Default name="VScrollBar1" value="dispatch=&quot;mousewheel&quot; width=&quot;15&quot; linesize=&quot;30&quot; showbutton1=&quot;false&quot; showbutton2=&quot;false&quot;" />
    <HorizontalLayout normalbkcolor="#FFFFFFFF">
      <VerticalLayout name="list" )" +
         listAttributes + L">" + rows + LR"(</VerticalLayout>
    </HorizontalLayout>
  </Window>)";
}

struct BarView {
  bool visible = false;
  int range = -1;
  int pos = -1;
  RECT bar{0, 0, 0, 0};
  RECT thumb{0, 0, 0, 0};
  RECT button1{0, 0, 0, 0};
  RECT button2{0, 0, 0, 0};
  int firstRowTop = 0;
};

class KuScrollbarTest : public ::testing::Test {
 protected:
  void Open(const std::wstring& listAttributes) {
    window_ = SkinTestWindow::Open(ListSkin(listAttributes));
    ASSERT_NE(window_, nullptr);
  }

  BarView View() {
    BarView v;
    window_->Run([&] {
      auto* list = static_cast<KuContainer*>(window_->Find(L"list")->GetInterface(KUM::UICLASS_CONTAINER));
      KuScrollbar* bar = list->GetVerticalScrollbar();
      if (bar == nullptr) return;
      v.visible = bar->IsVisible();
      v.range = bar->GetScrollRange();
      v.pos = bar->GetScrollPos();
      v.bar = bar->GetPos();
      v.thumb = bar->GetThumbRect();
      v.button1 = bar->GetButton1Rect();
      v.button2 = bar->GetButton2Rect();
      v.firstRowTop = window_->Find(L"r0")->GetPos().top;
    });
    return v;
  }

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuScrollbarTest, ThumbIsTheVisibleShareOfTheContent) {
  Open(L"vscrollbar=\"VScrollBar1\"");
  BarView v = View();
  ASSERT_TRUE(v.visible);
  EXPECT_EQ(v.range, 200);
  EXPECT_EQ(v.pos, 0);
  EXPECT_EQ(v.bar.left, 400 - 15);
  EXPECT_EQ(v.bar.right, 400);
  EXPECT_EQ(KUM::KuHeight(v.thumb), 300 * 300 / 500);
  EXPECT_EQ(v.thumb.top, 0);

  // At the end of the range the thumb ends at the bottom of the bar.
  window_->Run([&] {
    auto* list = static_cast<KuContainer*>(window_->Find(L"list")->GetInterface(KUM::UICLASS_CONTAINER));
    list->EndDown();
  });
  v = View();
  EXPECT_EQ(v.pos, 200);
  EXPECT_EQ(v.thumb.bottom, 300);
  EXPECT_EQ(v.firstRowTop, -200);

  // Content that fits hides the bar.
  window_->Run([&] {
    auto* list = static_cast<KuContainer*>(window_->Find(L"list")->GetInterface(KUM::UICLASS_CONTAINER));
    for (int i = 9; i >= 6; --i) list->RemoveAt(i);
  });
  window_->WaitIdle();
  v = View();
  EXPECT_FALSE(v.visible);
  EXPECT_EQ(v.firstRowTop, 0);
}

TEST_F(KuScrollbarTest, DefaultLookWithoutImages) {
  Open(L"vscrollbarstyle=\"width=&quot;16&quot;\"");
  BarView v = View();
  ASSERT_TRUE(v.visible);
  // Buttons of 16 x 16 at the ends; the track between them holds the thumb.
  EXPECT_EQ(KUM::KuHeight(v.button1), 16);
  EXPECT_EQ(v.button2.bottom, 300);
  EXPECT_EQ(KUM::KuHeight(v.thumb), 300 * (300 - 32) / 500);
  EXPECT_EQ(v.thumb.top, 16);
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  int midX = (v.thumb.left + v.thumb.right) / 2;
  int midY = (v.thumb.top + v.thumb.bottom) / 2;
  EXPECT_TRUE(PixelNear(*capture, midX, midY, 0xFFB8E0FF, 8));
  // The thumb's corners are cut round.
  EXPECT_FALSE(PixelNear(*capture, v.thumb.left, v.thumb.top, 0xFFB8E0FF, 8));
  // 2-pixel outlines around the buttons, nothing inside them.
  EXPECT_TRUE(PixelNear(*capture, v.button1.left, v.button1.top + 8, 0xFF85E4FF, 8));
  EXPECT_TRUE(PixelNear(*capture, v.button1.left + 1, v.button1.top + 8, 0xFF85E4FF, 8));
  EXPECT_FALSE(PixelNear(*capture, v.button1.left + 8, v.button1.top + 8, 0xFF85E4FF, 8));
  EXPECT_TRUE(PixelNear(*capture, v.button2.right - 1, v.button2.top + 8, 0xFF85E4FF, 8));
  SaveIfFailed(*capture);
}

TEST_F(KuScrollbarTest, DraggingTheThumbScrollsTheList) {
  Open(L"vscrollbar=\"VScrollBar1\"");
  BarView v = View();
  ASSERT_TRUE(v.visible);
  HWND hwnd = window_->Hwnd();
  auto& driver = window_->Driver();
  POINT grip{(v.thumb.left + v.thumb.right) / 2, v.thumb.top + 90};
  driver.MouseMove(hwnd, grip);
  driver.LButtonDown(hwnd, grip);
  // 60 pixels along a free length of 300 - 180: half the range.
  driver.MouseMove(hwnd, POINT{grip.x, grip.y + 60});
  window_->Advance(120);
  v = View();
  EXPECT_EQ(v.pos, 100);
  EXPECT_EQ(v.firstRowTop, -100);
  EXPECT_EQ(v.thumb.top, 60);

  // Let go after a last move: the list ends where the thumb was dropped.
  driver.MouseMove(hwnd, POINT{grip.x, grip.y + 30});
  driver.LButtonUp(hwnd, POINT{grip.x, grip.y + 30});
  window_->WaitIdle();
  v = View();
  EXPECT_EQ(v.pos, 50);
  EXPECT_EQ(v.firstRowTop, -50);
  window_->Advance(200);
  EXPECT_EQ(View().pos, 50) << "the drag ends with the button";
}

TEST_F(KuScrollbarTest, HeldButtonRepeatsItsLineAndStopsOnRelease) {
  Open(L"vscrollbarstyle=\"width=&quot;16&quot; linesize=&quot;10&quot;\"");
  BarView v = View();
  ASSERT_TRUE(v.visible);
  HWND hwnd = window_->Hwnd();
  auto& driver = window_->Driver();
  POINT down{(v.button2.left + v.button2.right) / 2, (v.button2.top + v.button2.bottom) / 2};
  driver.MouseMove(hwnd, down);
  driver.LButtonDown(hwnd, down);
  window_->WaitIdle();
  EXPECT_EQ(View().pos, 10) << "a press scrolls one line at once";
  window_->Advance(150);
  EXPECT_EQ(View().pos, 10) << "no repeat in the first 300 ms";
  window_->Advance(650);
  driver.LButtonUp(hwnd, down);
  window_->WaitIdle();
  int held = View().pos;
  EXPECT_GE(held, 30) << "held past 300 ms it repeats";
  window_->Advance(300);
  EXPECT_EQ(View().pos, held) << "the release stops it";

  // Button 1 goes back the same way.
  POINT up{(v.button1.left + v.button1.right) / 2, (v.button1.top + v.button1.bottom) / 2};
  driver.MouseMove(hwnd, up);
  driver.LButtonDown(hwnd, up);
  driver.LButtonUp(hwnd, up);
  window_->WaitIdle();
  EXPECT_EQ(View().pos, held - 10);
}

TEST_F(KuScrollbarTest, PressOnTheTrackPagesTowardsThePointer) {
  Open(L"vscrollbar=\"VScrollBar1\"");
  BarView v = View();
  HWND hwnd = window_->Hwnd();
  auto& driver = window_->Driver();
  POINT below{(v.thumb.left + v.thumb.right) / 2, 290};
  driver.MouseMove(hwnd, below);
  driver.LButtonDown(hwnd, below);
  driver.LButtonUp(hwnd, below);
  window_->WaitIdle();
  EXPECT_EQ(View().pos, 200) << "one page of 300 reaches the end of a range of 200";
  POINT above{below.x, 10};
  driver.MouseMove(hwnd, above);
  driver.LButtonDown(hwnd, above);
  driver.LButtonUp(hwnd, above);
  window_->WaitIdle();
  EXPECT_EQ(View().pos, 0);
}

TEST_F(KuScrollbarTest, WheelOverTheListScrollsALine) {
  Open(L"vscrollbar=\"VScrollBar1\"");
  HWND hwnd = window_->Hwnd();
  POINT row = window_->CenterOf(L"r2");
  window_->Driver().MouseMove(hwnd, row);
  window_->Driver().Wheel(hwnd, row, -WHEEL_DELTA);
  window_->WaitIdle();
  BarView v = View();
  EXPECT_EQ(v.pos, 30);
  EXPECT_EQ(v.firstRowTop, -30);
  // Over the bar itself, which hands the wheel to its list.
  POINT onBar{(v.bar.left + v.bar.right) / 2, 200};
  window_->Driver().Wheel(hwnd, onBar, -WHEEL_DELTA);
  window_->Driver().Wheel(hwnd, onBar, WHEEL_DELTA);
  window_->Driver().Wheel(hwnd, onBar, WHEEL_DELTA);
  window_->WaitIdle();
  v = View();
  EXPECT_EQ(v.pos, 0);
  EXPECT_EQ(v.firstRowTop, 0);
  auto capture = window_->Capture();
  if (capture) SaveIfFailed(*capture);
}

}  // namespace
}  // namespace rundix::test
