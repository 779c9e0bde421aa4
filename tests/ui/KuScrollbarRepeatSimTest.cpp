// The scroll bar's repeat on the simulated clock, to the tick: a held button or track scrolls
// once at the press, then once per 50 ms tick from the sixth tick (300 ms) on.
#include <gtest/gtest.h>

#include "platform/sim/SimClock.h"
#include "tests/support/SkinTestWindow.h"
#include "ui/KuContainer.h"
#include "ui/KuScrollbar.h"

namespace rundix::test {
namespace {

using KUM::KuContainer;
using KUM::KuScrollbar;

// Rows of 50 in a 300-pixel list with 16-pixel buttons and lines of 10.
std::wstring Skin(int rows) {
  std::wstring list;
  for (int i = 0; i < rows; ++i) list += L"<Control height=\"50\" />";
  return LR"(<Window><HorizontalLayout>
    <VerticalLayout name="list" vscrollbarstyle="width=&quot;16&quot; linesize=&quot;10&quot;">)" +
         list + L"</VerticalLayout></HorizontalLayout></Window>";
}

class KuScrollbarRepeatSimTest : public ::testing::Test {
 protected:
  void Open(int rows) {
    SimClock::Instance().SetManual(true);
    window_ = SkinTestWindow::Open(Skin(rows));
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    window_.reset();
    SimClock::Instance().SetManual(false);
  }

  KuScrollbar* Bar() {
    auto* list = static_cast<KuContainer*>(window_->Find(L"list")->GetInterface(KUM::UICLASS_CONTAINER));
    return list->GetVerticalScrollbar();
  }
  int Pos() {
    int pos = -1;
    window_->Run([&] { pos = Bar()->GetScrollPos(); });
    return pos;
  }
  RECT Part(int which) {
    RECT r{0, 0, 0, 0};
    window_->Run([&] {
      r = which == 1 ? Bar()->GetButton1Rect() : which == 2 ? Bar()->GetButton2Rect() : Bar()->GetThumbRect();
    });
    return r;
  }

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuScrollbarRepeatSimTest, HeldButtonRepeatsFromTheSixthTick) {
  Open(10);
  RECT b2 = Part(2);
  POINT p{(b2.left + b2.right) / 2, (b2.top + b2.bottom) / 2};
  HWND hwnd = window_->Hwnd();
  window_->Driver().MouseMove(hwnd, p);
  window_->Driver().LButtonDown(hwnd, p);
  window_->WaitIdle();
  EXPECT_EQ(Pos(), 10);
  window_->Advance(250);
  EXPECT_EQ(Pos(), 10) << "ticks one to five only count";
  window_->Advance(50);
  EXPECT_EQ(Pos(), 20) << "the sixth tick repeats";
  window_->Advance(100);
  EXPECT_EQ(Pos(), 40);
  window_->Driver().LButtonUp(hwnd, p);
  window_->WaitIdle();
  window_->Advance(500);
  EXPECT_EQ(Pos(), 40);

  // The count starts again with the next press.
  window_->Driver().LButtonDown(hwnd, p);
  window_->WaitIdle();
  window_->Advance(250);
  EXPECT_EQ(Pos(), 50);
  window_->Driver().LButtonUp(hwnd, p);
  window_->WaitIdle();
}

TEST_F(KuScrollbarRepeatSimTest, HeldTrackPagesUntilTheThumbReachesThePointer) {
  // 1500 pixels in 300: a range of 1200 and pages of 300. The thumb (300 x 268 / 1500 = 53
  // long) reaches a pointer at 280 after four pages.
  Open(30);
  ASSERT_EQ(KUM::KuHeight(Part(0)), 53);
  POINT p{(Part(0).left + Part(0).right) / 2, 280};
  HWND hwnd = window_->Hwnd();
  window_->Driver().MouseMove(hwnd, p);
  window_->Driver().LButtonDown(hwnd, p);
  window_->WaitIdle();
  EXPECT_EQ(Pos(), 300) << "one page at the press";
  window_->Advance(250);
  EXPECT_EQ(Pos(), 300);
  window_->Advance(50);
  EXPECT_EQ(Pos(), 600);
  window_->Advance(100);
  EXPECT_EQ(Pos(), 1200);
  RECT thumb = Part(0);
  EXPECT_TRUE(p.y >= thumb.top && p.y < thumb.bottom) << "the thumb is under the pointer";
  window_->Advance(200);
  EXPECT_EQ(Pos(), 1200) << "and stays there";
  window_->Driver().LButtonUp(hwnd, p);
  window_->WaitIdle();
}

}  // namespace
}  // namespace rundix::test
