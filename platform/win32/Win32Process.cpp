#include <ole2.h>

#include <atomic>

#include "platform/Process.h"

namespace rundix {
namespace {
std::atomic<int> g_balance{0};
}  // namespace

bool OleInitializeThread() {
  HRESULT result = ::OleInitialize(nullptr);
  if (SUCCEEDED(result)) ++g_balance;
  return SUCCEEDED(result);
}

void OleUninitializeThread() {
  if (g_balance.load() <= 0) return;
  ::OleUninitialize();
  --g_balance;
}

int OleInitializeBalance() { return g_balance.load(); }

}  // namespace rundix
