// The headless window system: windows, classes and per-thread message queues in the process,
// with the Win32 message semantics the UI library relies on. One object serves the process;
// the window driver, the default window procedure, the edit class and the tooltip class reach
// its insides through this header.
//
// Locking: one mutex guards every window, queue and object. It is never held while a window
// procedure (or any other code of the caller) runs, so procedures may call back freely and
// other threads may post meanwhile.
#pragma once

#include "platform/sim/SimClock.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/PixelRegion.h"
#include "platform/Raster.h"
#include "platform/WindowSystem.h"

namespace rundix::sim {

// Windows' typical values for what the system decides itself.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr int kTaskbarHeight = 40;  // the work area leaves the bottom rows to a taskbar
constexpr int kCaptionHeight = 23;
constexpr int kFrameWidth = 4;      // sizing border
constexpr int kDialogFrameWidth = 3;
constexpr int kBorderWidth = 1;
constexpr int kMenuHeight = 19;
constexpr int kDoubleClickTime = 500;  // milliseconds of the clock
constexpr int kDoubleClickWidth = 4;   // the rectangle a second press must fall in
constexpr int kHoverTime = 400;        // HOVER_DEFAULT
constexpr int kHoverWidth = 4;
constexpr int kMinTrackWidth = 136;
constexpr int kMinTrackHeight = 39;
constexpr UINT kMinTimerElapse = 10;  // USER_TIMER_MINIMUM
// Where a minimised window goes, and its size there.
constexpr int kIconicPosition = -32000;
constexpr int kIconicWidth = 160;
constexpr int kIconicHeight = 28;

// The flags Windows adds to WM_WINDOWPOSCHANGED for the default procedure.
constexpr UINT kSwpNoClientSize = 0x0800;
constexpr UINT kSwpNoClientMove = 0x1000;
constexpr UINT kSwpStateChanged = 0x8000;

// The system's own classes.
extern const wchar_t kEditClassName[];     // "Edit"
extern const wchar_t kTooltipClassName[];  // "tooltips_class32"

struct WindowClass {
  std::wstring name;
  WNDCLASSW info{};
  ATOM atom = 0;
  bool system = false;
};

// The native edit control's own state (its text is the window's text).
struct EditState {
  DWORD selectionStart = 0;
  DWORD caret = 0;  // the selection's other end
  DWORD limit = 0x7FFE;
  wchar_t passwordChar = 0;
  bool modified = false;
  int leftMargin = 1;
  int rightMargin = 1;
  WPARAM font = 0;
  bool selecting = false;  // the left button is down in it
};

// A tracking tooltip: the tool it shows for, in its owner's client coordinates.
struct TooltipState {
  RECT toolRect{0, 0, 0, 0};
};

struct ThreadQueue;

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> windowClass;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  HWND parent = nullptr;  // child windows
  HWND owner = nullptr;   // top-level windows
  std::vector<HWND> children;  // z-order, topmost first
  ThreadQueue* queue = nullptr;
  RECT rect{0, 0, 0, 0};    // the window, in the parent's client coordinates (screen for top-level)
  RECT client{0, 0, 0, 0};  // the client area, relative to the window's top left corner
  RECT normalRect{0, 0, 0, 0};  // where SW_RESTORE puts it back
  bool restoreToMaximized = false;
  std::wstring text;
  std::map<std::wstring, HANDLE> props;  // names in lower case (atoms ignore case)
  bool hasUpdate = false;
  RECT update{0, 0, 0, 0};  // bounding box of the update region, client coordinates
  bool erase = false;
  std::unique_ptr<Bitmap> pixels;  // the client area as painted
  std::optional<PixelRegion> region;  // window coordinates
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  bool destroying = false;
  bool freed = false;
  std::unique_ptr<EditState> edit;
  std::unique_ptr<TooltipState> tooltip;
};

// One raw input event waiting in a thread's input queue; it becomes a message when the
// thread's message loop reaches it, with hit testing done then, as Windows does.
struct RawInput {
  enum Kind { kMouse, kKey, kChar, kLeave } kind = kMouse;
  UINT message = 0;  // WM_MOUSEMOVE, WM_LBUTTONDOWN, ..., WM_MOUSEWHEEL; WM_KEYDOWN/WM_KEYUP
  bool forceDouble = false;  // the driver's LButtonDblClk
  POINT screen{0, 0};
  int wheelDelta = 0;
  UINT virtualKey = 0;
  wchar_t character = 0;
  HWND window = nullptr;  // the window the input was aimed at
};

struct Timer {
  HWND window = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  uint64_t due = 0;
};

struct Work {
  std::function<void()> work;
  enum State { kPending, kRunning, kDone, kCancelled } state = kPending;
};

struct ThreadQueue {
  std::thread::id thread;
  std::deque<MSG> posted;
  std::deque<RawInput> input;
  bool quit = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  std::deque<std::shared_ptr<Work>> work;
  std::condition_variable wake;
  // Blocked in GetMessageW with nothing it could return (and the filter of that call).
  bool waiting = false;
  HWND waitWindow = nullptr;
  UINT waitMin = 0;
  UINT waitMax = 0;
  uint64_t retrieved = 0;  // messages handed out so far
  HWND focus = nullptr;
  HWND active = nullptr;
  BYTE keys[256] = {};
  // The last press, for double clicks.
  UINT lastPress = 0;
  HWND lastPressWindow = nullptr;
  POINT lastPressPoint{0, 0};
  uint64_t lastPressTime = 0;
  UINT_PTR nextThreadTimer = 1;
};

// What a device context of the headless system carries: the colours a WM_CTLCOLOR* answer
// sets, for the window being painted.
struct DeviceContext {
  HWND window = nullptr;
  COLORREF textColour = 0;
  COLORREF backColour = 0xFFFFFF;
  int backMode = 2;  // OPAQUE
};

class SimWindowSystem final : public IWindowSystem {
 public:
  static SimWindowSystem& Instance();

  DWORD GetLastError() override;
  DWORD GetTickCount() override;
  ATOM RegisterClassW(const WNDCLASSW& windowClass) override;
  BOOL GetClassInfoW(HINSTANCE instance, const wchar_t* className, WNDCLASSW* windowClass) override;
  HWND CreateWindowExW(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menu,
                       HINSTANCE instance, void* param) override;
  BOOL DestroyWindow(HWND window) override;
  BOOL IsWindow(HWND window) override;
  BOOL ShowWindow(HWND window, int command) override;
  BOOL IsWindowVisible(HWND window) override;
  BOOL IsIconic(HWND window) override;
  BOOL IsZoomed(HWND window) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;
  BOOL IsWindowEnabled(HWND window) override;
  LONG_PTR GetWindowLongW(HWND window, int index) override;
  LONG_PTR SetWindowLongW(HWND window, int index, LONG_PTR value) override;
  BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height,
                    UINT flags) override;
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override;
  BOOL GetWindowRect(HWND window, RECT* rect) override;
  BOOL GetClientRect(HWND window, RECT* rect) override;
  BOOL ClientToScreen(HWND window, POINT* point) override;
  BOOL ScreenToClient(HWND window, POINT* point) override;
  BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) override;
  HWND GetParent(HWND window) override;
  HWND GetOwner(HWND window) override;
  HWND FindWindowW(const wchar_t* className, const wchar_t* title) override;
  BOOL SetWindowTextW(HWND window, const std::wstring& text) override;
  std::wstring GetWindowTextW(HWND window) override;
  BOOL SetPropW(HWND window, const wchar_t* name, HANDLE value) override;
  HANDLE GetPropW(HWND window, const wchar_t* name) override;
  HANDLE RemovePropW(HWND window, const wchar_t* name) override;
  LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void PostQuitMessage(int exitCode) override;
  BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax) override;
  BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                    bool remove) override;
  BOOL TranslateMessage(const MSG* message) override;
  LRESULT DispatchMessageW(const MSG* message) override;
  LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                          LPARAM lParam) override;
  LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse) override;
  BOOL KillTimer(HWND window, UINT_PTR id) override;
  BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) override;
  BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase) override;
  BOOL UpdateWindow(HWND window) override;
  bool BeginPaint(HWND window, PaintInfo* paint) override;
  void EndPaint(HWND window, const PaintInfo& paint) override;
  void PresentBitmap(HWND window, const PaintInfo& paint, const Bitmap& source,
                     const RECT& rect) override;
  HWND SetCapture(HWND window) override;
  BOOL ReleaseCapture() override;
  HWND GetCapture() override;
  HWND SetFocus(HWND window) override;
  HWND GetFocus() override;
  SHORT GetKeyState(int virtualKey) override;
  BOOL GetCursorPos(POINT* point) override;
  BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) override;
  HCURSOR LoadCursorW(int cursorId) override;
  HCURSOR SetCursor(HCURSOR cursor) override;
  HICON LoadIconResource(HINSTANCE instance, int id, int cx, int cy) override;
  BOOL DestroyIcon(HICON icon) override;
  BOOL SetWindowRgn(HWND window, const WindowRegion* region, BOOL redraw) override;
  bool WindowRegionContains(HWND window, POINT point) override;
  BOOL GetMonitorWorkArea(HWND window, RECT* work, RECT* monitor) override;
  BOOL GetWorkArea(RECT* work) override;
  int GetSystemMetrics(int index) override;
  COLORREF SetTextColor(HDC hdc, COLORREF colour) override;
  int SetBkMode(HDC hdc, int mode) override;
  HBRUSH CreateSolidBrush(COLORREF colour) override;
  BOOL DeleteSolidBrush(HBRUSH brush) override;
  HWND CreateTooltip(HWND owner) override;
  void ShowTooltip(HWND tooltip, const std::wstring& text, const RECT& toolRect) override;
  void HideTooltip(HWND tooltip) override;

  // --- For the driver ----------------------------------------------------------------------
  // Queues input for the thread that gets it: the capture window's, else the thread of the
  // window under the point, else that of `window`.
  void InjectMouse(HWND window, UINT message, POINT client, int wheelDelta, bool forceDouble);
  void InjectMouseLeave(HWND window);
  void InjectKey(HWND window, UINT virtualKey, bool down);
  void InjectChar(HWND window, wchar_t character);
  // The thread of a window, also after it was destroyed (handles are never reused).
  std::optional<std::thread::id> ThreadOf(HWND window);
  // Runs `work` on that thread from its message loop. False when the thread is gone or the
  // time ran out.
  bool RunOnThread(std::thread::id thread, std::function<void()> work, DWORD realTimeoutMs);
  // Waits until that thread blocks in GetMessageW with nothing to return. On the thread
  // itself, handles what there is instead.
  bool WaitThreadIdle(std::thread::id thread, DWORD realTimeoutMs);
  // Messages retrieved so far by that thread (0 when it has no queue).
  uint64_t RetrievedCount(std::thread::id thread);
  // Blocks until the thread retrieves another message, time passes or `realTimeoutMs` ends.
  void WaitForActivity(std::thread::id thread, uint64_t retrieved, DWORD realTimeoutMs);
  // The earliest time after `now` at which a timer, a hover or a sleeper is due.
  std::optional<uint64_t> NextDue(uint64_t now);
  // Handles what the calling thread has now (Peek, Translate, Dispatch) until nothing is left.
  void PumpCurrentThread();
  // The window's client pixels with its visible children on top and its region applied.
  std::unique_ptr<Bitmap> ComposeWindow(HWND window);

  // --- For the default procedure, the edit and the tooltip --------------------------------
  std::mutex& Mutex() { return mutex_; }
  Window* FindLocked(HWND window);
  bool IsOwnThreadLocked(const Window& window) const;
  RECT ScreenRectLocked(const Window& window);   // the window rectangle on the screen
  POINT ClientOriginLocked(const Window& window);  // the client area's top left on the screen
  // The frame thickness and caption height the style gives.
  static RECT FrameInsets(DWORD style, DWORD exStyle, bool menu);
  MINMAXINFO DefaultMinMaxInfo(HWND window);
  // SetWindowPos's messages and effects; `stateChanged` marks minimise/maximise/restore.
  BOOL SetWindowPosInternal(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                            UINT flags, bool stateChanged);
  // The caption and sizing loop of WM_SYSCOMMAND SC_MOVE / SC_SIZE.
  void MoveSizeLoop(HWND window, UINT command, POINT start);
  void SetActiveWindow(HWND window, bool byClick);
  HWND GetActiveWindowOfThread();
  // A device context for painting `window` outside BeginPaint (the edit's WM_CTLCOLOREDIT).
  HDC CreateDeviceContext(HWND window);
  void ReleaseDeviceContext(HDC hdc);
  std::optional<DeviceContext> DeviceContextOf(HDC hdc);
  std::optional<COLORREF> BrushColour(HBRUSH brush);
  HBRUSH SystemWindowBrush() const { return windowBrush_; }
  void SetLastErrorValue(DWORD error);
  // The window's pixel buffer (client size); null when the client area is empty.
  Bitmap* PixelsLocked(Window& window);

 private:
  SimWindowSystem();

  ThreadQueue& CurrentQueueLocked();
  ThreadQueue* QueueOfThreadLocked(std::thread::id thread);
  void ThreadExiting(std::thread::id thread);
  void WakeLocked(ThreadQueue& queue);
  void WakeAllLocked();
  bool MatchesFilterLocked(HWND messageWindow, HWND filter);
  bool IsDescendantLocked(HWND ancestor, HWND window);
  bool IsVisibleLocked(const Window& window);  // it and every ancestor visible
  bool IsEnabledTreeLocked(const Window& window);  // it and every ancestor enabled
  HWND RootLocked(HWND window);
  Window* PaintCandidateLocked(ThreadQueue& queue, HWND filter);
  bool PaintCandidateInLocked(Window& window);
  bool HasAvailableLocked(ThreadQueue& queue, HWND filter, UINT min, UINT max, uint64_t now);
  // The next message of the calling thread, or nothing. May release the lock (input
  // processing sends messages), so the caller loops.
  enum class Fetch { kMessage, kNothing, kRetry };
  Fetch FetchLocked(std::unique_lock<std::mutex>& lock, ThreadQueue& queue, MSG* message,
                    HWND filter, UINT min, UINT max, bool remove);
  bool RunPendingWorkLocked(std::unique_lock<std::mutex>& lock, ThreadQueue& queue);
  void CheckHoverLocked(ThreadQueue& queue, uint64_t now);
  // Raw input to a message: hit testing, WM_SETCURSOR, tracking, double clicks.
  bool ProcessInput(std::unique_lock<std::mutex>& lock, ThreadQueue& queue, const RawInput& input,
                    MSG* message);
  bool ProcessMouse(std::unique_lock<std::mutex>& lock, ThreadQueue& queue, const RawInput& input,
                    MSG* message);
  bool ProcessKey(std::unique_lock<std::mutex>& lock, ThreadQueue& queue, const RawInput& input,
                  MSG* message);
  bool PreviewInputLocked(ThreadQueue& queue, const RawInput& input, MSG* message);
  HWND WindowFromPointLocked(ThreadQueue* onlyThread, POINT screen, bool skipDisabled = false);
  HWND ChildFromPointLocked(HWND parent, POINT screen);
  void CheckTrackingLocked(HWND target, int hitTest, POINT screen);
  void PostLeaveLocked();
  WPARAM MouseKeyFlagsLocked(ThreadQueue& queue);
  void SetKeyLocked(ThreadQueue& queue, UINT virtualKey, bool down);
  void QueueInputLocked(ThreadQueue& queue, const RawInput& input);
  void QueueInputForPointLocked(RawInput input);
  void InvalidateLocked(Window& window, const RECT* rect, bool erase, bool children);
  void ResizePixelsLocked(Window& window);
  void DestroyTree(HWND window);
  void SendDestroyMessages(HWND window);
  void SendNcDestroyMessages(HWND window);
  void FreeWindowLocked(Window& window);
  void RemoveTimersLocked(HWND window);
  void HideForDestroy(HWND window);
  void FocusAwayFrom(HWND window);
  HWND NextActivationCandidateLocked(HWND leaving);
  BOOL ShowWindowInternal(HWND window, int command);
  void Minimise(HWND window, int command);
  void Maximise(HWND window, int command);
  void Restore(HWND window, int command);
  MINMAXINFO QueryMinMaxInfo(HWND window);
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RegisterSystemClasses();
  HANDLE NewObjectHandle();
  void ComposeChildrenLocked(Window& window, Bitmap& target, POINT origin, const RECT& clip);

  friend struct ThreadExitHook;
  friend LRESULT EditWindowProc(HWND, UINT, WPARAM, LPARAM);
  friend LRESULT TooltipWindowProc(HWND, UINT, WPARAM, LPARAM);

  std::mutex mutex_;
  std::condition_variable idle_;  // a queue became idle, or a work item finished
  std::map<std::wstring, std::shared_ptr<WindowClass>> classes_;        // lower-case names
  std::map<std::wstring, std::shared_ptr<WindowClass>> systemClasses_;  // lower-case names
  ATOM nextAtom_ = 0xC000;
  std::map<HWND, std::shared_ptr<Window>> windows_;
  std::map<HWND, std::thread::id> windowThreads_;  // every window ever made
  std::vector<HWND> topLevel_;  // z-order, topmost first
  uintptr_t nextHandle_ = 0x10000;
  uintptr_t nextObject_ = 0x70000000;
  std::map<std::thread::id, std::unique_ptr<ThreadQueue>> queues_;
  // The pointer, shared by the whole system, and the last window it was over.
  POINT cursor_{kScreenWidth - 1, kScreenHeight - 1};
  HWND pointerWindow_ = nullptr;
  int pointerHit_ = 0;  // HTNOWHERE
  HWND capture_ = nullptr;
  HCURSOR currentCursor_ = nullptr;
  // Mouse tracking (one tracked window at a time).
  HWND tracked_ = nullptr;
  DWORD trackFlags_ = 0;
  DWORD hoverTime_ = 0;
  POINT hoverPoint_{0, 0};
  uint64_t hoverStart_ = 0;
  std::map<int, HCURSOR> cursors_;
  std::map<HCURSOR, int> cursorIds_;
  std::map<HICON, bool> icons_;
  std::map<HDC, DeviceContext> deviceContexts_;
  std::map<HBRUSH, COLORREF> brushes_;
  HBRUSH windowBrush_ = nullptr;
  int clockListener_ = 0;
};

}  // namespace rundix::sim
