// What only the headless window system has: the manual clock that timers, hover, double clicks
// and the simulated machine's sleeps share, handles that never come back, and threads taking
// their windows with them.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "platform/Resources.h"
#include "platform/WindowDriver.h"
#include "platform/WindowSystem.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimRuntime.h"
#include "tests/support/TestWindows.h"

namespace rundix {
namespace {

using test::CreateTestWindow;
using test::Logging;
using test::LoggedMessage;
using test::MessageLog;
using test::TestWindowDesc;
using test::WindowThread;

IWindowSystem& System() { return WindowSystem(); }

class ManualClockTest : public ::testing::Test {
 protected:
  void SetUp() override { SimClock::Instance().SetManual(true); }
  void TearDown() override {
    thread.reset();
    SimClock::Instance().SetManual(false);
  }
  HWND Make(TestWindowDesc desc = {}, test::WindowHandler handler = {}) {
    HWND window = nullptr;
    thread->Run([&] { window = CreateTestWindow(desc, handler ? handler : Logging(log)); });
    return window;
  }
  void On(const std::function<void()>& work) { ASSERT_TRUE(thread->Run(work)); }

  IWindowDriver& driver = WindowDriver();
  MessageLog log;
  std::unique_ptr<WindowThread> thread = std::make_unique<WindowThread>();
};

TEST_F(ManualClockTest, TimersTickOncePerPeriodAsTheClockIsAdvanced) {
  HWND w = Make();
  On([&] {
    System().SetTimer(w, 1, 100);
    System().SetTimer(w, 2, 250);
  });
  driver.Advance(w, 999);
  auto ticks = [&](WPARAM id) {
    size_t n = 0;
    for (const LoggedMessage& m : log.Of(w, {WM_TIMER})) n += m.wParam == id;
    return n;
  };
  EXPECT_EQ(ticks(1), 9u);
  EXPECT_EQ(ticks(2), 3u);
  driver.Advance(w, 1);
  EXPECT_EQ(ticks(1), 10u);
  EXPECT_EQ(ticks(2), 4u);
  // Nothing happens while the clock stands still.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  ASSERT_TRUE(driver.WaitIdle(w));
  EXPECT_EQ(ticks(1), 10u);
}

TEST_F(ManualClockTest, ALateTimerTicksOnceAndItsPeriodStartsAgainWhenTaken) {
  HWND w = Make();
  On([&] { System().SetTimer(w, 1, 100); });
  SimClock::Instance().Advance(1000);  // ten periods at once
  ASSERT_TRUE(driver.WaitIdle(w));
  EXPECT_EQ(log.Count(w, WM_TIMER), 1u);
  driver.Advance(w, 99);
  EXPECT_EQ(log.Count(w, WM_TIMER), 1u);
  driver.Advance(w, 1);
  EXPECT_EQ(log.Count(w, WM_TIMER), 2u);
}

TEST_F(ManualClockTest, SettingATimerAgainRestartsItsPeriod) {
  HWND w = Make();
  On([&] { System().SetTimer(w, 5, 100); });
  driver.Advance(w, 60);
  On([&] { System().SetTimer(w, 5, 100); });
  driver.Advance(w, 60);
  EXPECT_EQ(log.Count(w, WM_TIMER), 0u);
  driver.Advance(w, 40);
  EXPECT_EQ(log.Count(w, WM_TIMER), 1u);
}

TEST_F(ManualClockTest, HoverComesAfterTheHoverTimeAtRest) {
  std::atomic<bool> tracking{false};
  HWND w = Make({}, Logging(log, [&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_MOUSEMOVE && !tracking) {
      TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, window, HOVER_DEFAULT};
      System().TrackMouseEvent(&track);
      tracking = true;
    }
    return std::nullopt;
  }));
  driver.MouseMove(w, POINT{20, 20});
  driver.Advance(w, 300);
  driver.MouseMove(w, POINT{21, 21});  // within the hover rectangle: the time runs on
  driver.Advance(w, 99);
  EXPECT_EQ(log.Count(w, WM_MOUSEHOVER), 0u);
  driver.Advance(w, 1);
  EXPECT_EQ(log.Count(w, WM_MOUSEHOVER), 1u);
  // Reported once; moving far starts nothing without a new request.
  driver.MouseMove(w, POINT{60, 60});
  driver.Advance(w, 1000);
  EXPECT_EQ(log.Count(w, WM_MOUSEHOVER), 1u);
  EXPECT_EQ(log.Count(w, WM_MOUSELEAVE), 0u);
}

TEST_F(ManualClockTest, TheDoubleClickTimeIsCountedOnTheClock) {
  TestWindowDesc desc;
  desc.className = test::TestWindowClass(CS_DBLCLKS);
  HWND w = Make(desc);
  const POINT at{30, 30};
  driver.LButtonDown(w, at);
  driver.LButtonUp(w, at);
  driver.Advance(w, 501);
  driver.LButtonDown(w, at);
  driver.LButtonUp(w, at);
  driver.Advance(w, 499);
  driver.LButtonDown(w, at);
  driver.LButtonUp(w, at);
  ASSERT_TRUE(driver.WaitIdle(w));
  const std::vector<UINT> expected{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN,
                                   WM_LBUTTONUP,   WM_LBUTTONDBLCLK, WM_LBUTTONUP};
  EXPECT_EQ(log.Kinds(w, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}), expected);
}

TEST_F(ManualClockTest, AWorkersSleepEndsWhenTheClockHasBeenAdvancedThatFar) {
  HWND w = Make();
  SimRuntime runtime;
  const DWORD started = runtime.GetTickCount();
  std::thread worker([&] {
    runtime.Sleep(1500);
    System().PostMessageW(w, WM_APP + 7, runtime.GetTickCount() - started, 0);
  });
  while (!SimClock::Instance().NextSleeperDue()) std::this_thread::yield();
  driver.Advance(w, 1499);
  EXPECT_EQ(log.Count(w, WM_APP + 7), 0u);
  driver.Advance(w, 1);
  ASSERT_TRUE(driver.WaitFor(w, [&] { return log.Count(w, WM_APP + 7) == 1; }));
  worker.join();
  EXPECT_EQ(log.Of(w, {WM_APP + 7}).front().wParam, 1500u);
  EXPECT_EQ(runtime.SleptMilliseconds(), 1500u);
}

TEST_F(ManualClockTest, AdvancingStopsAtTimersAndSleepersInTheirOrder) {
  HWND w = Make();
  SimRuntime runtime;
  std::atomic<DWORD> wokeAt{0};
  std::thread worker([&] {
    runtime.Sleep(150);
    wokeAt = runtime.GetTickCount();
    System().PostMessageW(w, WM_APP + 8, 0, 0);
  });
  // Let the worker start sleeping before time moves.
  while (!SimClock::Instance().NextSleeperDue()) std::this_thread::yield();
  On([&] { System().SetTimer(w, 1, 100); });
  const DWORD start = SimClock::Instance().Now();
  driver.Advance(w, 300);
  worker.join();
  ASSERT_TRUE(driver.WaitFor(w, [&] { return log.Count(w, WM_APP + 8) == 1; }));
  EXPECT_GE(wokeAt - start, 150u);
  EXPECT_LE(wokeAt - start, 300u);
  EXPECT_EQ(log.Count(w, WM_TIMER), 3u);
}

TEST(SimClock, ManualTimeStandsStillMovesWhenAdvancedAndNeverGoesBack) {
  SimClock& clock = SimClock::Instance();
  int calls = 0;
  int listener = clock.AddListener([&] { ++calls; });
  clock.SetManual(true);
  const uint64_t frozen = clock.Now64();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(clock.Now64(), frozen);
  clock.Advance(1234);
  EXPECT_EQ(clock.Now64(), frozen + 1234);
  clock.SetManual(false);
  EXPECT_GE(clock.Now64(), frozen + 1234);
  clock.Advance(1000);  // ignored in real mode
  EXPECT_LT(clock.Now64(), frozen + 2234);
  clock.RemoveListener(listener);
  clock.SetManual(true);
  clock.SetManual(false);
  EXPECT_EQ(calls, 3);  // manual, advance, real
}

TEST(WindowHandles, AreNeverUsedTwice) {
  std::set<HWND> seen;
  std::vector<HWND> old;
  for (int i = 0; i < 50; ++i) {
    HWND w = CreateTestWindow(TestWindowDesc{});
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(seen.insert(w).second);
    System().DestroyWindow(w);
    old.push_back(w);
  }
  for (HWND w : old) EXPECT_FALSE(System().IsWindow(w));
}

TEST(WindowThreads, AThreadThatEndsTakesItsWindowsWithIt) {
  HWND left = nullptr;
  std::thread([&] { left = CreateTestWindow(TestWindowDesc{}); }).join();
  ASSERT_NE(left, nullptr);
  EXPECT_FALSE(System().IsWindow(left));
  EXPECT_FALSE(System().PostMessageW(left, WM_APP, 0, 0));
}

TEST(WindowThreads, SendingToAnotherThreadsWindowIsRefused) {
  MessageLog log;
  HWND w = nullptr;
  WindowThread thread([&] { w = CreateTestWindow(TestWindowDesc{}, Logging(log)); });
  EXPECT_EQ(System().SendMessageW(w, WM_APP + 1, 0, 0), 0);
  EXPECT_EQ(System().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(WindowDriver().WaitIdle(w));
  EXPECT_EQ(log.Count(w, WM_APP + 1), 0u);
}

TEST(Icons, AnIconResourceLoadsAndEachHandleIsDestroyedOnce) {
  static const uint8_t kIcon[] = {0, 0, 1, 0, 1, 0};  // the headless system only needs it there
  static const ResourceEntry kEntries[] = {{L"ICON", 101, kIcon, sizeof kIcon}};
  static const ResourceTable kTable{kEntries, 1};
  HINSTANCE module = RegisterProgramResources(&kTable);
  HICON big = System().LoadIconResource(module, 101, 32, 32);
  HICON small = System().LoadIconResource(module, 101, 16, 16);
  ASSERT_NE(big, nullptr);
  ASSERT_NE(small, nullptr);
  EXPECT_NE(big, small);
  EXPECT_EQ(System().LoadIconResource(module, 102, 32, 32), nullptr);

  HWND window = CreateTestWindow(TestWindowDesc{});
  EXPECT_EQ(System().SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big)), 0);
  EXPECT_EQ(System().SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(small)),
            reinterpret_cast<LRESULT>(big));
  EXPECT_EQ(System().SendMessageW(window, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(small));
  System().DestroyWindow(window);
  EXPECT_TRUE(System().DestroyIcon(big));
  EXPECT_FALSE(System().DestroyIcon(big));
  EXPECT_TRUE(System().DestroyIcon(small));
}

TEST(HeadlessScreen, HasTheMonitorAndMetricsOfATypicalDesktop) {
  RECT work{};
  RECT monitor{};
  ASSERT_TRUE(System().GetMonitorWorkArea(nullptr, &work, &monitor));
  EXPECT_EQ(monitor.right, 1280);
  EXPECT_EQ(monitor.bottom, 1024);
  EXPECT_EQ(work.bottom, 984);
  EXPECT_EQ(System().GetSystemMetrics(SM_CXDOUBLECLK), 4);
  EXPECT_EQ(System().GetSystemMetrics(SM_CYCAPTION), 23);
}

}  // namespace
}  // namespace rundix
