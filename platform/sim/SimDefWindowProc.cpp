// The default window procedure of the headless window system: what DefWindowProcW does with
// the messages the program leaves to it, and the caption-dragging and sizing loop.
#include <algorithm>
#include <cstring>

#include "platform/sim/SimWindowSystem.h"

namespace rundix::sim {
namespace {

constexpr int kWmszLeft = 1;
constexpr int kWmszRight = 2;
constexpr int kWmszTop = 3;
constexpr int kWmszTopLeft = 4;
constexpr int kWmszTopRight = 5;
constexpr int kWmszBottom = 6;
constexpr int kWmszBottomLeft = 7;
constexpr int kWmszBottomRight = 8;

POINT PointOf(LPARAM lParam) {
  return POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
}

ARGB Opaque(COLORREF colour) {
  return 0xFF000000u | (static_cast<ARGB>(GetRValue(colour)) << 16) |
         (static_cast<ARGB>(GetGValue(colour)) << 8) | GetBValue(colour);
}

}  // namespace

LRESULT SimWindowSystem::DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      if (create != nullptr && create->lpszName != nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Window* w = FindLocked(window)) w->text = create->lpszName;
      }
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      auto* rect = reinterpret_cast<RECT*>(lParam);
      if (rect == nullptr) return 0;
      DWORD style = 0;
      DWORD exStyle = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w == nullptr) return 0;
        style = w->style;
        exStyle = w->exStyle;
      }
      RECT insets = FrameInsets(style, exStyle, false);
      rect->left += insets.left;
      rect->top += insets.top;
      rect->right = std::max(rect->left, rect->right - insets.right);
      rect->bottom = std::max(rect->top, rect->bottom - insets.bottom);
      return 0;
    }
    case WM_NCHITTEST: {
      const POINT point = PointOf(lParam);
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr) return HTNOWHERE;
      const RECT outer = ScreenRectLocked(*w);
      if (!(point.x >= outer.left && point.x < outer.right && point.y >= outer.top && point.y < outer.bottom)) {
        return HTNOWHERE;
      }
      const POINT origin = ClientOriginLocked(*w);
      const int clientWidth = w->client.right - w->client.left;
      const int clientHeight = w->client.bottom - w->client.top;
      if (point.x >= origin.x && point.x < origin.x + clientWidth && point.y >= origin.y &&
          point.y < origin.y + clientHeight) {
        return HTCLIENT;
      }
      if ((w->style & WS_THICKFRAME) && !(w->style & (WS_MAXIMIZE | WS_MINIMIZE))) {
        const int edge = kFrameWidth;
        const bool left = point.x < outer.left + edge;
        const bool right = point.x >= outer.right - edge;
        const bool top = point.y < outer.top + edge;
        const bool bottom = point.y >= outer.bottom - edge;
        if (top && left) return HTTOPLEFT;
        if (top && right) return HTTOPRIGHT;
        if (bottom && left) return HTBOTTOMLEFT;
        if (bottom && right) return HTBOTTOMRIGHT;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
        if (top) return HTTOP;
        if (bottom) return HTBOTTOM;
      }
      if ((w->style & WS_CAPTION) == WS_CAPTION && point.y < origin.y) {
        if ((w->style & WS_SYSMENU) && point.x >= outer.right - FrameInsets(w->style, w->exStyle, false).right - kCaptionHeight) {
          return HTCLOSE;
        }
        return HTCAPTION;
      }
      return HTBORDER;
    }
    case WM_SETCURSOR: {
      HWND parent = nullptr;
      HCURSOR classCursor = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w == nullptr) return FALSE;
        if (w->style & WS_CHILD) parent = w->parent;
        classCursor = w->windowClass ? w->windowClass->info.hCursor : nullptr;
      }
      // A parent may decide the cursor of its children.
      if (parent != nullptr && Send(parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
      const int hit = static_cast<SHORT>(LOWORD(lParam));
      switch (hit) {
        case HTCLIENT:
          if (classCursor == nullptr) return FALSE;
          SetCursor(classCursor);
          return TRUE;
        case HTLEFT:
        case HTRIGHT:
          SetCursor(LoadCursorW(32644));  // IDC_SIZEWE
          return TRUE;
        case HTTOP:
        case HTBOTTOM:
          SetCursor(LoadCursorW(32645));  // IDC_SIZENS
          return TRUE;
        case HTTOPLEFT:
        case HTBOTTOMRIGHT:
          SetCursor(LoadCursorW(32642));  // IDC_SIZENWSE
          return TRUE;
        case HTTOPRIGHT:
        case HTBOTTOMLEFT:
          SetCursor(LoadCursorW(32643));  // IDC_SIZENESW
          return TRUE;
        case HTERROR:
        case HTNOWHERE:
          return FALSE;
        default:
          SetCursor(LoadCursorW(kCursorArrow));
          return TRUE;
      }
    }
    case WM_MOUSEACTIVATE: {
      HWND parent = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w != nullptr && (w->style & WS_CHILD)) parent = w->parent;
      }
      if (parent != nullptr) {
        LRESULT answer = Send(parent, WM_MOUSEACTIVATE, wParam, lParam);
        if (answer != 0) return answer;
      }
      return MA_ACTIVATE;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(window)) SetFocus(window);
      return 0;
    case WM_NCACTIVATE:
      return TRUE;
    case WM_CANCELMODE:
      if (GetCapture() == window) ReleaseCapture();
      return 0;
    case WM_PAINT: {
      PaintInfo paint;
      if (BeginPaint(window, &paint)) EndPaint(window, paint);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w == nullptr || !w->windowClass) return 0;
        brush = w->windowClass->info.hbrBackground;
      }
      std::optional<COLORREF> colour = BrushColour(brush);
      if (!colour) return 0;
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr || !w->pixels) return 1;
      std::unique_ptr<Canvas> canvas = CreateCanvas(*w->pixels);
      if (canvas) canvas->FillRect(RECT{0, 0, w->pixels->Width(), w->pixels->Height()}, Opaque(*colour));
      return 1;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MOVE:
        case SC_SIZE:
          MoveSizeLoop(window, static_cast<UINT>(wParam), PointOf(lParam));
          return 0;
        case SC_MINIMIZE:
          ShowWindow(window, SW_MINIMIZE);
          return 0;
        case SC_MAXIMIZE:
          ShowWindow(window, SW_MAXIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(window, SW_RESTORE);
          return 0;
        case SC_CLOSE:
          Send(window, WM_CLOSE, 0, 0);
          return 0;
        default:
          return 0;
      }
    case WM_NCLBUTTONDOWN: {
      const int hit = static_cast<int>(wParam);
      if (hit == HTCAPTION) {
        Send(window, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, lParam);
      } else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) {
        Send(window, WM_SYSCOMMAND, SC_SIZE + (hit - HTLEFT + kWmszLeft), lParam);
      }
      return 0;
    }
    case WM_NCLBUTTONUP:
      if (static_cast<int>(wParam) == HTCLOSE) Send(window, WM_SYSCOMMAND, SC_CLOSE, lParam);
      return 0;
    case WM_NCLBUTTONDBLCLK:
      if (static_cast<int>(wParam) == HTCAPTION && (GetWindowLongW(window, GWL_STYLE) & WS_MAXIMIZEBOX)) {
        Send(window, WM_SYSCOMMAND, IsZoomed(window) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      }
      return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 closes the top-level window.
      if (wParam == VK_F4 && (static_cast<DWORD>(lParam) & (1u << 29))) {
        HWND root = nullptr;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          root = RootLocked(window);
        }
        if (root != nullptr) PostMessageW(root, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      return 0;
    case WM_MOUSEWHEEL: {
      HWND parent = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w != nullptr && (w->style & WS_CHILD)) parent = w->parent;
      }
      return parent != nullptr ? Send(parent, WM_MOUSEWHEEL, wParam, lParam) : 0;
    }
    case WM_GETMINMAXINFO:
      return 0;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (pos == nullptr || (pos->flags & SWP_NOSIZE)) return 0;
      DWORD style = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w == nullptr) return 0;
        style = w->style;
      }
      // The size limits bind sizable and overlapped windows.
      if ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD))) {
        MINMAXINFO info = QueryMinMaxInfo(window);
        pos->cx = std::min<int>(pos->cx, info.ptMaxTrackSize.x);
        pos->cy = std::min<int>(pos->cy, info.ptMaxTrackSize.y);
        if (!(style & WS_MINIMIZE)) {
          pos->cx = std::max<int>(pos->cx, info.ptMinTrackSize.x);
          pos->cy = std::max<int>(pos->cy, info.ptMinTrackSize.y);
        }
      }
      return 0;
    }
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (pos == nullptr) return 0;
      RECT clientInParent{0, 0, 0, 0};
      DWORD style = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(window);
        if (w == nullptr) return 0;
        clientInParent = RECT{w->rect.left + w->client.left, w->rect.top + w->client.top,
                              w->rect.left + w->client.right, w->rect.top + w->client.bottom};
        style = w->style;
      }
      if (!(pos->flags & kSwpNoClientMove)) {
        Send(window, WM_MOVE, 0, MAKELPARAM(clientInParent.left, clientInParent.top));
      }
      if (!(pos->flags & kSwpNoClientSize) || (pos->flags & kSwpStateChanged)) {
        if (style & WS_MINIMIZE) {
          Send(window, WM_SIZE, SIZE_MINIMIZED, 0);
        } else {
          Send(window, WM_SIZE, (style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
               MAKELPARAM(clientInParent.right - clientInParent.left, clientInParent.bottom - clientInParent.top));
        }
      }
      return 0;
    }
    case WM_SETTEXT: {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr) return FALSE;
      const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
      w->text = text ? text : L"";
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<wchar_t*>(lParam);
      if (buffer == nullptr || wParam == 0) return 0;
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr) {
        buffer[0] = 0;
        return 0;
      }
      const size_t count = std::min<size_t>(w->text.size(), wParam - 1);
      std::copy_n(w->text.data(), count, buffer);
      buffer[count] = 0;
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_SETICON: {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr) return 0;
      HICON& slot = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
      HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON: {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr) return 0;
      return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? w->bigIcon : w->smallIcon);
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HDC hdc = reinterpret_cast<HDC>(wParam);
      SetTextColor(hdc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(windowBrush_);
    }
    default:
      return 0;
  }
}

// The loop Windows runs while a caption is dragged or a border pulled: the window follows the
// pointer until the button comes up (or Escape puts it back).
void SimWindowSystem::MoveSizeLoop(HWND window, UINT command, POINT start) {
  const bool moving = (command & 0xFFF0) == SC_MOVE;
  const int edge = static_cast<int>(command & 0x000F);
  RECT startRect{0, 0, 0, 0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr || (w->style & (WS_MAXIMIZE | WS_MINIMIZE))) return;
    if (!moving && !(w->style & WS_THICKFRAME)) return;
    startRect = w->rect;
  }
  Send(window, WM_ENTERSIZEMOVE, 0, 0);
  SetCapture(window);
  MSG message;
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got < 0 || GetCapture() != window || !IsWindow(window)) break;
    if (message.message == WM_LBUTTONUP || message.message == WM_NCLBUTTONUP) break;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
      SetWindowPosInternal(window, nullptr, startRect.left, startRect.top, startRect.right - startRect.left,
                           startRect.bottom - startRect.top, SWP_NOZORDER | SWP_NOACTIVATE, false);
      break;
    }
    if (message.message != WM_MOUSEMOVE && message.message != WM_NCMOUSEMOVE) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      continue;
    }
    const int dx = message.pt.x - start.x;
    const int dy = message.pt.y - start.y;
    if (moving) {
      SetWindowPosInternal(window, nullptr, startRect.left + dx, startRect.top + dy, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE, false);
      continue;
    }
    RECT r = startRect;
    const bool left = edge == kWmszLeft || edge == kWmszTopLeft || edge == kWmszBottomLeft;
    const bool right = edge == kWmszRight || edge == kWmszTopRight || edge == kWmszBottomRight;
    const bool top = edge == kWmszTop || edge == kWmszTopLeft || edge == kWmszTopRight;
    const bool bottom = edge == kWmszBottom || edge == kWmszBottomLeft || edge == kWmszBottomRight;
    if (left) r.left += dx;
    if (right) r.right += dx;
    if (top) r.top += dy;
    if (bottom) r.bottom += dy;
    // The limits keep the opposite edge where it is.
    MINMAXINFO info = QueryMinMaxInfo(window);
    const int width = std::clamp<int>(r.right - r.left, info.ptMinTrackSize.x, std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
    const int height = std::clamp<int>(r.bottom - r.top, info.ptMinTrackSize.y, std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
    if (left) r.left = r.right - width;
    else r.right = r.left + width;
    if (top) r.top = r.bottom - height;
    else r.bottom = r.top + height;
    SetWindowPosInternal(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE, false);
  }
  if (GetCapture() == window) ReleaseCapture();
  Send(window, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace rundix::sim
