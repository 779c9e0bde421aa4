// The executable's entry, the same on both builds. The platform's entry point (wWinMain on
// Windows, main on Linux) makes the machine the program works on and calls ProgramMain,
// which the program defines. The entry points live in platform/<platform>/entry/ and are
// compiled into the program's executable only.
#pragma once

#include <string>

#include "platform/Machine.h"
#include "platform/WindowTypes.h"

namespace rundix {

int ProgramMain(HINSTANCE instance, Machine& machine);

}  // namespace rundix
