// The edit box: a press opens the native edit window over it, typing goes through that window
// (digits only when asked), Enter/Up/Down are told to the window's listeners, and the native
// window closes when the focus leaves it.
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KuEdit.h"
#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace rundix::test {
namespace {

using KUM::KuEdit;
using KUM::UICLASS_EDIT;

const wchar_t kSkin[] = LR"(<Window>
  <VerticalLayout normalbkcolor="#FFFFFFFF" inset="10,10,10,10" childpadding="10">
    <Edit name="num" height="30" numberonly="true" normaltextpadding="4,5,4,5"
          nativebkcolor="#FFFFF0C0" normaltextcolor="#FF2040C0" normalbkcolor="#FFFFFFFF"
          normalbordercolor="#FF808080" />
    <Edit name="secret" height="30" password="true" text="WWWWWW" normalbkcolor="#FFFFFFFF"
          normaltextcolor="#FF000000" />
    <Edit name="plain" height="30" text="WWWWWW" normalbkcolor="#FFFFFFFF"
          normaltextcolor="#FF000000" />
    <Button name="other" height="30" text="other" />
    <Control />
  </VerticalLayout>
</Window>)";

class KuEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = SkinTestWindow::Open(kSkin);
    ASSERT_NE(window_, nullptr);
    window_->ClearNotifications();
  }

  HWND Native(const std::wstring& name) {
    HWND native = nullptr;
    window_->Run([&] {
      auto* edit = window_->FindAs<KuEdit>(name, UICLASS_EDIT);
      if (edit->GetNativeWindow() != nullptr) native = edit->GetNativeWindow()->GetHWND();
      // The edit answers for its native window while it is open, and only then.
      EXPECT_EQ(edit->GetWnd(), native);
    });
    return native;
  }

  std::wstring Text(const std::wstring& name) {
    std::wstring text;
    window_->Run([&] { text = window_->Find(name)->GetText(); });
    return text;
  }

  void Key(UINT key) {
    window_->Driver().KeyDown(window_->Hwnd(), key, false);
    window_->Driver().KeyUp(window_->Hwnd(), key, false);
    window_->WaitIdle();
  }

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuEditTest, NumberOnlyEditTakesDigitsTellsKeysAndClosesWhenTheFocusLeaves) {
  ASSERT_EQ(Native(L"num"), nullptr);
  window_->Click(L"num");
  HWND native = Native(L"num");
  ASSERT_NE(native, nullptr);
  IWindowSystem& ws = WindowSystem();
  HWND focus = nullptr;
  window_->Run([&] { focus = ws.GetFocus(); });
  EXPECT_EQ(focus, native);

  // The native window covers the edit less its text padding.
  RECT edit = window_->RectOf(L"num");
  RECT placed{0, 0, 0, 0};
  POINT origin{0, 0};
  window_->Run([&] {
    ws.GetWindowRect(native, &placed);
    ws.ClientToScreen(window_->Hwnd(), &origin);
  });
  EXPECT_EQ(placed.left - origin.x, edit.left + 4);
  EXPECT_EQ(placed.top - origin.y, edit.top + 5);
  EXPECT_EQ(placed.right - origin.x, edit.right - 4);
  EXPECT_EQ(placed.bottom - origin.y, edit.bottom - 5);

  for (wchar_t ch : std::wstring(L"a1b2")) window_->Driver().Char(window_->Hwnd(), ch);
  window_->WaitIdle();
  EXPECT_EQ(Text(L"num"), L"12") << "letters are refused by the native window";
  auto changes = window_->Notifications(KUM::UINOTIFY_TEXTCHANGED);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].senderName, L"num");

  // The native window paints with the edit's colours: its background and its text colour.
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(PixelNear(*capture, edit.right - 10, (edit.top + edit.bottom) / 2, 0xFFFFF0C0, 8));
  bool sawText = false;
  for (int y = edit.top + 5; y < edit.bottom - 5 && !sawText; ++y) {
    for (int x = edit.left + 4; x < edit.left + 60 && !sawText; ++x) {
      sawText = PixelNear(*capture, x, y, 0xFF2040C0, 40);
    }
  }
  EXPECT_TRUE(sawText) << "the digits show in the edit's text colour";
  SaveIfFailed(*capture, "editing");

  // Ctrl+A selects everything.
  window_->Driver().Char(window_->Hwnd(), 1);
  window_->WaitIdle();
  LRESULT selection = 0;
  window_->Run([&] { selection = ws.SendMessageW(native, EM_GETSEL, 0, 0); });
  EXPECT_EQ(LOWORD(selection), 0);
  EXPECT_EQ(HIWORD(selection), 2);
  EXPECT_EQ(Text(L"num"), L"12");

  Key(VK_RETURN);
  Key(VK_UP);
  Key(VK_DOWN);
  EXPECT_EQ(window_->Notifications(KUM::UINOTIFY_RETURN).size(), 1u);
  EXPECT_EQ(window_->Notifications(KUM::UINOTIFY_UP).size(), 1u);
  EXPECT_EQ(window_->Notifications(KUM::UINOTIFY_DOWN).size(), 1u);
  EXPECT_EQ(Text(L"num"), L"12") << "Enter is swallowed";
  EXPECT_TRUE(window_->Notifications(KUM::UINOTIFY_KILLFOCUS).empty());
  EXPECT_NE(Native(L"num"), nullptr) << "keys do not end editing";

  window_->Click(L"other");
  EXPECT_EQ(Native(L"num"), nullptr);
  bool alive = true;
  window_->Run([&] { alive = ws.IsWindow(native) != FALSE; });
  EXPECT_FALSE(alive);
  auto ended = window_->Notifications(KUM::UINOTIFY_KILLFOCUS);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].senderName, L"num");
  EXPECT_EQ(reinterpret_cast<HWND>(ended[0].wParam), window_->Hwnd())
      << "wParam names the window that takes the focus";
  EXPECT_EQ(Text(L"num"), L"12");

  // Opened again it shows the text kept by the edit.
  window_->Click(L"num");
  native = Native(L"num");
  ASSERT_NE(native, nullptr);
  std::wstring shown;
  window_->Run([&] { shown = ws.GetWindowTextW(native); });
  EXPECT_EQ(shown, L"12");
}

TEST_F(KuEditTest, TextSetWhileEditingReachesTheNativeWindow) {
  window_->Click(L"num");
  HWND native = Native(L"num");
  ASSERT_NE(native, nullptr);
  std::wstring shown;
  window_->Run([&] {
    window_->Find(L"num")->SetText(L"345");
    shown = WindowSystem().GetWindowTextW(native);
  });
  EXPECT_EQ(shown, L"345");
  EXPECT_EQ(Text(L"num"), L"345");
}

TEST_F(KuEditTest, HidingTheEditEndsEditing) {
  window_->Click(L"num");
  ASSERT_NE(Native(L"num"), nullptr);
  window_->Run([&] { window_->Find(L"num")->SetVisible(false); });
  window_->WaitIdle();
  EXPECT_EQ(Native(L"num"), nullptr);
  EXPECT_EQ(window_->Notifications(KUM::UINOTIFY_KILLFOCUS).size(), 1u);
}

TEST_F(KuEditTest, DestroyingTheEditWhileEditingClosesTheNativeWindow) {
  window_->Click(L"num");
  HWND native = Native(L"num");
  ASSERT_NE(native, nullptr);
  bool alive = true;
  window_->Run([&] {
    auto* edit = window_->Find(L"num");
    auto* parent = static_cast<KUM::KuContainer*>(edit->GetParent()->GetInterface(KUM::UICLASS_CONTAINER));
    ASSERT_TRUE(parent->Remove(edit));
  });
  window_->WaitIdle();
  window_->Run([&] { alive = WindowSystem().IsWindow(native) != FALSE; });
  EXPECT_FALSE(alive);
  // The window goes on working. (The next edit now lies where the first one was: press
  // elsewhere on it, so the press is not the second half of a double click.)
  RECT secret = window_->RectOf(L"secret");
  window_->Click(POINT{secret.left + 20, (secret.top + secret.bottom) / 2});
  EXPECT_NE(Native(L"secret"), nullptr);
}

// The ink of a row of text: the first and last columns whose pixels differ from white.
std::pair<int, int> InkColumns(const Bitmap& capture, const RECT& r) {
  int first = -1;
  int last = -1;
  for (int x = r.left + 1; x < r.right - 1; ++x) {
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
      if (!PixelNear(capture, x, y, 0xFFFFFFFF, 40)) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST_F(KuEditTest, PasswordEditDrawsItsPasswordCharacters) {
  RECT secret = window_->RectOf(L"secret");
  RECT plain = window_->RectOf(L"plain");
  RECT stars{0, 0, 0, 0};
  RECT letters{0, 0, 0, 0};
  window_->Run([&] {
    stars = KUM::KuRenderUtils::GetTextSize(&window_->Manager(), L"******", L"");
    letters = KUM::KuRenderUtils::GetTextSize(&window_->Manager(), L"WWWWWW", L"");
  });
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  auto [s0, s1] = InkColumns(*capture, secret);
  auto [p0, p1] = InkColumns(*capture, plain);
  bool ok = s0 >= 0 && p0 >= 0 && std::abs((s1 - s0 + 1) - KUM::KuWidth(stars)) <= 4 &&
            std::abs((p1 - p0 + 1) - KUM::KuWidth(letters)) <= 4;
  ASSERT_GT(KUM::KuWidth(letters) - KUM::KuWidth(stars), 8) << "the two texts must be told apart";
  EXPECT_TRUE(ok) << "stars " << s0 << ".." << s1 << " (" << KUM::KuWidth(stars) << "), letters " << p0
                  << ".." << p1 << " (" << KUM::KuWidth(letters) << ")";
  SaveIfFailed(*capture);
}

}  // namespace
}  // namespace rundix::test
