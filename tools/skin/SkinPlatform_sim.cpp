#include "platform/sim/SimClock.h"
#include "tools/skin/SkinSession.h"

namespace rundix::skin {

void UseTestClock() { SimClock::Instance().SetManual(true); }

bool HasScreen() { return false; }

}  // namespace rundix::skin
