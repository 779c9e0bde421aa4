// What a scan stage works with instead of a window: the machine it reads, the queue its
// findings go to, and the last repair time, which the window thread may store anew while a
// stage runs (a repair started from a report window can end during a scan).
#pragma once

#include <atomic>
#include <cstdint>

#include "app/PendingFinding.h"
#include "platform/Machine.h"

namespace rundix {

struct ScanContext {
  Machine& machine;
  PendingFindingQueue& queue;
  const std::atomic<int32_t>& lastRepairTime;

  // Read whole, each time it is needed; compared as an unsigned 32-bit value.
  DWORD LastRepairTime() const { return static_cast<DWORD>(lastRepairTime.load()); }
};

}  // namespace rundix
