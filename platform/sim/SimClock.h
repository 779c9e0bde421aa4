// The one clock of the simulated platform: the simulated machine's GetTickCount and Sleep and
// the headless window system's timers all read it, so a worker's elapsed time and a window's
// timers agree. It runs in real time until a test makes it manual; then it stands still until
// the test advances it, and sleepers wake when their time has come.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

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
  // `milliseconds`. A change of mode wakes the sleeper, which goes on in the new mode.
  void SleepFor(DWORD milliseconds);
  // The earliest time a sleeper waits for, if any sleeps now (so that whoever advances the
  // clock can stop there, as it stops at due timers).
  std::optional<uint64_t> NextSleeperDue();

  // Called (on the advancing thread, with no lock of the clock held) after every Advance and
  // every change of mode, so waiters elsewhere can look at the new time. Returns an id for
  // RemoveListener.
  int AddListener(std::function<void()> listener);
  void RemoveListener(int id);

 private:
  SimClock();
  uint64_t NowLocked() const;
  void CallListeners();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool manual_ = false;
  uint64_t manualNow_ = 0;    // the time in manual mode
  uint64_t realOffset_ = 0;   // what real mode adds to the real milliseconds since realBase_
  int64_t realBase_ = 0;      // steady-clock milliseconds when real mode last began
  std::vector<uint64_t> sleepers_;  // targets of the manual sleepers
  std::mutex listenersMutex_;
  std::vector<std::pair<int, std::function<void()>>> listeners_;
  int nextListener_ = 1;
};

}  // namespace rundix
