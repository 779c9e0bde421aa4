// The window-system seam over USER32 (and COMCTL32 for the tracking tooltip): thin calls of
// the real API, with the few shapes the seam gives them (paint information, window regions
// built from their description, a tooltip made and moved in one call).
#include "platform/WindowSystem.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace rundix {
namespace {

constexpr UINT_PTR kTooltipToolId = 1;
constexpr int kTooltipMaxWidth = 300;
constexpr int kCursorHeight = 20;

HRGN MakeRegion(const WindowRegion& region) {
  const RECT& r = region.roundRect;
  HRGN result = (region.cx > 0 || region.cy > 0)
                    ? ::CreateRoundRectRgn(r.left, r.top, r.right, r.bottom, region.cx, region.cy)
                    : ::CreateRectRgn(r.left, r.top, r.right, r.bottom);
  if (result == nullptr) return nullptr;
  for (const RECT& extra : region.extraRects) {
    HRGN part = ::CreateRectRgn(extra.left, extra.top, extra.right, extra.bottom);
    if (part == nullptr) continue;
    ::CombineRgn(result, result, part, RGN_OR);
    ::DeleteObject(part);
  }
  return result;
}

TOOLINFOW ToolInfo(HWND owner) {
  TOOLINFOW info{};
  // The size comctl32 5 knows, so the tool works with and without a version 6 manifest.
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  info.hwnd = owner;
  info.uId = kTooltipToolId;
  return info;
}

class Win32WindowSystem final : public IWindowSystem {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }
  DWORD GetTickCount() override { return ::GetTickCount(); }

  ATOM RegisterClassW(const WNDCLASSW& windowClass) override { return ::RegisterClassW(&windowClass); }
  BOOL GetClassInfoW(HINSTANCE instance, const wchar_t* className, WNDCLASSW* windowClass) override {
    return ::GetClassInfoW(instance, className, windowClass);
  }

  HWND CreateWindowExW(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menu,
                       HINSTANCE instance, void* param) override {
    return ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu,
                             instance, param);
  }
  BOOL DestroyWindow(HWND window) override { return ::DestroyWindow(window); }
  BOOL IsWindow(HWND window) override { return window != nullptr && ::IsWindow(window); }
  BOOL ShowWindow(HWND window, int command) override { return ::ShowWindow(window, command); }
  BOOL IsWindowVisible(HWND window) override { return ::IsWindowVisible(window); }
  BOOL IsIconic(HWND window) override { return ::IsIconic(window); }
  BOOL IsZoomed(HWND window) override { return ::IsZoomed(window); }
  BOOL EnableWindow(HWND window, BOOL enable) override { return ::EnableWindow(window, enable); }
  BOOL IsWindowEnabled(HWND window) override { return ::IsWindowEnabled(window); }
  LONG_PTR GetWindowLongW(HWND window, int index) override { return ::GetWindowLongPtrW(window, index); }
  LONG_PTR SetWindowLongW(HWND window, int index, LONG_PTR value) override {
    return ::SetWindowLongPtrW(window, index, value);
  }
  BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) override {
    return ::SetWindowPos(window, insertAfter, x, y, width, height, flags);
  }
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override {
    return ::MoveWindow(window, x, y, width, height, repaint);
  }
  BOOL GetWindowRect(HWND window, RECT* rect) override { return ::GetWindowRect(window, rect); }
  BOOL GetClientRect(HWND window, RECT* rect) override { return ::GetClientRect(window, rect); }
  BOOL ClientToScreen(HWND window, POINT* point) override { return ::ClientToScreen(window, point); }
  BOOL ScreenToClient(HWND window, POINT* point) override { return ::ScreenToClient(window, point); }
  BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) override {
    return ::AdjustWindowRectEx(rect, style, menu, exStyle);
  }
  HWND GetParent(HWND window) override { return ::GetParent(window); }
  HWND GetOwner(HWND window) override { return ::GetWindow(window, GW_OWNER); }
  BOOL SetWindowTextW(HWND window, const std::wstring& text) override {
    return ::SetWindowTextW(window, text.c_str());
  }
  std::wstring GetWindowTextW(HWND window) override {
    int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
  }
  BOOL SetPropW(HWND window, const wchar_t* name, HANDLE value) override { return ::SetPropW(window, name, value); }
  HANDLE GetPropW(HWND window, const wchar_t* name) override { return ::GetPropW(window, name); }
  HANDLE RemovePropW(HWND window, const wchar_t* name) override { return ::RemovePropW(window, name); }

  LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::SendMessageW(window, message, wParam, lParam);
  }
  BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::PostMessageW(window, message, wParam, lParam);
  }
  void PostQuitMessage(int exitCode) override { ::PostQuitMessage(exitCode); }
  BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax) override {
    return ::GetMessageW(message, window, filterMin, filterMax);
  }
  BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove) override {
    return ::PeekMessageW(message, window, filterMin, filterMax, remove ? PM_REMOVE : PM_NOREMOVE);
  }
  BOOL TranslateMessage(const MSG* message) override { return ::TranslateMessage(message); }
  LRESULT DispatchMessageW(const MSG* message) override { return ::DispatchMessageW(message); }
  LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::CallWindowProcW(procedure, window, message, wParam, lParam);
  }
  LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse) override { return ::SetTimer(window, id, elapse, nullptr); }
  BOOL KillTimer(HWND window, UINT_PTR id) override { return ::KillTimer(window, id); }

  BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) override { return ::InvalidateRect(window, rect, erase); }
  BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase) override { return ::GetUpdateRect(window, rect, erase); }
  BOOL UpdateWindow(HWND window) override { return ::UpdateWindow(window); }
  bool BeginPaint(HWND window, PaintInfo* paint) override {
    if (paint == nullptr) return false;
    PAINTSTRUCT ps{};
    HDC hdc = ::BeginPaint(window, &ps);
    if (hdc == nullptr) return false;
    paint->hdc = hdc;
    paint->fErase = ps.fErase;
    paint->rcPaint = ps.rcPaint;
    return true;
  }
  void EndPaint(HWND window, const PaintInfo& paint) override {
    PAINTSTRUCT ps{};
    ps.hdc = paint.hdc;
    ps.fErase = paint.fErase;
    ps.rcPaint = paint.rcPaint;
    ::EndPaint(window, &ps);
  }
  void PresentBitmap(HWND window, const PaintInfo& paint, const Bitmap& source, const RECT& rect) override {
    RECT area{std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0),
              std::min<LONG>(rect.right, source.Width()), std::min<LONG>(rect.bottom, source.Height())};
    if (area.right <= area.left || area.bottom <= area.top || paint.hdc == nullptr) return;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    // The rows of the rectangle, described as a top-down image of their own, so no
    // bottom-up source coordinates come into it.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = source.Width();
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const uint8_t* rows = source.ReadPixels() + static_cast<size_t>(area.top) * source.Stride();
    ::StretchDIBits(paint.hdc, area.left, area.top, width, height, area.left, 0, width, height, rows, &info,
                    DIB_RGB_COLORS, SRCCOPY);
  }

  HWND SetCapture(HWND window) override { return ::SetCapture(window); }
  BOOL ReleaseCapture() override { return ::ReleaseCapture(); }
  HWND GetCapture() override { return ::GetCapture(); }
  HWND SetFocus(HWND window) override { return ::SetFocus(window); }
  HWND GetFocus() override { return ::GetFocus(); }
  SHORT GetKeyState(int virtualKey) override { return ::GetKeyState(virtualKey); }
  BOOL GetCursorPos(POINT* point) override { return ::GetCursorPos(point); }
  BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) override { return ::TrackMouseEvent(track); }

  HCURSOR LoadCursorW(int cursorId) override { return ::LoadCursorW(nullptr, MAKEINTRESOURCEW(cursorId)); }
  HCURSOR SetCursor(HCURSOR cursor) override { return ::SetCursor(cursor); }
  HICON LoadIconResource(HINSTANCE instance, int id, int cx, int cy) override {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, 0));
  }
  BOOL DestroyIcon(HICON icon) override { return ::DestroyIcon(icon); }

  BOOL SetWindowRgn(HWND window, const WindowRegion* region, BOOL redraw) override {
    if (region == nullptr) return ::SetWindowRgn(window, nullptr, redraw) != 0;
    HRGN made = MakeRegion(*region);
    if (made == nullptr) return FALSE;
    if (!::SetWindowRgn(window, made, redraw)) {
      ::DeleteObject(made);  // the system owns it only when it took it
      return FALSE;
    }
    return TRUE;
  }
  bool WindowRegionContains(HWND window, POINT point) override {
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    if (region == nullptr) return true;
    bool inside = true;
    if (::GetWindowRgn(window, region) != ERROR) inside = ::PtInRegion(region, point.x, point.y) != FALSE;
    ::DeleteObject(region);
    return inside;
  }
  BOOL GetMonitorWorkArea(HWND window, RECT* work, RECT* monitor) override {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return FALSE;
    if (work) *work = info.rcWork;
    if (monitor) *monitor = info.rcMonitor;
    return TRUE;
  }
  BOOL GetWorkArea(RECT* work) override { return ::SystemParametersInfoW(SPI_GETWORKAREA, 0, work, 0); }
  int GetSystemMetrics(int index) override { return ::GetSystemMetrics(index); }

  COLORREF SetTextColor(HDC hdc, COLORREF colour) override { return ::SetTextColor(hdc, colour); }
  int SetBkMode(HDC hdc, int mode) override { return ::SetBkMode(hdc, mode); }
  HBRUSH CreateSolidBrush(COLORREF colour) override { return ::CreateSolidBrush(colour); }
  BOOL DeleteSolidBrush(HBRUSH brush) override { return ::DeleteObject(brush); }

  HWND CreateTooltip(HWND owner) override {
    static std::once_flag registered;
    std::call_once(registered, [] {
      INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
      ::InitCommonControlsEx(&controls);
    });
    HWND tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (tooltip == nullptr) return nullptr;
    TOOLINFOW info = ToolInfo(owner);
    info.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    ::SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, kTooltipMaxWidth);
    return tooltip;
  }
  void ShowTooltip(HWND tooltip, const std::wstring& text, const RECT& toolRect) override {
    HWND owner = ::GetWindow(tooltip, GW_OWNER);
    TOOLINFOW info = ToolInfo(owner);
    info.rect = toolRect;
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(tooltip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info));
    // Below the pointer while it is on the tool, else below the tool.
    POINT topLeft{toolRect.left, toolRect.top};
    POINT bottomRight{toolRect.right, toolRect.bottom};
    ::ClientToScreen(owner, &topLeft);
    ::ClientToScreen(owner, &bottomRight);
    POINT cursor{0, 0};
    ::GetCursorPos(&cursor);
    POINT at{topLeft.x, bottomRight.y + 2};
    if (cursor.x >= topLeft.x && cursor.x < bottomRight.x && cursor.y >= topLeft.y && cursor.y < bottomRight.y) {
      at = POINT{cursor.x, cursor.y + kCursorHeight};
    }
    ::SendMessageW(tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
    ::SendMessageW(tooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
  }
  void HideTooltip(HWND tooltip) override {
    TOOLINFOW info = ToolInfo(::GetWindow(tooltip, GW_OWNER));
    ::SendMessageW(tooltip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
  }
};

}  // namespace

IWindowSystem& WindowSystem() {
  static Win32WindowSystem system;
  return system;
}

}  // namespace rundix
