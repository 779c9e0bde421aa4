// Windows for tests of the window system and of what stands on it: a window class whose
// procedure is a function per window, a log of the messages windows received (from any
// thread), and a window thread running the message loop a program runs.
#pragma once

#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/WindowSystem.h"

namespace rundix::test {

// A window's procedure: an answer, or nothing to leave the message to DefWindowProcW.
using WindowHandler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

// The name of a test window class with `classStyle` (CS_DBLCLKS, ...), registered once.
std::wstring TestWindowClass(UINT classStyle = 0);

struct TestWindowDesc {
  std::wstring className;  // empty: TestWindowClass()
  DWORD style = WS_POPUP | WS_VISIBLE;
  DWORD exStyle = 0;
  int x = 100;
  int y = 100;
  int width = 200;
  int height = 150;
  HWND parent = nullptr;
  UINT_PTR id = 0;
  std::wstring title;
};

// Creates a window whose messages go to `handler` from WM_NCCREATE on (earlier ones, such as
// WM_GETMINMAXINFO, go to DefWindowProcW).
HWND CreateTestWindow(const TestWindowDesc& desc, WindowHandler handler = {});

struct LoggedMessage {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class MessageLog {
 public:
  void Add(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::vector<LoggedMessage> All() const;
  // The messages of one window (any window when null) among `kinds` (all when empty).
  std::vector<LoggedMessage> Of(HWND window, std::initializer_list<UINT> kinds = {}) const;
  std::vector<UINT> Kinds(HWND window, std::initializer_list<UINT> kinds = {}) const;
  size_t Count(HWND window, UINT message) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<LoggedMessage> messages_;
};

// Logs every message, then lets `next` answer (DefWindowProcW when it has nothing to say).
WindowHandler Logging(MessageLog& log, WindowHandler next = {});

// A thread with a message loop: `setup` runs on it first (it makes the windows), then
// GetMessageW, TranslateMessage and DispatchMessageW until WM_QUIT.
class WindowThread {
 public:
  explicit WindowThread(std::function<void()> setup = {});
  ~WindowThread();
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  // A hidden window of the thread that tests leave alone, to reach the thread through the
  // driver.
  HWND anchor() const { return anchor_; }
  // Runs `work` on the thread (through the driver) and waits for it.
  bool Run(const std::function<void()>& work);
  // Ends the loop (PostQuitMessage on the thread) and waits for the thread.
  void Stop();
  // The loop's end: WM_QUIT's exit code, once the thread finished.
  std::optional<int> ExitCode() const;
  bool Join(DWORD milliseconds);

 private:
  std::thread thread_;
  HWND anchor_ = nullptr;
  mutable std::mutex mutex_;
  std::optional<int> exitCode_;
  bool finished_ = false;
};

}  // namespace rundix::test
