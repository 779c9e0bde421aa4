// The paint manager as a window's user meets it: hover reported once per control, a press
// ended when the pointer leaves the window, Tab and Shift+Tab wrapping over the visible tab
// stops, the window's shape (corner regions, minimum track size), controls destroyed while
// the manager still points at them, and a modal window giving its owner back.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/ui/PaintManagerFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "platform/PixelRegion.h"
#include "ui/KuWindowImplBase.h"

namespace rundix::test {
namespace {

TEST_F(KuPaintManagerTest, HoverIsReportedOncePerControlItEnters) {
  Open(kThreeButtons);
  HWND hwnd = window_->Hwnd();
  RECT a = window_->RectOf(L"a");
  auto& driver = window_->Driver();
  // Several moves inside one button: one mouseenter.
  driver.MouseMove(hwnd, POINT{a.left + 5, a.top + 5});
  driver.MouseMove(hwnd, POINT{a.left + 20, a.top + 10});
  driver.MouseMove(hwnd, POINT{a.left + 30, a.top + 20});
  window_->WaitIdle();
  EXPECT_EQ(Names(KUM::UINOTIFY_MOUSEENTER), std::vector<std::wstring>{L"a"});
  EXPECT_TRUE(Names(KUM::UINOTIFY_MOUSELEAVE).empty());

  // On to the next button: leave for the first, enter for the second.
  driver.MouseMove(hwnd, window_->CenterOf(L"b"));
  window_->WaitIdle();
  EXPECT_EQ(Names(KUM::UINOTIFY_MOUSELEAVE), std::vector<std::wstring>{L"a"});
  EXPECT_EQ(Names(KUM::UINOTIFY_MOUSEENTER), (std::vector<std::wstring>{L"a", L"b"}));

  // Out of the window: the hover ends.
  driver.MouseLeave(hwnd);
  window_->WaitIdle();
  EXPECT_EQ(Names(KUM::UINOTIFY_MOUSELEAVE), (std::vector<std::wstring>{L"a", L"b"}));
  KuControl* hover = reinterpret_cast<KuControl*>(1);
  window_->Run([&] { hover = window_->Manager().GetHover(); });
  EXPECT_EQ(hover, nullptr);
}

TEST_F(KuPaintManagerTest, PointerLeavingTheWindowDuringAPressEndsItWithoutAClick) {
  Open(kThreeButtons);
  HWND hwnd = window_->Hwnd();
  POINT inside = window_->CenterOf(L"a");
  auto& driver = window_->Driver();
  driver.MouseMove(hwnd, inside);
  driver.LButtonDown(hwnd, inside);
  window_->WaitIdle();
  driver.MouseLeave(hwnd);
  window_->WaitIdle();
  UINT state = 0;
  KuControl* click = reinterpret_cast<KuControl*>(1);
  bool captured = true;
  window_->Run([&] {
    state = window_->Find(L"a")->GetMouseState();
    click = window_->Manager().GetClick();
    captured = window_->Manager().IsCaptured();
  });
  EXPECT_EQ(state & (KUM::UISTATE_PUSHED | KUM::UISTATE_CAPTURED), 0u);
  EXPECT_EQ(click, nullptr);
  EXPECT_FALSE(captured);
  EXPECT_TRUE(Names(KUM::UINOTIFY_CLICK).empty());
  // The button works as before afterwards.
  window_->Click(inside);
  EXPECT_EQ(Names(KUM::UINOTIFY_CLICK), std::vector<std::wstring>{L"a"});
}

TEST_F(KuPaintManagerTest, TabAndShiftTabWrapOverTheVisibleTabStops) {
  Open(kThreeButtons);
  // The first paint gave the focus to the first tab stop.
  EXPECT_EQ(FocusName(), L"a");
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), L"b");
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), L"c") << "the button on the hidden page is passed over";
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), L"a");
  Key(VK_TAB, true);
  EXPECT_EQ(FocusName(), L"c");
  Key(VK_TAB, true);
  EXPECT_EQ(FocusName(), L"b");

  // Once the page shows, its button takes its turn.
  window_->Run([&] { window_->Find(L"page")->SetVisible(true); });
  window_->WaitIdle();
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), L"hidden");
}

TEST_F(KuPaintManagerTest, AControlDestroyedWhileHoveredCapturedOrTickingIsForgotten) {
  Open(kThreeButtons);
  HWND hwnd = window_->Hwnd();
  POINT a = window_->CenterOf(L"a");
  auto& driver = window_->Driver();
  window_->Run([&] { window_->Manager().SetTimer(window_->Find(L"ticker"), 7, 100); });
  driver.MouseMove(hwnd, a);
  driver.LButtonDown(hwnd, a);
  window_->WaitIdle();
  KuControl* gone = nullptr;
  window_->Run([&] { gone = window_->Find(L"a"); });
  Destroy(L"a");
  Destroy(L"ticker");
  window_->Run([&] {
    KUM::KuPaintManager& manager = window_->Manager();
    EXPECT_NE(manager.GetHover(), gone);
    EXPECT_NE(manager.GetClick(), gone);
    EXPECT_NE(manager.GetFocus(), gone);
    EXPECT_EQ(manager.FindControl(L"a"), nullptr);
    EXPECT_EQ(manager.FindControl(L"ticker"), nullptr);
  });
  // Input and time go on without reaching the dead controls (the sanitizers watch).
  driver.MouseMove(hwnd, POINT{a.x + 3, a.y});
  driver.LButtonUp(hwnd, POINT{a.x + 3, a.y});
  window_->Advance(500);
  window_->WaitIdle();
  EXPECT_EQ(callback_.ticks.load(), 0);
  EXPECT_TRUE(Names(KUM::UINOTIFY_CLICK).empty());
  // The rest of the window still answers.
  window_->Click(L"b");
  EXPECT_EQ(Names(KUM::UINOTIFY_CLICK), std::vector<std::wstring>{L"b"});
}

TEST_F(KuPaintManagerTest, RoundCornersCutTheWindowRegion) {
  const wchar_t kRound[] = LR"(<Window roundcorner="2,2"><Control normalbkcolor="#FF336699" /></Window>)";
  const wchar_t kRoundLarge[] = LR"(<Window roundcorner="8,8"><Control normalbkcolor="#FF336699" /></Window>)";
  const wchar_t kBottom[] = LR"(<Window roundcorner="0,5"><Control normalbkcolor="#FF336699" /></Window>)";
  const wchar_t kSquare[] = LR"(<Window><Control normalbkcolor="#FF336699" /></Window>)";
  SkinWindowOptions options;
  options.width = 200;
  options.height = 100;
  auto contains = [&](int x, int y) { return Ws().WindowRegionContains(window_->Hwnd(), POINT{x, y}); };

  // 2 x 2 corners: GDI's round rectangle of the window's pixels, pixel for pixel.
  Open(kRound, options);
  PixelRegion expected = PixelRegion::RoundRect(RECT{0, 0, 201, 101}, 2, 2);
  int differing = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) differing += contains(x, y) != expected.Contains(x, y);
  }
  EXPECT_EQ(differing, 0);
  // Larger corners cut visibly.
  Open(kRoundLarge, options);
  EXPECT_FALSE(contains(0, 0));
  EXPECT_FALSE(contains(199, 0));
  EXPECT_FALSE(contains(0, 99));
  EXPECT_FALSE(contains(199, 99));
  EXPECT_TRUE(contains(100, 0));
  EXPECT_TRUE(contains(0, 50));
  EXPECT_TRUE(contains(199, 50));
  EXPECT_TRUE(contains(100, 99));
  EXPECT_TRUE(contains(4, 4));

  Open(kBottom, options);
  EXPECT_TRUE(contains(0, 0)) << "only the bottom corners are round";
  EXPECT_TRUE(contains(199, 0));
  EXPECT_FALSE(contains(0, 99));
  EXPECT_FALSE(contains(199, 99));
  EXPECT_TRUE(contains(0, 94));
  EXPECT_TRUE(contains(100, 99));
  auto shot = window_->Capture();
  ASSERT_TRUE(shot);
  EXPECT_TRUE(PixelNear(*shot, 100, 50, 0xFF336699));
  EXPECT_EQ(PixelAt(*shot, 0, 99) >> 24, 0u) << "outside the region nothing shows";
  SaveIfFailed(*shot, "bottom");

  Open(kSquare, options);
  EXPECT_TRUE(contains(0, 0));
  EXPECT_TRUE(contains(199, 99));
}

TEST_F(KuPaintManagerTest, TheMinimumAndMaximumInfoBoundTheTrackSize) {
  const wchar_t kSkin[] =
      LR"(<Window mininfo="1100,824" maxinfo="1500,0"><Control normalbkcolor="#FFFFFFFF" /></Window>)";
  SkinWindowOptions options;
  options.width = 1100;
  options.height = 824;
  Open(kSkin, options);
  MINMAXINFO info{};
  window_->Run([&] { Ws().SendMessageW(window_->Hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)); });
  EXPECT_EQ(info.ptMinTrackSize.x, 1100);
  EXPECT_EQ(info.ptMinTrackSize.y, 824);
  EXPECT_EQ(info.ptMaxTrackSize.x, 1500);
  // No maximum height: the work area's height and a frame on each side.
  RECT work{};
  RECT monitor{};
  ASSERT_TRUE(Ws().GetMonitorWorkArea(window_->Hwnd(), &work, &monitor));
  EXPECT_EQ(info.ptMaxTrackSize.y, (work.bottom - work.top) + 2 * Ws().GetSystemMetrics(SM_CYFRAME));
}

// A bare window of the library, shown modally over the test window.
class ModalWindow : public KUM::KuWindowImplBase {
 public:
  const wchar_t* GetWindowClassName() const override { return L"RundixModalTest_WND_CLASS"; }
};

TEST_F(KuPaintManagerTest, AModalWindowDisablesItsOwnerUntilItCloses) {
  Open(kThreeButtons);
  HWND owner = window_->Hwnd();
  std::atomic<bool> returned{false};
  std::thread modal([&] {
    window_->Driver().Run(
        owner,
        [&] {
          ModalWindow dialog;
          if (dialog.KuCreate(owner, L"modal", WS_POPUP, 0, 10, 10, 100, 80) != nullptr) dialog.ShowModal();
          returned = true;
        },
        60000);
  });
  HWND dialog = nullptr;
  for (int i = 0; i < 500 && dialog == nullptr; ++i) {
    dialog = Ws().FindWindowW(L"RundixModalTest_WND_CLASS", nullptr);
    if (dialog == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(dialog, nullptr);
  window_->Driver().WaitIdle(dialog);
  EXPECT_FALSE(Ws().IsWindowEnabled(owner));
  EXPECT_FALSE(returned.load());
  // The owner takes no clicks meanwhile.
  window_->Driver().LButtonDown(owner, window_->CenterOf(L"b"));
  window_->Driver().LButtonUp(owner, window_->CenterOf(L"b"));
  Ws().PostMessageW(dialog, WM_CLOSE, 0, 0);
  modal.join();
  EXPECT_TRUE(returned.load());
  EXPECT_FALSE(Ws().IsWindow(dialog));
  EXPECT_TRUE(Ws().IsWindowEnabled(owner));
  EXPECT_TRUE(Names(KUM::UINOTIFY_CLICK).empty());
}

}  // namespace
}  // namespace rundix::test
