// The one clock of the simulated platform: the simulated machine's GetTickCount and Sleep and
// the headless window system's timers all read it, so a worker's elapsed time and a window's
// timers agree. It runs in real time until a test makes it manual; then it stands still until
// the test advances it, and sleepers wake when their time has come.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Win32Types.h"

namespace rundix {

class SimClock {
 public:
  static SimClock& Instance();

  // Milliseconds since the clock started, and the same wrapped like GetTickCount.
  uint64_t Now64();
  DWORD Now() { return static_cast<DWORD>(Now64()); }

  // Manual mode keeps the current time until Advance; real mode goes on from there. Time
  // never runs backwards across mode changes.
  void SetManual(bool manual);
  bool IsManual();
  // Manual mode only (ignored in real mode): moves the time on, wakes the sleepers whose time
  // has come and calls the listeners.
  void Advance(DWORD milliseconds);

  // Sleep: real sleeping in real mode; in manual mode until the time has been advanced by
  // `milliseconds`.
  void SleepFor(DWORD milliseconds);

  // Called (on the advancing thread) after every Advance, so waiters elsewhere can look at
  // the new time. Returns an id for RemoveListener.
  int AddListener(std::function<void()> listener);
  void RemoveListener(int id);
};

}  // namespace rundix
