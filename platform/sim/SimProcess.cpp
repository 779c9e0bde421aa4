#include <atomic>

#include "platform/Process.h"

namespace rundix {
namespace {
// The simulated platform has no OLE; the balance still tells whether start-up and shutdown
// pair up.
std::atomic<int> g_balance{0};
}  // namespace

bool OleInitializeThread() {
  ++g_balance;
  return true;
}

void OleUninitializeThread() {
  if (g_balance.load() > 0) --g_balance;
}

int OleInitializeBalance() { return g_balance.load(); }

}  // namespace rundix
