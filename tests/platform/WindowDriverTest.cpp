// Input and pixels through the window driver, from the test thread while the windows run their
// own message loop: capture, double clicks, mouse leave and hover, disabled windows, keys and
// characters, the wheel, caption dragging and reading a window's pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "platform/Raster.h"
#include "platform/WindowDriver.h"
#include "platform/WindowSystem.h"
#include "tests/support/PixelCheck.h"
#include "tests/support/TestWindows.h"

namespace rundix {
namespace {

using test::CreateTestWindow;
using test::Logging;
using test::LoggedMessage;
using test::MessageLog;
using test::TestWindowDesc;
using test::WindowHandler;
using test::WindowThread;

IWindowSystem& System() { return WindowSystem(); }

POINT PointOf(LPARAM lParam) {
  return POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
}

class WindowDriverTest : public ::testing::Test {
 protected:
  IWindowDriver& driver = WindowDriver();
  MessageLog log;
  std::unique_ptr<WindowThread> thread = std::make_unique<WindowThread>();

  // A window made on the window thread.
  HWND Make(TestWindowDesc desc, WindowHandler handler = {}) {
    HWND window = nullptr;
    thread->Run([&] { window = CreateTestWindow(desc, handler ? handler : Logging(log)); });
    return window;
  }
  void On(const std::function<void()>& work) { ASSERT_TRUE(thread->Run(work)); }
  void Idle(HWND window) { ASSERT_TRUE(driver.WaitIdle(window)); }
};

TEST_F(WindowDriverTest, TheCaptureWindowGetsTheMouseOutsideItAndHitTestingComesFirst) {
  TestWindowDesc desc;
  HWND a = Make(desc, Logging(log, [](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_LBUTTONDOWN) System().SetCapture(window);
    if (message == WM_LBUTTONUP) System().ReleaseCapture();
    return std::nullopt;
  }));
  desc.x = 400;
  HWND b = Make(desc);
  driver.MouseMove(a, POINT{20, 30});
  Idle(a);
  std::vector<UINT> first = log.Kinds(a, {WM_NCHITTEST, WM_SETCURSOR, WM_MOUSEMOVE});
  ASSERT_FALSE(first.empty());
  EXPECT_LT(std::find(first.begin(), first.end(), WM_SETCURSOR), std::find(first.begin(), first.end(), WM_MOUSEMOVE));
  EXPECT_EQ(first.front(), static_cast<UINT>(WM_NCHITTEST));
  const LoggedMessage setCursor = log.Of(a, {WM_SETCURSOR}).front();
  EXPECT_EQ(LOWORD(setCursor.lParam), HTCLIENT);
  EXPECT_EQ(HIWORD(setCursor.lParam), static_cast<WORD>(WM_MOUSEMOVE));

  log.Clear();
  driver.LButtonDown(a, POINT{20, 30});
  driver.MouseMove(a, POINT{350, 40});  // over b
  driver.LButtonUp(a, POINT{350, 40});
  Idle(a);
  std::vector<LoggedMessage> mouse = log.Of(a, {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP});
  ASSERT_EQ(mouse.size(), 3u);
  EXPECT_EQ(mouse[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(mouse[0].wParam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
  EXPECT_EQ(mouse[1].message, static_cast<UINT>(WM_MOUSEMOVE));
  EXPECT_EQ(PointOf(mouse[1].lParam).x, 350);
  EXPECT_EQ(PointOf(mouse[1].lParam).y, 40);
  EXPECT_EQ(mouse[1].wParam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
  EXPECT_EQ(mouse[2].message, static_cast<UINT>(WM_LBUTTONUP));
  EXPECT_EQ(log.Count(b, WM_LBUTTONUP), 0u);
  EXPECT_EQ(log.Count(b, WM_LBUTTONDOWN), 0u);

  driver.MouseMove(a, POINT{350, 50});
  Idle(a);
  std::vector<LoggedMessage> moves = log.Of(b, {WM_MOUSEMOVE});
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(PointOf(moves.back().lParam).x, 50);
  EXPECT_EQ(PointOf(moves.back().lParam).y, 50);
}

TEST_F(WindowDriverTest, DoubleClicksComeOnlyToClassesThatAskForThem) {
  TestWindowDesc desc;
  desc.className = test::TestWindowClass(CS_DBLCLKS);
  HWND doubles = Make(desc);
  desc.className.clear();
  desc.x = 400;
  HWND plain = Make(desc);
  const std::initializer_list<UINT> buttons{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
  const POINT at{30, 30};

  for (HWND w : {doubles, plain}) {
    driver.LButtonDown(w, at);
    driver.LButtonUp(w, at);
    driver.LButtonDblClk(w, at);
    driver.LButtonUp(w, at);
  }
  Idle(doubles);
  std::vector<UINT> expected{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
  EXPECT_EQ(log.Kinds(doubles, buttons), expected);
  expected = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP};
  EXPECT_EQ(log.Kinds(plain, buttons), expected);

  // Two quick presses at one place make a double click; a second press elsewhere does not.
  log.Clear();
  driver.LButtonDown(doubles, at);
  driver.LButtonUp(doubles, at);
  driver.LButtonDown(doubles, at);
  driver.LButtonUp(doubles, at);
  driver.LButtonDown(doubles, POINT{90, 60});
  driver.LButtonUp(doubles, POINT{90, 60});
  Idle(doubles);
  expected = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP};
  EXPECT_EQ(log.Kinds(doubles, buttons), expected);
}

TEST_F(WindowDriverTest, TrackedWindowsHearOfHoverAndOfThePointerLeaving) {
  std::atomic<bool> tracking{false};
  auto tracker = [&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_MOUSEMOVE && !tracking) {
      TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | TME_HOVER, window, 100};
      System().TrackMouseEvent(&track);
      tracking = true;
    }
    if (message == WM_MOUSELEAVE) tracking = false;
    return std::nullopt;
  };
  TestWindowDesc desc;
  HWND w = Make(desc, Logging(log, tracker));
  desc.x = 400;
  HWND other = Make(desc);

  driver.MouseMove(w, POINT{30, 40});
  Idle(w);
  driver.Advance(w, 250);
  ASSERT_TRUE(driver.WaitFor(w, [&] { return log.Count(w, WM_MOUSEHOVER) == 1; }, 5000));
  const LoggedMessage hover = log.Of(w, {WM_MOUSEHOVER}).front();
  EXPECT_EQ(PointOf(hover.lParam).x, 30);
  EXPECT_EQ(PointOf(hover.lParam).y, 40);
  EXPECT_EQ(log.Count(w, WM_MOUSELEAVE), 0u);

  driver.MouseLeave(w);
  ASSERT_TRUE(driver.WaitFor(w, [&] { return log.Count(w, WM_MOUSELEAVE) == 1; }, 5000));

  // Moving onto another window leaves this one too.
  driver.MouseMove(w, POINT{30, 40});
  ASSERT_TRUE(driver.WaitFor(w, [&] { return tracking.load(); }, 5000));
  driver.MouseMove(other, POINT{10, 10});
  ASSERT_TRUE(driver.WaitFor(w, [&] { return log.Count(w, WM_MOUSELEAVE) == 2; }, 5000));
}

TEST_F(WindowDriverTest, NonClientTrackingHearsThePointerLeaveForTheClientArea) {
  TestWindowDesc desc;
  HWND w = Make(desc, Logging(log, [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
    if (message == WM_NCHITTEST) {
      LRESULT hit = System().DefWindowProcW(window, message, wParam, lParam);
      POINT point = PointOf(lParam);
      System().ScreenToClient(window, &point);
      return hit == HTCLIENT && point.y < 30 ? HTCAPTION : hit;
    }
    if (message == WM_NCMOUSEMOVE) {
      TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | TME_NONCLIENT, window, 0};
      System().TrackMouseEvent(&track);
    }
    return std::nullopt;
  }));
  driver.MouseMove(w, POINT{40, 10});
  Idle(w);
  std::vector<LoggedMessage> moves = log.Of(w, {WM_NCMOUSEMOVE});
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].wParam, static_cast<WPARAM>(HTCAPTION));
  POINT screen{40, 10};
  On([&] { System().ClientToScreen(w, &screen); });
  EXPECT_EQ(PointOf(moves[0].lParam).x, screen.x);
  EXPECT_EQ(log.Count(w, WM_NCMOUSELEAVE), 0u);
  driver.MouseMove(w, POINT{40, 60});
  ASSERT_TRUE(driver.WaitFor(w, [&] { return log.Count(w, WM_NCMOUSELEAVE) == 1; }, 5000));
  EXPECT_EQ(log.Count(w, WM_MOUSELEAVE), 0u);
}

TEST_F(WindowDriverTest, TheClassCursorIsSetAndButtonsShowInTheKeyState) {
  TestWindowDesc desc;
  std::vector<bool> leftDown;
  HWND w = Make(desc, Logging(log, [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) leftDown.push_back(System().GetKeyState(VK_LBUTTON) < 0);
    return std::nullopt;
  }));
  HCURSOR arrow = nullptr;
  HCURSOR before = nullptr;
  On([&] {
    arrow = System().LoadCursorW(kCursorArrow);
    System().SetCursor(System().LoadCursorW(kCursorWait));
  });
  driver.MouseMove(w, POINT{15, 15});
  driver.LButtonDown(w, POINT{15, 15});
  driver.LButtonUp(w, POINT{15, 15});
  Idle(w);
  On([&] { before = System().SetCursor(arrow); });
  EXPECT_EQ(before, arrow);  // WM_SETCURSOR gave the window its class cursor
  EXPECT_EQ(leftDown, (std::vector<bool>{true, false}));
}

TEST_F(WindowDriverTest, ATrackingTooltipShowsTextForItsOwnerAndHides) {
  TestWindowDesc desc;
  HWND w = Make(desc);
  HWND tooltip = nullptr;
  On([&] { tooltip = System().CreateTooltip(w); });
  ASSERT_NE(tooltip, nullptr);
  EXPECT_EQ(System().GetOwner(tooltip), w);
  EXPECT_FALSE(System().IsWindowVisible(tooltip));
  driver.MouseMove(w, POINT{20, 20});
  On([&] { System().ShowTooltip(tooltip, L"提示 tip", RECT{10, 10, 60, 40}); });
  Idle(w);
  EXPECT_TRUE(System().IsWindowVisible(tooltip));
  RECT owner{};
  RECT tip{};
  System().GetWindowRect(w, &owner);
  System().GetWindowRect(tooltip, &tip);
  EXPECT_GT(tip.top, owner.top + 20);  // below the pointer
  EXPECT_GT(tip.right - tip.left, 0);
  On([&] { System().HideTooltip(tooltip); });
  Idle(w);
  EXPECT_FALSE(System().IsWindowVisible(tooltip));
}

TEST_F(WindowDriverTest, ADisabledWindowGetsNoInput) {
  TestWindowDesc desc;
  HWND w = Make(desc);
  On([&] {
    System().SetFocus(w);
    System().EnableWindow(w, FALSE);
  });
  log.Clear();
  driver.MouseMove(w, POINT{10, 10});
  driver.LButtonDown(w, POINT{10, 10});
  driver.LButtonUp(w, POINT{10, 10});
  driver.KeyDown(w, 'A', false);
  driver.KeyUp(w, 'A', false);
  driver.Char(w, L'x');
  Idle(w);
  for (UINT kind : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_SYSKEYDOWN, WM_CHAR}) {
    EXPECT_EQ(log.Count(w, kind), 0u) << std::hex << kind;
  }
  On([&] { System().EnableWindow(w, TRUE); });
  driver.LButtonDown(w, POINT{10, 10});
  driver.LButtonUp(w, POINT{10, 10});
  Idle(w);
  EXPECT_EQ(log.Count(w, WM_LBUTTONDOWN), 1u);
}

TEST_F(WindowDriverTest, KeysGoToTheFocusWindowAndTranslateIntoCharacters) {
  std::vector<bool> shiftDown;
  TestWindowDesc desc;
  HWND w = Make(desc, Logging(log, [&](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_KEYDOWN && wParam == 'B') shiftDown.push_back(System().GetKeyState(VK_SHIFT) < 0);
    return std::nullopt;
  }));
  On([&] { System().SetFocus(w); });
  driver.KeyDown(w, 'A', false);
  driver.KeyUp(w, 'A', false);
  driver.KeyDown(w, 'B', true);
  driver.KeyUp(w, 'B', true);
  driver.KeyDown(w, VK_RETURN, false);
  driver.KeyUp(w, VK_RETURN, false);
  driver.Char(w, L'中');
  Idle(w);
  std::vector<WPARAM> characters;
  for (const LoggedMessage& m : log.Of(w, {WM_CHAR})) characters.push_back(m.wParam);
  EXPECT_EQ(characters, (std::vector<WPARAM>{L'a', L'B', L'\r', L'中'}));
  std::vector<WPARAM> downs;
  for (const LoggedMessage& m : log.Of(w, {WM_KEYDOWN})) downs.push_back(m.wParam);
  EXPECT_EQ(downs, (std::vector<WPARAM>{'A', VK_SHIFT, 'B', VK_RETURN}));
  EXPECT_EQ(shiftDown, std::vector<bool>{true});
  const LoggedMessage up = log.Of(w, {WM_KEYUP}).front();
  EXPECT_NE(static_cast<DWORD>(up.lParam) & (1u << 31), 0u);
  bool shiftAfter = true;
  On([&] { shiftAfter = System().GetKeyState(VK_SHIFT) < 0; });
  EXPECT_FALSE(shiftAfter);
}

TEST_F(WindowDriverTest, AltF4ClosesTheWindow) {
  TestWindowDesc desc;
  HWND w = Make(desc);
  On([&] { System().SetFocus(w); });
  driver.KeyDown(w, VK_MENU, false);
  driver.KeyDown(w, VK_F4, false);
  ASSERT_TRUE(driver.WaitFor(thread->anchor(), [&] { return !System().IsWindow(w); }, 5000));
  std::vector<LoggedMessage> commands = log.Of(w, {WM_SYSCOMMAND});
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.front().wParam & 0xFFF0, static_cast<WPARAM>(SC_CLOSE));
  EXPECT_EQ(log.Count(w, WM_CLOSE), 1u);
}

TEST_F(WindowDriverTest, TheWheelGoesWhereThePointIsAndClimbsToTheParent) {
  TestWindowDesc desc;
  desc.width = 300;
  desc.height = 200;
  HWND parent = Make(desc);
  desc.parent = parent;
  desc.style = WS_CHILD | WS_VISIBLE;
  desc.x = desc.y = 50;
  desc.width = 100;
  desc.height = 80;
  HWND child = Make(desc);
  driver.Wheel(parent, POINT{60, 70}, -WHEEL_DELTA);
  Idle(parent);
  std::vector<LoggedMessage> atChild = log.Of(child, {WM_MOUSEWHEEL});
  std::vector<LoggedMessage> atParent = log.Of(parent, {WM_MOUSEWHEEL});
  ASSERT_EQ(atChild.size(), 1u);
  ASSERT_EQ(atParent.size(), 1u);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(atChild[0].wParam), -WHEEL_DELTA);
  POINT screen{60, 70};
  On([&] { System().ClientToScreen(parent, &screen); });
  EXPECT_EQ(PointOf(atChild[0].lParam).x, screen.x);
  EXPECT_EQ(PointOf(atChild[0].lParam).y, screen.y);
  EXPECT_EQ(atParent[0].wParam, atChild[0].wParam);
  EXPECT_EQ(atParent[0].lParam, atChild[0].lParam);
}

TEST_F(WindowDriverTest, DraggingACaptionMovesTheWindowWhileTheButtonIsHeld) {
  TestWindowDesc desc;
  desc.x = 100;
  desc.y = 100;
  // The top 30 rows are a caption, as the UI library's windows answer.
  HWND w = Make(desc, Logging(log, [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
    if (message != WM_NCHITTEST) return std::nullopt;
    LRESULT hit = System().DefWindowProcW(window, message, wParam, lParam);
    POINT point = PointOf(lParam);
    System().ScreenToClient(window, &point);
    return hit == HTCLIENT && point.y < 30 ? HTCAPTION : hit;
  }));
  // Points given on a hidden window at the screen's origin are screen points.
  desc.style = WS_POPUP;
  desc.x = desc.y = 0;
  HWND screen = Make(desc);
  driver.MouseMove(screen, POINT{150, 110});
  driver.LButtonDown(screen, POINT{150, 110});
  driver.MouseMove(screen, POINT{170, 120});
  driver.MouseMove(screen, POINT{190, 135});
  driver.LButtonUp(screen, POINT{190, 135});
  Idle(w);
  EXPECT_GE(log.Count(w, WM_NCLBUTTONDOWN), 1u);
  RECT rect{};
  System().GetWindowRect(w, &rect);
  EXPECT_EQ(rect.left, 140);
  EXPECT_EQ(rect.top, 125);
  // The loop is over: clicks reach the window again.
  driver.LButtonDown(w, POINT{50, 80});
  driver.LButtonUp(w, POINT{50, 80});
  Idle(w);
  EXPECT_EQ(log.Count(w, WM_LBUTTONDOWN), 1u);
}

LRESULT PaintWith(HWND window, ARGB left, ARGB right) {
  PaintInfo paint;
  if (!System().BeginPaint(window, &paint)) return 0;
  RECT client{};
  System().GetClientRect(window, &client);
  std::unique_ptr<Bitmap> frame = CreateBitmap(client.right, client.bottom);
  if (frame) {
    std::unique_ptr<Canvas> canvas = CreateCanvas(*frame);
    canvas->FillRect(RECT{0, 0, client.right / 2, client.bottom}, left);
    canvas->FillRect(RECT{client.right / 2, 0, client.right, client.bottom}, right);
    canvas.reset();
    System().PresentBitmap(window, paint, *frame, paint.rcPaint);
  }
  System().EndPaint(window, paint);
  return 0;
}

TEST_F(WindowDriverTest, CaptureShowsWhatTheWindowAndItsChildrenPaintedInsideTheRegion) {
  TestWindowDesc desc;
  desc.width = 120;
  desc.height = 80;
  HWND w = Make(desc, [](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_PAINT) return PaintWith(window, 0xFFFF0000, 0xFF0000FF);
    if (message == WM_ERASEBKGND) return 1;
    return std::nullopt;
  });
  desc.parent = w;
  desc.style = WS_CHILD | WS_VISIBLE;
  desc.x = desc.y = 10;
  desc.width = desc.height = 20;
  Make(desc, [](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_PAINT) return PaintWith(window, 0xFF00FF00, 0xFF00FF00);
    if (message == WM_ERASEBKGND) return 1;
    return std::nullopt;
  });
  WindowRegion region;
  region.roundRect = RECT{0, 0, 121, 81};
  region.cx = region.cy = 30;
  On([&] { System().SetWindowRgn(w, &region, TRUE); });

  std::unique_ptr<Bitmap> pixels = driver.Capture(w);
  ASSERT_NE(pixels, nullptr);
  ASSERT_EQ(pixels->Width(), 120);
  ASSERT_EQ(pixels->Height(), 80);
  // Painted colours are opaque; outside the region nothing shows.
  const struct {
    int x, y;
    uint32_t colour;
  } checks[] = {{40, 40, 0xFFFF0000}, {100, 40, 0xFF0000FF}, {20, 20, 0xFF00FF00}, {0, 0, 0x00000000},
                {119, 79, 0x00000000}, {50, 0, 0xFFFF0000}, {119, 40, 0xFF0000FF}};
  bool failed = false;
  for (const auto& check : checks) {
    ::testing::AssertionResult matches = test::ColourNear(test::PixelAt(*pixels, check.x, check.y), check.colour, 8, true);
    EXPECT_TRUE(matches) << "at " << check.x << "," << check.y;
    failed = failed || !matches;
  }
  if (failed) test::SaveFailure(*pixels, test::CurrentTestName());
}

}  // namespace
}  // namespace rundix
