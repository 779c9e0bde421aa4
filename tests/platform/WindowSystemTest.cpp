// The window system as USER32 behaves: classes, creation and destruction, focus, the order in
// which a queue hands out messages, nested loops and WM_QUIT, regions, size limits. The same
// tests hold the headless system on Linux and the real USER32 under Wine to one behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/WindowDriver.h"
#include "platform/WindowSystem.h"
#include "tests/support/TestWindows.h"

namespace rundix {
namespace {

using test::CreateTestWindow;
using test::Logging;
using test::MessageLog;
using test::TestWindowDesc;
using test::WindowThread;

IWindowSystem& System() { return WindowSystem(); }

// Destroys the window at the end of a test that made it on its own thread.
struct Owned {
  HWND window = nullptr;
  explicit Owned(HWND w) : window(w) {}
  ~Owned() {
    if (System().IsWindow(window)) System().DestroyWindow(window);
  }
  operator HWND() const { return window; }
};

// Index of the first message of a kind in a list of kinds, or -1.
int IndexOf(const std::vector<UINT>& kinds, UINT kind) {
  auto it = std::find(kinds.begin(), kinds.end(), kind);
  return it == kinds.end() ? -1 : static_cast<int>(it - kinds.begin());
}

int IndexOf(const std::vector<test::LoggedMessage>& messages, HWND window, UINT kind) {
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].window == window && messages[i].message == kind) return static_cast<int>(i);
  }
  return -1;
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return System().DefWindowProcW(window, message, wParam, lParam);
}

TEST(WindowClasses, ANameIsRegisteredOnceWhateverItsCaseAndTheSystemsClassesAreThere) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &PlainProc;
  windowClass.lpszClassName = L"RundixRegisteredOnce";
  EXPECT_NE(System().RegisterClassW(windowClass), 0);
  EXPECT_EQ(System().RegisterClassW(windowClass), 0);
  EXPECT_EQ(System().GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  windowClass.lpszClassName = L"RUNDIXREGISTEREDONCE";
  EXPECT_EQ(System().RegisterClassW(windowClass), 0);
  EXPECT_EQ(System().GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  WNDCLASSW found{};
  WNDCLASSW edit{};
  ASSERT_TRUE(System().GetClassInfoW(nullptr, L"Edit", &edit));
  EXPECT_NE(edit.lpfnWndProc, nullptr);
  EXPECT_FALSE(System().GetClassInfoW(nullptr, L"RundixNoSuchClass", &found));
  EXPECT_EQ(System().CreateWindowExW(0, L"RundixNoSuchClass", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                     nullptr, nullptr, nullptr),
            nullptr);
}

// Creation, seen by a procedure of its own: the creation parameter reaches WM_NCCREATE and
// WM_CREATE, and the messages come in Windows' order.
MessageLog* g_creationLog = nullptr;
void* g_nccreateParam = nullptr;
void* g_createParam = nullptr;
LRESULT CALLBACK CreationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_creationLog) g_creationLog->Add(window, message, wParam, lParam);
  if (message == WM_NCCREATE) g_nccreateParam = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
  if (message == WM_CREATE) g_createParam = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
  return System().DefWindowProcW(window, message, wParam, lParam);
}

TEST(WindowCreation, MessagesComeInOrderWithTheCreationParameter) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &CreationProc;
  windowClass.lpszClassName = L"RundixCreationOrder";
  System().RegisterClassW(windowClass);
  MessageLog log;
  g_creationLog = &log;
  int value = 42;
  Owned window(System().CreateWindowExW(0, L"RundixCreationOrder", L"Title", WS_POPUP | WS_VISIBLE, 120, 130,
                                        200, 100, nullptr, nullptr, nullptr, &value));
  g_creationLog = nullptr;
  ASSERT_NE(window.window, nullptr);
  EXPECT_EQ(g_nccreateParam, &value);
  EXPECT_EQ(g_createParam, &value);
  std::vector<UINT> kinds = log.Kinds(window, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW});
  ASSERT_FALSE(kinds.empty());
  EXPECT_EQ(kinds.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_LT(IndexOf(kinds, WM_NCCALCSIZE), IndexOf(kinds, WM_CREATE));
  EXPECT_GT(IndexOf(kinds, WM_SIZE), IndexOf(kinds, WM_NCCREATE));
  EXPECT_GT(IndexOf(kinds, WM_MOVE), IndexOf(kinds, WM_NCCREATE));
  EXPECT_GT(IndexOf(kinds, WM_SHOWWINDOW), IndexOf(kinds, WM_CREATE));
  EXPECT_EQ(System().GetWindowTextW(window), L"Title");
  RECT rect{};
  System().GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 120);
  EXPECT_EQ(rect.top, 130);
  EXPECT_EQ(rect.right - rect.left, 200);
  EXPECT_EQ(rect.bottom - rect.top, 100);
}

TEST(WindowCreation, RefusalsInCreationMessagesGiveNoWindow) {
  MessageLog log;
  TestWindowDesc desc;
  Owned refusedEarly(CreateTestWindow(desc, Logging(log, [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_NCCREATE) return FALSE;
    return std::nullopt;
  })));
  EXPECT_EQ(refusedEarly.window, nullptr);
  Owned refused(CreateTestWindow(desc, Logging(log, [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_CREATE) return -1;
    return std::nullopt;
  })));
  EXPECT_EQ(refused.window, nullptr);
  // The window refused in WM_CREATE was destroyed the usual way.
  std::vector<UINT> ends = log.Kinds(nullptr, {WM_CREATE, WM_DESTROY, WM_NCDESTROY});
  ASSERT_GE(ends.size(), 2u);
  EXPECT_EQ(ends.back(), static_cast<UINT>(WM_NCDESTROY));
}

TEST(WindowCreation, AHandlerAnsweringNcCalcSizeWithZeroMakesTheClientTheWholeWindow) {
  TestWindowDesc desc;
  desc.style = WS_OVERLAPPEDWINDOW;
  desc.width = 300;
  desc.height = 200;
  Owned framed(CreateTestWindow(desc));
  Owned frameless(CreateTestWindow(desc, [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_NCCALCSIZE) return 0;
    return std::nullopt;
  }));
  RECT client{};
  ASSERT_TRUE(System().GetClientRect(frameless, &client));
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 200);
  ASSERT_TRUE(System().GetClientRect(framed, &client));
  EXPECT_LT(client.right, 300);
  EXPECT_LT(client.bottom, 200);
  // AdjustWindowRectEx and the default frame agree.
  RECT wanted{0, 0, 300, 200};
  ASSERT_TRUE(System().AdjustWindowRectEx(&wanted, WS_OVERLAPPEDWINDOW, FALSE, 0));
  System().SetWindowPos(framed, nullptr, 0, 0, wanted.right - wanted.left, wanted.bottom - wanted.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(System().GetClientRect(framed, &client));
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 200);
}

TEST(WindowData, TextPropertiesParentAndOwner) {
  TestWindowDesc desc;
  Owned top(CreateTestWindow(desc));
  desc.style = WS_CHILD | WS_VISIBLE;
  desc.parent = top;
  desc.x = desc.y = 10;
  desc.width = desc.height = 20;
  Owned child(CreateTestWindow(desc));
  desc.style = WS_POPUP;
  desc.parent = top;
  Owned popup(CreateTestWindow(desc));
  desc.style = WS_OVERLAPPED;
  Owned overlapped(CreateTestWindow(desc));

  EXPECT_EQ(System().GetParent(child), top.window);
  EXPECT_EQ(System().GetOwner(child), nullptr);
  EXPECT_EQ(System().GetParent(popup), top.window);
  EXPECT_EQ(System().GetOwner(popup), top.window);
  EXPECT_EQ(System().GetOwner(overlapped), top.window);
  EXPECT_EQ(System().GetParent(overlapped), nullptr);

  EXPECT_TRUE(System().SetWindowTextW(top, L"主窗口"));
  EXPECT_EQ(System().GetWindowTextW(top), L"主窗口");
  int marker = 0;
  EXPECT_TRUE(System().SetPropW(top, L"WndX", &marker));
  EXPECT_EQ(System().GetPropW(top, L"WndX"), &marker);
  EXPECT_EQ(System().RemovePropW(top, L"WndX"), &marker);
  EXPECT_EQ(System().GetPropW(top, L"WndX"), nullptr);

  EXPECT_EQ(System().SetWindowLongW(top, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(System().GetWindowLongW(top, GWLP_USERDATA), 1234);
  POINT point{5, 6};
  ASSERT_TRUE(System().ClientToScreen(child, &point));
  EXPECT_EQ(point.x, 100 + 10 + 5);
  EXPECT_EQ(point.y, 100 + 10 + 6);
  ASSERT_TRUE(System().ScreenToClient(child, &point));
  EXPECT_EQ(point.x, 5);
  EXPECT_EQ(point.y, 6);
}

TEST(WindowDestruction, OwnedWindowsGoFirstThenDestroyParentFirstAndNcDestroyChildrenFirst) {
  MessageLog log;
  TestWindowDesc desc;
  HWND parent = CreateTestWindow(desc, Logging(log));
  desc.parent = parent;
  desc.style = WS_CHILD | WS_VISIBLE;
  desc.x = desc.y = 0;
  desc.width = desc.height = 50;
  HWND first = CreateTestWindow(desc, Logging(log));
  HWND second = CreateTestWindow(desc, Logging(log));
  desc.parent = first;
  HWND grandchild = CreateTestWindow(desc, Logging(log));
  desc.parent = parent;
  desc.style = WS_POPUP | WS_VISIBLE;
  HWND owned = CreateTestWindow(desc, Logging(log));
  ASSERT_TRUE(parent && first && second && grandchild && owned);

  log.Clear();
  ASSERT_TRUE(System().DestroyWindow(parent));
  for (HWND w : {parent, first, second, grandchild, owned}) EXPECT_FALSE(System().IsWindow(w));

  std::vector<test::LoggedMessage> all = log.Of(nullptr, {WM_DESTROY, WM_NCDESTROY});
  auto destroy = [&](HWND w) { return IndexOf(all, w, WM_DESTROY); };
  auto ncdestroy = [&](HWND w) { return IndexOf(all, w, WM_NCDESTROY); };
  for (HWND w : {parent, first, second, grandchild, owned}) {
    EXPECT_GE(destroy(w), 0);
    EXPECT_GT(ncdestroy(w), destroy(w));
  }
  EXPECT_LT(ncdestroy(owned), destroy(parent));
  EXPECT_LT(destroy(parent), destroy(first));
  EXPECT_LT(destroy(parent), destroy(second));
  EXPECT_LT(destroy(first), destroy(grandchild));
  EXPECT_LT(ncdestroy(grandchild), ncdestroy(first));
  EXPECT_LT(ncdestroy(first), ncdestroy(parent));
  EXPECT_LT(ncdestroy(second), ncdestroy(parent));
}

TEST(WindowDestruction, FocusCaptureAndTimersLeaveADestroyedChild) {
  MessageLog log;
  TestWindowDesc desc;
  Owned parent(CreateTestWindow(desc, Logging(log)));
  desc.parent = parent;
  desc.style = WS_CHILD | WS_VISIBLE;
  desc.x = desc.y = 10;
  desc.width = desc.height = 40;
  HWND child = CreateTestWindow(desc, Logging(log));
  ASSERT_NE(System().SetTimer(child, 3, 1000), 0u);
  System().SetFocus(child);
  ASSERT_EQ(System().GetFocus(), child);
  System().SetCapture(child);
  ASSERT_EQ(System().GetCapture(), child);

  log.Clear();
  ASSERT_TRUE(System().DestroyWindow(child));
  EXPECT_EQ(System().GetFocus(), parent.window);
  EXPECT_EQ(System().GetCapture(), nullptr);
  EXPECT_FALSE(System().KillTimer(child, 3));
  std::vector<test::LoggedMessage> kill = log.Of(child, {WM_KILLFOCUS});
  ASSERT_EQ(kill.size(), 1u);
  EXPECT_EQ(reinterpret_cast<HWND>(kill[0].wParam), parent.window);
  std::vector<test::LoggedMessage> set = log.Of(parent, {WM_SETFOCUS});
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(reinterpret_cast<HWND>(set[0].wParam), child);
  std::vector<test::LoggedMessage> order = log.Of(child, {WM_KILLFOCUS, WM_DESTROY});
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0].message, static_cast<UINT>(WM_KILLFOCUS));
}

TEST(Focus, TheLosingAndTheGainingWindowNameEachOther) {
  MessageLog log;
  TestWindowDesc desc;
  Owned parent(CreateTestWindow(desc, Logging(log)));
  desc.parent = parent;
  desc.style = WS_CHILD | WS_VISIBLE;
  desc.width = desc.height = 30;
  HWND a = CreateTestWindow(desc, Logging(log));
  desc.x = 50;
  HWND b = CreateTestWindow(desc, Logging(log));
  System().SetFocus(a);
  log.Clear();
  EXPECT_EQ(System().SetFocus(b), a);
  EXPECT_EQ(System().GetFocus(), b);
  std::vector<test::LoggedMessage> messages = log.Of(nullptr, {WM_KILLFOCUS, WM_SETFOCUS});
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].window, a);
  EXPECT_EQ(messages[0].message, static_cast<UINT>(WM_KILLFOCUS));
  EXPECT_EQ(reinterpret_cast<HWND>(messages[0].wParam), b);
  EXPECT_EQ(messages[1].window, b);
  EXPECT_EQ(messages[1].message, static_cast<UINT>(WM_SETFOCUS));
  EXPECT_EQ(reinterpret_cast<HWND>(messages[1].wParam), a);

  // A disabled window does not take it; disabling the focus window loses it.
  System().EnableWindow(a, FALSE);
  System().SetFocus(a);
  EXPECT_EQ(System().GetFocus(), b);
  System().EnableWindow(b, FALSE);
  EXPECT_EQ(System().GetFocus(), nullptr);
}

TEST(MessageOrder, PostedMessagesComeBeforePaintAndPaintBeforeTimers) {
  MessageLog log;
  TestWindowDesc desc;
  Owned window(CreateTestWindow(desc, Logging(log)));
  WindowDriver().WaitIdle(window);  // the first paint is done
  log.Clear();
  System().SetTimer(window, 7, 10);
  System().InvalidateRect(window, nullptr, FALSE);
  System().PostMessageW(window, WM_APP + 1, 0, 0);
  System().PostMessageW(window, WM_APP + 2, 0, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // the timer is due by now
  System().PostMessageW(window, WM_APP + 3, 0, 0);

  std::vector<UINT> seen;
  MSG message{};
  for (int i = 0; i < 100 && System().GetMessageW(&message, nullptr, 0, 0) > 0; ++i) {
    if (message.hwnd == window.window &&
        (message.message == WM_PAINT || message.message == WM_TIMER || message.message >= WM_APP)) {
      seen.push_back(message.message);
    }
    System().DispatchMessageW(&message);
    if (message.message == WM_TIMER) break;
  }
  System().KillTimer(window, 7);
  const std::vector<UINT> expected{WM_APP + 1, WM_APP + 2, WM_APP + 3, WM_PAINT, WM_TIMER};
  EXPECT_EQ(seen, expected);
}

TEST(MessageOrder, TheQuitRequestComesAfterPostedMessagesAndBeforePaint) {
  TestWindowDesc desc;
  Owned window(CreateTestWindow(desc));
  WindowDriver().WaitIdle(window);
  System().InvalidateRect(window, nullptr, FALSE);
  System().PostMessageW(window, WM_APP + 5, 0, 0);
  System().PostQuitMessage(3);
  MSG message{};
  ASSERT_GT(System().GetMessageW(&message, nullptr, 0, 0), 0);
  EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 5));
  EXPECT_EQ(System().GetMessageW(&message, nullptr, 0, 0), 0);
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 3u);
  ASSERT_TRUE(System().PeekMessageW(&message, nullptr, 0, 0, true));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
  EXPECT_EQ(message.hwnd, window.window);
  System().DispatchMessageW(&message);
}

TEST(Timers, ATimerTicksWithItsIdUntilKilled) {
  MessageLog log;
  TestWindowDesc desc;
  Owned window(CreateTestWindow(desc, Logging(log)));
  ASSERT_NE(System().SetTimer(window, 77, 20), 0u);
  ASSERT_TRUE(WindowDriver().WaitFor(window, [&] { return log.Count(window, WM_TIMER) >= 2; }, 5000));
  for (const test::LoggedMessage& m : log.Of(window, {WM_TIMER})) EXPECT_EQ(m.wParam, 77u);
  EXPECT_TRUE(System().KillTimer(window, 77));
  EXPECT_FALSE(System().KillTimer(window, 77));
  WindowDriver().WaitIdle(window);
  const size_t ticks = log.Count(window, WM_TIMER);
  WindowDriver().Advance(window, 100);
  EXPECT_EQ(log.Count(window, WM_TIMER), ticks);
}

// A modal loop inside a handler, as ShowModal runs one: WM_APP + 1 enters one more level,
// WM_APP + 2 leaves the innermost; a quit ends every level, each posting it again.
struct ModalWindow {
  MessageLog log;
  std::atomic<int> depth{0};
  std::atomic<bool> leave{false};
  std::vector<std::pair<int, int>> quits;  // (depth, exit code), window thread only

  test::WindowHandler Handler() {
    return Logging(log, [this](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (message == WM_APP + 2) {
        leave = true;
        return 0;
      }
      if (message != WM_APP + 1) return std::nullopt;
      const int level = ++depth;
      MSG m{};
      for (;;) {
        BOOL got = System().GetMessageW(&m, nullptr, 0, 0);
        if (got == 0) {
          quits.emplace_back(level, static_cast<int>(m.wParam));
          System().PostQuitMessage(static_cast<int>(m.wParam));
          break;
        }
        if (got == -1) break;
        System().TranslateMessage(&m);
        System().DispatchMessageW(&m);
        if (leave.exchange(false)) break;
      }
      --depth;
      return 0;
    });
  }
};

TEST(ModalLoops, LoopsNestTheDriverRunsInsideThemAndQuitEndsEveryLevel) {
  ModalWindow modal;
  HWND window = nullptr;
  WindowThread thread([&] { window = CreateTestWindow(TestWindowDesc{}, modal.Handler()); });
  IWindowDriver& driver = WindowDriver();

  System().PostMessageW(window, WM_APP + 1, 0, 0);
  ASSERT_TRUE(driver.WaitFor(window, [&] { return modal.depth == 1; }));
  int seenDepth = 0;
  ASSERT_TRUE(driver.Run(window, [&] { seenDepth = modal.depth; }));
  EXPECT_EQ(seenDepth, 1);

  System().PostMessageW(window, WM_APP + 1, 0, 0);
  ASSERT_TRUE(driver.WaitFor(window, [&] { return modal.depth == 2; }));
  System().PostMessageW(window, WM_APP + 2, 0, 0);
  ASSERT_TRUE(driver.WaitFor(window, [&] { return modal.depth == 1; }));
  System().PostMessageW(window, WM_APP + 3, 0, 0);
  ASSERT_TRUE(driver.WaitFor(window, [&] { return modal.log.Count(window, WM_APP + 3) == 1; }));
  EXPECT_EQ(modal.depth, 1);

  ASSERT_TRUE(driver.Run(window, [] { System().PostQuitMessage(7); }));
  ASSERT_TRUE(thread.Join(10000));
  EXPECT_EQ(thread.ExitCode(), std::optional<int>(7));
  ASSERT_EQ(modal.quits.size(), 1u);
  EXPECT_EQ(modal.quits[0], std::make_pair(1, 7));
}

TEST(WindowRegions, ARoundRectangleRegionLeavesTheCornersOut) {
  TestWindowDesc desc;
  desc.width = desc.height = 100;
  Owned window(CreateTestWindow(desc));
  EXPECT_TRUE(System().WindowRegionContains(window, POINT{0, 0}));
  WindowRegion region;
  region.roundRect = RECT{0, 0, 101, 101};
  region.cx = region.cy = 20;
  ASSERT_TRUE(System().SetWindowRgn(window, &region, TRUE));
  for (POINT corner : {POINT{0, 0}, POINT{99, 0}, POINT{0, 99}, POINT{99, 99}, POINT{2, 2}}) {
    EXPECT_FALSE(System().WindowRegionContains(window, corner)) << corner.x << "," << corner.y;
  }
  for (POINT inside : {POINT{50, 50}, POINT{50, 0}, POINT{0, 50}, POINT{10, 10}}) {
    EXPECT_TRUE(System().WindowRegionContains(window, inside)) << inside.x << "," << inside.y;
  }
  // Rectangles joined to it square the corners they cover.
  region.extraRects.push_back(RECT{0, 0, 100, 50});
  ASSERT_TRUE(System().SetWindowRgn(window, &region, TRUE));
  EXPECT_TRUE(System().WindowRegionContains(window, POINT{0, 0}));
  EXPECT_FALSE(System().WindowRegionContains(window, POINT{0, 99}));
  ASSERT_TRUE(System().SetWindowRgn(window, nullptr, TRUE));
  EXPECT_TRUE(System().WindowRegionContains(window, POINT{0, 99}));
}

TEST(WindowSize, MinMaxInfoLimitsSizingAndMovesReportPositionAndSize) {
  MessageLog log;
  TestWindowDesc desc;
  desc.style = WS_POPUP | WS_THICKFRAME | WS_VISIBLE;
  desc.width = 400;
  desc.height = 300;
  Owned window(CreateTestWindow(desc, Logging(log, [](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
    if (message == WM_GETMINMAXINFO) {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = POINT{300, 200};
      info->ptMaxTrackSize = POINT{600, 500};
      return 0;
    }
    return std::nullopt;
  })));
  log.Clear();
  ASSERT_TRUE(System().SetWindowPos(window, nullptr, 150, 160, 100, 50, SWP_NOZORDER | SWP_NOACTIVATE));
  RECT rect{};
  System().GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 150);
  EXPECT_EQ(rect.top, 160);
  EXPECT_EQ(rect.right - rect.left, 300);
  EXPECT_EQ(rect.bottom - rect.top, 200);
  EXPECT_GE(log.Count(window, WM_WINDOWPOSCHANGED), 1u);
  std::vector<test::LoggedMessage> sizes = log.Of(window, {WM_SIZE});
  ASSERT_FALSE(sizes.empty());
  RECT client{};
  System().GetClientRect(window, &client);
  EXPECT_EQ(LOWORD(sizes.back().lParam), client.right);
  EXPECT_EQ(HIWORD(sizes.back().lParam), client.bottom);
  EXPECT_EQ(log.Count(window, WM_MOVE), 1u);

  ASSERT_TRUE(System().MoveWindow(window, 100, 100, 900, 900, TRUE));
  System().GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 600);
  EXPECT_EQ(rect.bottom - rect.top, 500);
}

TEST(WindowState, MinimiseMaximiseAndRestoreReportTheirSizes) {
  MessageLog log;
  TestWindowDesc desc;
  desc.style = WS_POPUP | WS_THICKFRAME | WS_VISIBLE;
  desc.x = 200;
  desc.y = 150;
  desc.width = 320;
  desc.height = 240;
  Owned window(CreateTestWindow(desc, Logging(log)));
  RECT before{};
  System().GetWindowRect(window, &before);

  log.Clear();
  System().ShowWindow(window, SW_MINIMIZE);
  EXPECT_TRUE(System().IsIconic(window));
  std::vector<test::LoggedMessage> sizes = log.Of(window, {WM_SIZE});
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().wParam, static_cast<WPARAM>(SIZE_MINIMIZED));

  log.Clear();
  System().ShowWindow(window, SW_RESTORE);
  EXPECT_FALSE(System().IsIconic(window));
  sizes = log.Of(window, {WM_SIZE});
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().wParam, static_cast<WPARAM>(SIZE_RESTORED));
  RECT after{};
  System().GetWindowRect(window, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right, before.right);
  EXPECT_EQ(after.bottom, before.bottom);

  log.Clear();
  System().ShowWindow(window, SW_MAXIMIZE);
  EXPECT_TRUE(System().IsZoomed(window));
  sizes = log.Of(window, {WM_SIZE});
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().wParam, static_cast<WPARAM>(SIZE_MAXIMIZED));
  RECT work{};
  ASSERT_TRUE(System().GetMonitorWorkArea(window, &work, nullptr));
  RECT client{};
  System().GetClientRect(window, &client);
  EXPECT_GE(client.right, work.right - work.left - 2 * System().GetSystemMetrics(SM_CXFRAME));

  System().ShowWindow(window, SW_RESTORE);
  EXPECT_FALSE(System().IsZoomed(window));
  System().GetWindowRect(window, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
}

TEST(Painting, UpdateRegionsGrowUntilAPaintValidatesThem) {
  MessageLog log;
  std::vector<RECT> painted;
  TestWindowDesc desc;
  Owned window(CreateTestWindow(desc, Logging(log, [&](HWND w, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message != WM_PAINT) return std::nullopt;
    PaintInfo paint;
    EXPECT_TRUE(System().BeginPaint(w, &paint));
    painted.push_back(paint.rcPaint);
    System().EndPaint(w, paint);
    return 0;
  })));
  WindowDriver().WaitIdle(window);
  RECT update{};
  EXPECT_FALSE(System().GetUpdateRect(window, &update, FALSE));
  RECT first{10, 10, 20, 20};
  RECT second{50, 30, 60, 45};
  System().InvalidateRect(window, &first, FALSE);
  System().InvalidateRect(window, &second, FALSE);
  ASSERT_TRUE(System().GetUpdateRect(window, &update, FALSE));
  EXPECT_EQ(update.left, 10);
  EXPECT_EQ(update.top, 10);
  EXPECT_EQ(update.right, 60);
  EXPECT_EQ(update.bottom, 45);
  painted.clear();
  // UpdateWindow paints at once, without the message loop.
  System().UpdateWindow(window);
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0].left, 10);
  EXPECT_EQ(painted[0].bottom, 45);
  EXPECT_FALSE(System().GetUpdateRect(window, &update, FALSE));
  System().UpdateWindow(window);
  EXPECT_EQ(painted.size(), 1u);
}

TEST(DefaultProcedure, AnswersHitTestsFromTheFrameAndCarriesOutSystemCommands) {
  TestWindowDesc desc;
  desc.style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  desc.width = 300;
  desc.height = 200;
  Owned window(CreateTestWindow(desc));
  RECT outer{};
  System().GetWindowRect(window, &outer);
  POINT client{0, 0};
  System().ClientToScreen(window, &client);
  auto hit = [&](int x, int y) {
    return System().SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
  };
  EXPECT_EQ(hit(client.x + 10, client.y + 10), HTCLIENT);
  EXPECT_EQ(hit((outer.left + outer.right) / 2, (outer.top + client.y) / 2), HTCAPTION);
  EXPECT_EQ(hit(outer.right + 50, outer.bottom + 50), HTNOWHERE);
  EXPECT_EQ(hit(outer.left, (outer.top + outer.bottom) / 2), HTLEFT);

  System().SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(System().IsIconic(window));
  System().SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(System().IsIconic(window));
  System().SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(System().IsWindow(window));
}

TEST(Screen, MetricsAndWorkAreaLookLikeAMonitor) {
  RECT work{};
  RECT monitor{};
  ASSERT_TRUE(System().GetMonitorWorkArea(nullptr, &work, &monitor));
  EXPECT_GT(monitor.right - monitor.left, 0);
  EXPECT_GE(work.left, monitor.left);
  EXPECT_LE(work.bottom, monitor.bottom);
  RECT area{};
  ASSERT_TRUE(System().GetWorkArea(&area));
  EXPECT_EQ(area.right, work.right);
  EXPECT_EQ(System().GetSystemMetrics(SM_CXSCREEN), monitor.right - monitor.left);
  EXPECT_GT(System().GetSystemMetrics(SM_CXFRAME), 0);
  EXPECT_GT(System().GetSystemMetrics(SM_CYCAPTION), 0);
  EXPECT_EQ(System().GetSystemMetrics(SM_CXICON), 32);
  EXPECT_EQ(System().GetSystemMetrics(SM_CXSMICON), 16);
  EXPECT_NE(System().LoadCursorW(kCursorArrow), nullptr);
  EXPECT_NE(System().LoadCursorW(kCursorHand), nullptr);
  EXPECT_NE(System().LoadCursorW(kCursorIBeam), System().LoadCursorW(kCursorArrow));
}

}  // namespace
}  // namespace rundix
