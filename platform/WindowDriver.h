// Driving windows like a user, from another thread: the windows live on their own thread,
// which runs its message loop (modal loops included) as in the program, while a test or a
// tool injects input, lets time pass, runs checks on the window thread and reads pixels.
// Linux: the headless window system's input injection (the messages and their order Windows
// would produce) and the simulated clock. Windows: the same input sent to real windows as
// messages, time passing in real time.
#pragma once

#include <functional>
#include <memory>

#include "platform/Raster.h"
#include "platform/WindowTypes.h"

namespace rundix {

class IWindowDriver {
 public:
  virtual ~IWindowDriver() = default;

  // Mouse input at a point in the client coordinates of `window` (usually a top-level
  // window). The window under the point, or the capture window, receives it, with
  // WM_NCHITTEST and WM_SETCURSOR first, WM_MOUSELEAVE for a tracked window the pointer left,
  // WM_NCLBUTTONDOWN and friends outside the client area. Disabled windows get nothing.
  virtual void MouseMove(HWND window, POINT client) = 0;
  virtual void LButtonDown(HWND window, POINT client) = 0;
  virtual void LButtonUp(HWND window, POINT client) = 0;
  // The second press of a double click (WM_LBUTTONDBLCLK where the class has CS_DBLCLKS,
  // otherwise a plain press).
  virtual void LButtonDblClk(HWND window, POINT client) = 0;
  virtual void RButtonDown(HWND window, POINT client) = 0;
  virtual void RButtonUp(HWND window, POINT client) = 0;
  // WM_MOUSEWHEEL with `delta` (120 a notch, positive away from the user) at the point, as
  // Windows sends it: to the capture window or the window under the point, in screen
  // coordinates; the pointer itself does not move.
  virtual void Wheel(HWND window, POINT client, int delta) = 0;
  // The pointer leaves the window for a corner of the screen the window does not cover
  // (WM_MOUSELEAVE when it is tracked); no other window hears of it.
  virtual void MouseLeave(HWND window) = 0;
  // A key going down or up at the focus window of `window`'s thread (the active window, as a
  // system key, when nothing has the focus), with Shift going down before it and up after it
  // when asked; the thread's key state follows, and the message loop's TranslateMessage makes
  // the characters. Keys while Alt is down are system keys (Alt+F4 closes the window).
  virtual void KeyDown(HWND window, UINT virtualKey, bool shift) = 0;
  virtual void KeyUp(HWND window, UINT virtualKey, bool shift) = 0;
  // WM_CHAR to the focus window of `window`'s thread.
  virtual void Char(HWND window, wchar_t character) = 0;

  // Runs `work` on the thread that owns `window`, from its message loop, and waits for it.
  // False when the window is gone or `realTimeoutMs` passed first.
  virtual bool Run(HWND window, const std::function<void()>& work, DWORD realTimeoutMs = 20000) = 0;
  // Waits until the thread that owns `window` has handled everything it has now: posted
  // messages, input, paints and due timers. False after `realTimeoutMs` (a thread busy
  // elsewhere, such as one waiting for a worker). Called on the window's own thread, it
  // handles the messages there instead. A window the driver has met may be gone already.
  virtual bool WaitIdle(HWND window, DWORD realTimeoutMs = 20000) = 0;
  // Lets `milliseconds` pass for the windows of that thread: timers fire as often as they
  // would (the simulated clock moves from one due timer to the next on Linux; real waiting on
  // Windows), and the thread is idle at the end.
  virtual void Advance(HWND window, DWORD milliseconds) = 0;
  // Waits (in real time, up to `realTimeoutMs`) until `condition`, evaluated on the window
  // thread whenever it is idle, holds. Workers post while the caller waits.
  virtual bool WaitFor(HWND window, const std::function<bool()>& condition,
                       DWORD realTimeoutMs = 20000) = 0;

  // The window's pixels as the user sees them: its client area with its child windows on
  // top and the window region applied (pixels outside it are transparent). Pending paints are
  // done first. Null when it cannot be read.
  virtual std::unique_ptr<Bitmap> Capture(HWND window) = 0;
};

IWindowDriver& WindowDriver();

}  // namespace rundix
