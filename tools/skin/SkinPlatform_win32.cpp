#include "tools/skin/SkinSession.h"

namespace rundix::skin {

// Real windows run on real time: "advance" waits.
void UseTestClock() {}

bool HasScreen() { return true; }

}  // namespace rundix::skin
