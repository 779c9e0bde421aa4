// The window-system seam: what the UI library needs of USER32, in its own names and meanings.
// Windows: USER32 itself. Linux: a headless in-process window system with per-thread message
// queues (posted messages before input, WM_PAINT and WM_TIMER made when the queue is empty,
// nested modal loops), timers on the simulated clock, and windows whose pixels can be read.
// One window system serves the process: WindowSystem(). The headless system runs the calls
// that send messages (creating, destroying, showing, moving, focusing, capturing) on the
// window's own thread only; other threads post, or reach the thread through the driver.
#pragma once

#include <string>

#include "platform/PixelRegion.h"
#include "platform/Raster.h"
#include "platform/WindowTypes.h"

namespace rundix {

// PAINTSTRUCT's part the library reads, and the back end's own state of the paint.
struct PaintInfo {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;
  RECT rcPaint{0, 0, 0, 0};
};

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;

  // The calling thread's last error of a window-system call (GetLastError).
  virtual DWORD GetLastError() = 0;
  // GetTickCount: the milliseconds event and notification timestamps carry (the simulated
  // clock on Linux).
  virtual DWORD GetTickCount() = 0;

  // --- Classes ---------------------------------------------------------------------------
  // RegisterClassW: 0 on failure; a name already registered fails with
  // ERROR_CLASS_ALREADY_EXISTS. Class names compare without regard to letter case.
  virtual ATOM RegisterClassW(const WNDCLASSW& windowClass) = 0;
  // GetClassInfoW: a class registered by `instance`, or with a null instance a system class
  // ("Edit", "tooltips_class32"); a superclass starts from what it returns.
  virtual BOOL GetClassInfoW(HINSTANCE instance, const wchar_t* className,
                             WNDCLASSW* windowClass) = 0;

  // --- Windows ---------------------------------------------------------------------------
  // CreateWindowExW: sends WM_NCCREATE (CREATESTRUCTW with `param`), WM_NCCALCSIZE,
  // WM_CREATE, WM_SIZE and WM_MOVE as Windows does; null when the class is unknown or
  // WM_NCCREATE/WM_CREATE refuse. CW_USEDEFAULT gives a default place and size.
  virtual HWND CreateWindowExW(DWORD exStyle, const wchar_t* className, const wchar_t* title,
                               DWORD style, int x, int y, int width, int height, HWND parent,
                               HMENU menu, HINSTANCE instance, void* param) = 0;
  // DestroyWindow: hides the window, destroys the windows it owns and its children, sends
  // WM_DESTROY (parent before children) and WM_NCDESTROY (children before parent), kills its
  // timers and drops capture (without WM_CAPTURECHANGED) and focus (to the parent of a child,
  // else to the window activated next). Posted messages for it are dropped.
  virtual BOOL DestroyWindow(HWND window) = 0;
  // False for null and for destroyed windows (handles are never reused).
  virtual BOOL IsWindow(HWND window) = 0;
  virtual BOOL ShowWindow(HWND window, int command) = 0;
  virtual BOOL IsWindowVisible(HWND window) = 0;
  virtual BOOL IsIconic(HWND window) = 0;
  virtual BOOL IsZoomed(HWND window) = 0;
  virtual BOOL EnableWindow(HWND window, BOOL enable) = 0;
  virtual BOOL IsWindowEnabled(HWND window) = 0;
  // GetWindowLongPtrW / SetWindowLongPtrW for GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA and
  // GWLP_WNDPROC; Set returns the previous value.
  virtual LONG_PTR GetWindowLongW(HWND window, int index) = 0;
  virtual LONG_PTR SetWindowLongW(HWND window, int index, LONG_PTR value) = 0;
  virtual BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height,
                            UINT flags) = 0;
  virtual BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) = 0;
  // Screen coordinates.
  virtual BOOL GetWindowRect(HWND window, RECT* rect) = 0;
  virtual BOOL GetClientRect(HWND window, RECT* rect) = 0;
  virtual BOOL ClientToScreen(HWND window, POINT* point) = 0;
  virtual BOOL ScreenToClient(HWND window, POINT* point) = 0;
  virtual BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) = 0;
  // GetParent: the parent of a child window, the owner of a top-level WS_POPUP one (null for
  // other top-level windows, as USER32 answers).
  virtual HWND GetParent(HWND window) = 0;
  // GetWindow with GW_OWNER.
  virtual HWND GetOwner(HWND window) = 0;
  // FindWindowW: a top-level window of that class (letter case ignored) and, when `title` is
  // not null, that exact title; null when there is none.
  virtual HWND FindWindowW(const wchar_t* className, const wchar_t* title) = 0;
  virtual BOOL SetWindowTextW(HWND window, const std::wstring& text) = 0;
  virtual std::wstring GetWindowTextW(HWND window) = 0;
  virtual BOOL SetPropW(HWND window, const wchar_t* name, HANDLE value) = 0;
  virtual HANDLE GetPropW(HWND window, const wchar_t* name) = 0;
  virtual HANDLE RemovePropW(HWND window, const wchar_t* name) = 0;

  // --- Messages --------------------------------------------------------------------------
  // SendMessageW calls the window procedure on the window's own thread; another thread's
  // send is not supported by the headless system (it returns 0 and does nothing).
  virtual LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Any thread; the message goes to the queue of the window's thread. A null window posts a
  // thread message to the calling thread.
  virtual BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual void PostQuitMessage(int exitCode) = 0;
  // GetMessageW: 0 for WM_QUIT, -1 on error. Order: posted messages, input, the quit
  // request, WM_PAINT for a window with an update region, WM_TIMER for a due timer.
  virtual BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax) = 0;
  // PeekMessageW with PM_REMOVE (remove true) or PM_NOREMOVE; never waits.
  virtual BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                            bool remove) = 0;
  // WM_CHAR (WM_SYSCHAR) for key-downs that make characters.
  virtual BOOL TranslateMessage(const MSG* message) = 0;
  virtual LRESULT DispatchMessageW(const MSG* message) = 0;
  virtual LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) = 0;
  // DefWindowProcW: WM_CLOSE destroys, WM_SYSCOMMAND minimises, maximises, restores, moves
  // and closes, WM_NCHITTEST answers from the frame, WM_SETCURSOR sets the class cursor,
  // WM_PAINT validates, WM_MOUSEWHEEL climbs to the parent, WM_GETMINMAXINFO is answered.
  virtual LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

  // --- Timers ----------------------------------------------------------------------------
  // SetTimer with no callback: WM_TIMER with wParam = id every `elapse` milliseconds (of the
  // simulated clock on Linux). Re-arming an id restarts it. 0 on failure.
  virtual UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse) = 0;
  virtual BOOL KillTimer(HWND window, UINT_PTR id) = 0;

  // --- Painting --------------------------------------------------------------------------
  // A null rectangle invalidates the whole client area.
  virtual BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) = 0;
  // The bounding box of the update region; false when there is none.
  virtual BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase) = 0;
  // Sends WM_PAINT at once when the window has an update region.
  virtual BOOL UpdateWindow(HWND window) = 0;
  // BeginPaint / EndPaint: the paint validates the update region.
  virtual bool BeginPaint(HWND window, PaintInfo* paint) = 0;
  virtual void EndPaint(HWND window, const PaintInfo& paint) = 0;
  // Copies `rect` of `source` (client coordinates on both) onto the window being painted:
  // BitBlt with SRCCOPY from an off-screen buffer.
  virtual void PresentBitmap(HWND window, const PaintInfo& paint, const Bitmap& source,
                             const RECT& rect) = 0;

  // --- Input state -----------------------------------------------------------------------
  virtual HWND SetCapture(HWND window) = 0;
  virtual BOOL ReleaseCapture() = 0;
  virtual HWND GetCapture() = 0;
  // SetFocus sends WM_KILLFOCUS to the old and WM_SETFOCUS to the new focus window, each
  // naming the other in wParam, activating the new one's top-level window first; a disabled
  // or minimised window (or one inside it) does not take the focus (null is returned).
  virtual HWND SetFocus(HWND window) = 0;
  virtual HWND GetFocus() = 0;
  // GetKeyState: the high bit is set while the key is down.
  virtual SHORT GetKeyState(int virtualKey) = 0;
  virtual BOOL GetCursorPos(POINT* point) = 0;
  // TrackMouseEvent with TME_LEAVE, TME_HOVER, TME_NONCLIENT, TME_CANCEL and TME_QUERY. A
  // window not under the pointer gets its WM_MOUSELEAVE at once.
  virtual BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) = 0;

  // --- Cursors and icons -----------------------------------------------------------------
  // LoadCursorW(NULL, IDC_...) with one of the kCursor numbers.
  virtual HCURSOR LoadCursorW(int cursorId) = 0;
  virtual HCURSOR SetCursor(HCURSOR cursor) = 0;
  // LoadImageW(instance, MAKEINTRESOURCE(id), IMAGE_ICON, cx, cy, 0); null when missing.
  virtual HICON LoadIconResource(HINSTANCE instance, int id, int cx, int cy) = 0;
  virtual BOOL DestroyIcon(HICON icon) = 0;

  // --- Window shape and screen -----------------------------------------------------------
  // SetWindowRgn; a null region removes the window's region. Coordinates are relative to
  // the window's top left corner.
  virtual BOOL SetWindowRgn(HWND window, const WindowRegion* region, BOOL redraw) = 0;
  // Whether the window's region holds the point (window coordinates); true without one.
  virtual bool WindowRegionContains(HWND window, POINT point) = 0;
  // The work area and the whole area of the monitor the window is on
  // (MonitorFromWindow with MONITOR_DEFAULTTONEAREST, GetMonitorInfoW).
  virtual BOOL GetMonitorWorkArea(HWND window, RECT* work, RECT* monitor) = 0;
  // SystemParametersInfoW(SPI_GETWORKAREA).
  virtual BOOL GetWorkArea(RECT* work) = 0;
  virtual int GetSystemMetrics(int index) = 0;

  // --- Native edit colours (WM_CTLCOLOREDIT answers) -------------------------------------
  // The device context a WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC carries in wParam.
  virtual COLORREF SetTextColor(HDC hdc, COLORREF colour) = 0;
  virtual int SetBkMode(HDC hdc, int mode) = 0;
  virtual HBRUSH CreateSolidBrush(COLORREF colour) = 0;
  virtual BOOL DeleteSolidBrush(HBRUSH brush) = 0;

  // --- Tooltips --------------------------------------------------------------------------
  // A tracking tooltip window owned by `owner`; null when none can be made.
  virtual HWND CreateTooltip(HWND owner) = 0;
  // Shows `text` for the tool rectangle (client coordinates of the owner), or hides it.
  virtual void ShowTooltip(HWND tooltip, const std::wstring& text, const RECT& toolRect) = 0;
  virtual void HideTooltip(HWND tooltip) = 0;
};

// The process's window system.
IWindowSystem& WindowSystem();

}  // namespace rundix
