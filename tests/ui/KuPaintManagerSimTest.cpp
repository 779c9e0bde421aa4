// Control timers on the window's timer, counted on the test clock.
#include <gtest/gtest.h>

#include "platform/sim/SimClock.h"
#include "tests/ui/PaintManagerFixture.h"

namespace rundix::test {
namespace {

TEST_F(KuPaintManagerTest, ControlTimersFireOnTheClockUntilKilled) {
  SimClock::Instance().SetManual(true);
  struct RealClockAgain {
    ~RealClockAgain() { SimClock::Instance().SetManual(false); }
  } realClockAgain;
  Open(kThreeButtons);
  KuControl* ticker = nullptr;
  bool set = false;
  window_->Run([&] {
    ticker = window_->Find(L"ticker");
    set = window_->Manager().SetTimer(ticker, 7, 100);
  });
  ASSERT_TRUE(set);
  window_->Advance(1000);
  EXPECT_EQ(callback_.ticks.load(), 10);

  // Setting it again re-arms the same timer with the new period.
  window_->Run([&] { set = window_->Manager().SetTimer(ticker, 7, 250); });
  ASSERT_TRUE(set);
  window_->Advance(1000);
  EXPECT_EQ(callback_.ticks.load(), 14);

  window_->Run([&] { window_->Manager().KillTimer(ticker, 7); });
  window_->Advance(1000);
  EXPECT_EQ(callback_.ticks.load(), 14);
}

}  // namespace
}  // namespace rundix::test
