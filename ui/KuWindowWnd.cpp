#include "ui/KuWindowWnd.h"

#include "ui/KuLoadResource.h"
#include "ui/KuPaintManager.h"

namespace KUM {
namespace {

constexpr wchar_t kObjectProperty[] = L"WndX";

bool IsDescendantWindow(HWND window, HWND ancestor) {
  for (HWND h = window; h != nullptr; h = Ws().GetParent(h)) {
    if (h == ancestor) return true;
    if (!(Ws().GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) break;
  }
  return false;
}

}  // namespace

KuWindowWnd::~KuWindowWnd() {
  if (window_ != nullptr && Ws().IsWindow(window_)) {
    // The object goes first: its window must not call into it any more.
    Ws().SetWindowLongW(window_, GWLP_USERDATA, 0);
    Ws().RemovePropW(window_, kObjectProperty);
    if (subclassed_ && oldProc_ != nullptr) {
      Ws().SetWindowLongW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    }
  }
  if (bigIcon_ != nullptr) Ws().DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) Ws().DestroyIcon(smallIcon_);
}

const wchar_t* KuWindowWnd::GetSuperClassName() const { return nullptr; }
UINT KuWindowWnd::GetClassStyle() const { return 0; }
void KuWindowWnd::OnFinalMessage(HWND) {}

LRESULT KuWindowWnd::KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallPrevious(message, wParam, lParam);
}

LRESULT KuWindowWnd::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) {
  if (oldProc_ != nullptr) return Ws().CallWindowProcW(oldProc_, window_, message, wParam, lParam);
  return Ws().DefWindowProcW(window_, message, wParam, lParam);
}

void KuWindowWnd::KuShowWindow(bool show, bool takeFocus) {
  if (window_ == nullptr || !Ws().IsWindow(window_)) return;
  Ws().ShowWindow(window_, show ? (takeFocus ? SW_SHOW : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void KuWindowWnd::Close() {
  if (window_ != nullptr && Ws().IsWindow(window_)) Ws().PostMessageW(window_, WM_CLOSE, 0, 0);
}

bool KuWindowWnd::RegisterWindowClass() {
  WNDCLASSW wc{};
  wc.style = GetClassStyle();
  wc.lpfnWndProc = &KuWindowWnd::KuWndProc;
  wc.hInstance = KuLoadResource::Instance().GetResourceInstance();
  wc.hCursor = Ws().LoadCursorW(rundix::kCursorArrow);
  wc.hbrBackground = nullptr;
  wc.lpszClassName = GetWindowClassName();
  if (Ws().RegisterClassW(wc) != 0) return true;
  return Ws().GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool KuWindowWnd::RegisterSuperclass() {
  WNDCLASSW wc{};
  HINSTANCE instance = KuLoadResource::Instance().GetResourceInstance();
  if (!Ws().GetClassInfoW(nullptr, GetSuperClassName(), &wc) &&
      !Ws().GetClassInfoW(instance, GetSuperClassName(), &wc)) {
    return false;
  }
  oldProc_ = wc.lpfnWndProc;
  wc.lpfnWndProc = &KuWindowWnd::KuControlProc;
  wc.hInstance = instance;
  wc.lpszClassName = GetWindowClassName();
  if (Ws().RegisterClassW(wc) != 0) return true;
  return Ws().GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND KuWindowWnd::KuCreate(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x,
                           int y, int cx, int cy, HMENU menu) {
  if (GetSuperClassName() != nullptr ? !RegisterSuperclass() : !RegisterWindowClass()) return nullptr;
  HWND window = Ws().CreateWindowExW(exStyle, GetWindowClassName(), title, style, x, y, cx, cy, parent,
                                     menu, KuLoadResource::Instance().GetResourceInstance(), this);
  if (window == nullptr) window_ = nullptr;
  return window;
}

HWND KuWindowWnd::KuCreate(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle,
                           const RECT& rect, HMENU menu) {
  return KuCreate(parent, title, style, exStyle, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, menu);
}

HWND KuWindowWnd::Subclass(HWND window) {
  if (window == nullptr || !Ws().IsWindow(window)) return nullptr;
  auto previous = reinterpret_cast<WNDPROC>(
      Ws().SetWindowLongW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KuWindowWnd::KuWndProc)));
  if (previous == nullptr) return nullptr;
  oldProc_ = previous;
  subclassed_ = true;
  window_ = window;
  Ws().SetWindowLongW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return window_;
}

void KuWindowWnd::Unsubclass() {
  if (!subclassed_ || window_ == nullptr) return;
  if (Ws().IsWindow(window_)) {
    Ws().SetWindowLongW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
  }
  oldProc_ = nullptr;
  subclassed_ = false;
}

LRESULT CALLBACK KuWindowWnd::KuWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Route(window, message, wParam, lParam, ObjectSlot::kUserData);
}

LRESULT CALLBACK KuWindowWnd::KuControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Route(window, message, wParam, lParam, ObjectSlot::kProperty);
}

// Both procedures: WM_NCCREATE binds the object to its window, WM_NCDESTROY unbinds it and
// hands it its final message; everything between goes to the object's handler.
LRESULT KuWindowWnd::Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ObjectSlot slot) {
  const bool inProperty = slot == ObjectSlot::kProperty;
  KuWindowWnd* self = nullptr;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    self = create != nullptr ? static_cast<KuWindowWnd*>(create->lpCreateParams) : nullptr;
    if (self != nullptr) {
      self->window_ = window;
      if (inProperty) {
        Ws().SetPropW(window, kObjectProperty, static_cast<HANDLE>(self));
      } else {
        Ws().SetWindowLongW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      }
    }
  } else {
    self = inProperty ? static_cast<KuWindowWnd*>(Ws().GetPropW(window, kObjectProperty))
                      : reinterpret_cast<KuWindowWnd*>(Ws().GetWindowLongW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self != nullptr) {
      LRESULT result = self->CallPrevious(message, wParam, lParam);
      if (inProperty) {
        Ws().RemovePropW(window, kObjectProperty);
      } else {
        Ws().SetWindowLongW(window, GWLP_USERDATA, 0);
      }
      if (self->subclassed_) self->Unsubclass();
      self->window_ = nullptr;
      self->OnFinalMessage(window);
      return result;
    }
  }
  if (self != nullptr) return self->KuHandleMessage(message, wParam, lParam);
  return Ws().DefWindowProcW(window, message, wParam, lParam);
}

LRESULT KuWindowWnd::KuSendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Ws().SendMessageW(window_, message, wParam, lParam);
}

bool KuWindowWnd::KuPostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Ws().PostMessageW(window_, message, wParam, lParam) != FALSE;
}

void KuWindowWnd::CenterWindow(HWND reference) {
  if (window_ == nullptr || !Ws().IsWindow(window_)) return;
  RECT dialog{0, 0, 0, 0};
  Ws().GetWindowRect(window_, &dialog);
  RECT area{0, 0, 0, 0};
  RECT monitor{0, 0, 0, 0};
  if (!Ws().GetMonitorWorkArea(window_, &area, &monitor)) Ws().GetWorkArea(&area);
  HWND center = reference != nullptr ? reference : Ws().GetOwner(window_);
  RECT around = area;
  if (center != nullptr && Ws().IsWindow(center) && !Ws().IsIconic(center)) {
    Ws().GetWindowRect(center, &around);
  }
  LONG width = dialog.right - dialog.left;
  LONG height = dialog.bottom - dialog.top;
  LONG x = (around.left + around.right) / 2 - width / 2;
  LONG y = (around.top + around.bottom) / 2 - height / 2;
  // Inside the work area; the left and top edges win when it does not fit.
  if (x + width > area.right) x = area.right - width;
  if (x < area.left) x = area.left;
  if (y + height > area.bottom) y = area.bottom - height;
  if (y < area.top) y = area.top;
  Ws().SetWindowPos(window_, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void KuWindowWnd::KuSetIcon(UINT resourceId) {
  if (window_ == nullptr) return;
  HINSTANCE instance = KuLoadResource::Instance().GetResourceInstance();
  HICON big = Ws().LoadIconResource(instance, static_cast<int>(resourceId), Ws().GetSystemMetrics(SM_CXICON),
                                    Ws().GetSystemMetrics(SM_CYICON));
  if (big != nullptr) {
    Ws().SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (bigIcon_ != nullptr) Ws().DestroyIcon(bigIcon_);
    bigIcon_ = big;
  }
  HICON small = Ws().LoadIconResource(instance, static_cast<int>(resourceId),
                                      Ws().GetSystemMetrics(SM_CXSMICON), Ws().GetSystemMetrics(SM_CYSMICON));
  if (small != nullptr) {
    Ws().SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    if (smallIcon_ != nullptr) Ws().DestroyIcon(smallIcon_);
    smallIcon_ = small;
  }
}

void KuWindowWnd::ResizeClient(int cx, int cy) {
  if (window_ == nullptr) return;
  RECT rc{0, 0, 0, 0};
  if (!Ws().GetClientRect(window_, &rc)) return;
  if (cx != -1) rc.right = cx;
  if (cy != -1) rc.bottom = cy;
  DWORD style = static_cast<DWORD>(Ws().GetWindowLongW(window_, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(Ws().GetWindowLongW(window_, GWL_EXSTYLE));
  if (!Ws().AdjustWindowRectEx(&rc, style, FALSE, exStyle)) return;
  Ws().SetWindowPos(window_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                    SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

UINT KuWindowWnd::ShowModal() {
  // The object may be gone once its window is (a window that deletes itself): only locals
  // are used after the loop.
  HWND window = window_;
  if (window == nullptr || !Ws().IsWindow(window)) return 0;
  HWND owner = Ws().GetOwner(window);
  Ws().ShowWindow(window, SW_SHOWNORMAL);
  if (owner != nullptr) Ws().EnableWindow(owner, FALSE);
  MSG msg{};
  bool quit = false;
  UINT quitCode = 0;
  while (Ws().IsWindow(window)) {
    BOOL got = Ws().GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quitCode = static_cast<UINT>(msg.wParam);
      break;
    }
    if (got == -1) break;
    if (msg.message == WM_CLOSE) {
      if (msg.hwnd == window) {
        if (owner != nullptr) {
          Ws().EnableWindow(owner, TRUE);
          Ws().SetFocus(owner);
        }
      } else if (!IsDescendantWindow(msg.hwnd, window)) {
        Ws().PostMessageW(window, WM_CLOSE, 0, 0);
      }
    }
    KuPaintManager::DispatchLoopMessage(msg);
  }
  if (owner != nullptr && Ws().IsWindow(owner)) {
    Ws().EnableWindow(owner, TRUE);
    Ws().SetFocus(owner);
  }
  if (quit) Ws().PostQuitMessage(static_cast<int>(quitCode));
  return quitCode;
}

}  // namespace KUM
