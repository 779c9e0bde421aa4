// The whole program for one test (Linux): a simulated machine, a real rundix-server on
// loopback for its reports and downloads, and the program's start-up and message loop on a
// window thread of their own, driven from the test thread like a user.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/RundixWnd.h"
#include "platform/Raster.h"
#include "platform/WindowDriver.h"
#include "platform/sim/SimMachine.h"
#include "tests/support/ServerProcess.h"

namespace rundix::test {

class ProgramSession {
 public:
  // Starts the program over `machine` with its service and downloads at `server`.
  ProgramSession(SimMachine& machine, const std::wstring& server);
  // Closes the window like a user (if it is still there) and waits for the process's loop.
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  bool started() const { return started_; }
  HWND Main() const { return main_; }
  KUM::RundixWnd* Window() const { return window_; }
  // What the entry point would have returned, once the loop has ended.
  bool Ended() const;
  int ExitCode() const { return exitCode_; }
  // Waits (real time) for the message loop to end.
  bool WaitEnded(DWORD realTimeoutMs = 60000);

  IWindowDriver& Driver() { return WindowDriver(); }
  bool Run(const std::function<void()>& work) { return WindowDriver().Run(main_, work); }
  bool WaitIdle() { return WindowDriver().WaitIdle(main_); }
  void Advance(DWORD ms) { WindowDriver().Advance(main_, ms); }
  bool WaitFor(const std::function<bool()>& condition, DWORD realTimeoutMs = 60000) {
    return WindowDriver().WaitFor(main_, condition, realTimeoutMs);
  }

  // A control of the main window by id, read on the window thread.
  bool Visible(UINT id);
  std::wstring Text(UINT id);
  RECT RectOf(UINT id);
  // Presses and releases the left button in the middle of a control of `window` (the main
  // window when null), found by id in that window's paint manager.
  void Click(UINT id, HWND window = nullptr);
  void ClickAt(HWND window, POINT point);
  std::unique_ptr<Bitmap> Capture(HWND window = nullptr);
  // Writes a capture under the build folder's artifacts/ and returns its path.
  std::string Save(const Bitmap& bitmap, const std::string& name);

 private:
  SimMachine& machine_;
  std::thread thread_;
  HWND main_ = nullptr;
  KUM::RundixWnd* window_ = nullptr;
  bool started_ = false;
  std::atomic<bool> ended_{false};
  int exitCode_ = 0;
};

// The paint manager of a library window by its handle (on the window thread).
KUM::KuPaintManager* ManagerOf(HWND window);

}  // namespace rundix::test
