// The system's edit box as the UI library's edit window uses it: typing through the focus,
// digits-only, length limit, selection, password, read-only, the notifications and colour
// questions it sends its parent, and subclassing and superclassing of it.
#include <gtest/gtest.h>

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
using test::WindowThread;

IWindowSystem& System() { return WindowSystem(); }

constexpr UINT_PTR kEditId = 101;

class EditWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    thread = std::make_unique<WindowThread>();
    ASSERT_TRUE(thread->Run([&] {
      TestWindowDesc desc;
      desc.width = 300;
      desc.height = 100;
      parent = CreateTestWindow(desc, Logging(log, [this](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CTLCOLOREDIT) {
          HDC hdc = reinterpret_cast<HDC>(wParam);
          System().SetTextColor(hdc, RGB(200, 0, 0));
          System().SetBkMode(hdc, TRANSPARENT);
          if (brush == nullptr) brush = System().CreateSolidBrush(RGB(0, 0, 255));
          return reinterpret_cast<LRESULT>(brush);
        }
        return std::nullopt;
      }));
    }));
  }
  void TearDown() override {
    thread.reset();
    if (brush) System().DeleteSolidBrush(brush);
  }

  HWND MakeEdit(DWORD style, const wchar_t* className = L"Edit") {
    HWND edit = nullptr;
    thread->Run([&] {
      edit = System().CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | style, 10, 10, 200,
                                      24, parent, reinterpret_cast<HMENU>(kEditId), nullptr, nullptr);
      System().SetFocus(edit);
    });
    return edit;
  }
  std::wstring Text(HWND edit) {
    std::wstring text;
    thread->Run([&] { text = System().GetWindowTextW(edit); });
    return text;
  }
  LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    LRESULT result = 0;
    thread->Run([&] { result = System().SendMessageW(window, message, wParam, lParam); });
    return result;
  }
  void Type(const std::wstring& text) {
    for (wchar_t c : text) driver.Char(parent, c);
    ASSERT_TRUE(driver.WaitIdle(parent));
  }
  size_t Changes(HWND edit) {
    size_t count = 0;
    for (const LoggedMessage& m : log.Of(parent, {WM_COMMAND})) {
      if (HIWORD(m.wParam) == EN_CHANGE && LOWORD(m.wParam) == kEditId && reinterpret_cast<HWND>(m.lParam) == edit) {
        ++count;
      }
    }
    return count;
  }

  IWindowDriver& driver = WindowDriver();
  MessageLog log;
  std::unique_ptr<WindowThread> thread;
  HWND parent = nullptr;
  HBRUSH brush = nullptr;
};

TEST_F(EditWindowTest, ADigitsOnlyEditRefusesLettersAndTellsItsParentOfEachChange) {
  HWND edit = MakeEdit(ES_NUMBER);
  ASSERT_NE(edit, nullptr);
  log.Clear();
  Type(L"a4b2");
  EXPECT_EQ(Text(edit), L"42");
  EXPECT_EQ(Changes(edit), 2u);
  // Letters typed as keys are refused too.
  driver.KeyDown(parent, 'X', false);
  driver.KeyUp(parent, 'X', false);
  driver.KeyDown(parent, '7', false);
  driver.KeyUp(parent, '7', false);
  ASSERT_TRUE(driver.WaitIdle(parent));
  EXPECT_EQ(Text(edit), L"427");
}

TEST_F(EditWindowTest, KeysTypeBackspaceErasesAndTheSelectionIsReplaced) {
  HWND edit = MakeEdit(0);
  driver.KeyDown(parent, 'H', true);
  driver.KeyUp(parent, 'H', true);
  driver.KeyDown(parent, 'I', false);
  driver.KeyUp(parent, 'I', false);
  ASSERT_TRUE(driver.WaitIdle(parent));
  EXPECT_EQ(Text(edit), L"Hi");
  EXPECT_TRUE(Send(edit, EM_GETMODIFY));
  driver.KeyDown(parent, VK_BACK, false);
  driver.KeyUp(parent, VK_BACK, false);
  ASSERT_TRUE(driver.WaitIdle(parent));
  EXPECT_EQ(Text(edit), L"H");

  thread->Run([&] { System().SetWindowTextW(edit, L"hello"); });
  EXPECT_FALSE(Send(edit, EM_GETMODIFY));
  Send(edit, EM_SETSEL, 1, 3);
  DWORD start = 0;
  DWORD end = 0;
  Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 3u);
  Type(L"E");
  EXPECT_EQ(Text(edit), L"hElo");
  Send(edit, EM_SETSEL, 0, static_cast<LPARAM>(-1));
  EXPECT_EQ(Send(edit, EM_GETSEL), MAKELRESULT(0, 4));
  Type(L"x");
  EXPECT_EQ(Text(edit), L"x");
}

TEST_F(EditWindowTest, TheLimitPasswordAndReadOnlyStylesApplyToTyping) {
  HWND edit = MakeEdit(0);
  Send(edit, EM_LIMITTEXT, 3);
  Type(L"12345");
  EXPECT_EQ(Text(edit), L"123");

  Send(edit, EM_SETPASSWORDCHAR, L'#');
  EXPECT_EQ(Send(edit, EM_GETPASSWORDCHAR), static_cast<LRESULT>(L'#'));
  EXPECT_NE(System().GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD, 0);
  EXPECT_EQ(Text(edit), L"123");

  EXPECT_TRUE(Send(edit, EM_SETREADONLY, TRUE));
  EXPECT_NE(System().GetWindowLongW(edit, GWL_STYLE) & ES_READONLY, 0);
  Send(edit, EM_SETSEL, 0, static_cast<LPARAM>(-1));
  Type(L"9");
  EXPECT_EQ(Text(edit), L"123");
  Send(edit, EM_SETREADONLY, FALSE);
  Type(L"9");
  EXPECT_EQ(Text(edit), L"9");

  Send(edit, EM_SETMODIFY, FALSE);
  EXPECT_FALSE(Send(edit, EM_GETMODIFY));
  Send(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, 0));
  EXPECT_EQ(Send(edit, EM_GETMARGINS), 0);
}

TEST_F(EditWindowTest, SettingTheTextNotifiesAndPaintingAsksTheParentForColours) {
  HWND edit = MakeEdit(0);
  ASSERT_TRUE(driver.WaitIdle(parent));
  log.Clear();
  thread->Run([&] { System().SetWindowTextW(edit, L"abc"); });
  EXPECT_EQ(Changes(edit), 1u);
  thread->Run([&] {
    System().InvalidateRect(edit, nullptr, TRUE);
    System().UpdateWindow(edit);
  });
  std::vector<LoggedMessage> colours = log.Of(parent, {WM_CTLCOLOREDIT});
  ASSERT_FALSE(colours.empty());
  EXPECT_EQ(reinterpret_cast<HWND>(colours.back().lParam), edit);
  EXPECT_NE(colours.back().wParam, 0u);
  // The parent's brush fills the box: blue beyond the text, seen in the parent's pixels.
  std::unique_ptr<Bitmap> pixels = driver.Capture(parent);
  ASSERT_NE(pixels, nullptr);
  ::testing::AssertionResult blue = test::ColourNear(test::PixelAt(*pixels, 10 + 190, 10 + 12), 0xFF0000FF, 8);
  EXPECT_TRUE(blue);
  if (!blue) test::SaveFailure(*pixels, test::CurrentTestName());
}

TEST_F(EditWindowTest, TheTextIsDrawnInTheColourTheParentChose) {
  HWND edit = MakeEdit(0);
  auto redInk = [&] {
    std::unique_ptr<Bitmap> pixels = driver.Capture(parent);
    size_t count = 0;
    for (int y = 10; pixels && y < 34; ++y) {
      for (int x = 10; x < 210; ++x) count += test::ColourNear(test::PixelAt(*pixels, x, y), 0xFFC80000, 40);
    }
    return count;
  };
  EXPECT_EQ(redInk(), 0u);
  thread->Run([&] { System().SetWindowTextW(edit, L"MMMM"); });
  EXPECT_GT(redInk(), 10u);
}

std::atomic<WNDPROC> g_editProc{nullptr};
MessageLog* g_subclassLog = nullptr;

LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_subclassLog && message == WM_KEYDOWN) g_subclassLog->Add(window, message, wParam, lParam);
  // Enter is the subclass's own, as the UI library's edit window keeps it.
  if (message == WM_KEYDOWN && wParam == VK_RETURN) return 0;
  return System().CallWindowProcW(g_editProc.load(), window, message, wParam, lParam);
}

TEST_F(EditWindowTest, ASubclassedEditSeesEnterUpAndDownAndASuperclassStillEdits) {
  HWND edit = MakeEdit(0);
  MessageLog keys;
  g_subclassLog = &keys;
  thread->Run([&] {
    g_editProc = reinterpret_cast<WNDPROC>(System().SetWindowLongW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  });
  ASSERT_NE(g_editProc.load(), nullptr);
  EXPECT_EQ(System().GetWindowLongW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SubclassProc));
  for (UINT key : {static_cast<UINT>(VK_RETURN), static_cast<UINT>(VK_UP), static_cast<UINT>(VK_DOWN)}) {
    driver.KeyDown(parent, key, false);
    driver.KeyUp(parent, key, false);
  }
  Type(L"ok");
  g_subclassLog = nullptr;
  std::vector<WPARAM> seen;
  for (const LoggedMessage& m : keys.Of(edit)) seen.push_back(m.wParam);
  EXPECT_EQ(seen, (std::vector<WPARAM>{VK_RETURN, VK_UP, VK_DOWN}));
  EXPECT_EQ(Text(edit), L"ok");

  // A superclass made from the system class's information keeps the editing.
  WNDCLASSW editClass{};
  ASSERT_TRUE(System().GetClassInfoW(nullptr, L"Edit", &editClass));
  g_editProc = editClass.lpfnWndProc;
  editClass.lpfnWndProc = &SubclassProc;
  editClass.hInstance = nullptr;
  editClass.lpszClassName = L"RundixEditSuperclass";
  System().RegisterClassW(editClass);
  HWND super = MakeEdit(ES_NUMBER, L"RundixEditSuperclass");
  ASSERT_NE(super, nullptr);
  Type(L"1a2");
  EXPECT_EQ(Text(super), L"12");
}

}  // namespace
}  // namespace rundix
