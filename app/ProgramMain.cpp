#include "app/RundixApp.h"
#include "platform/ProgramEntry.h"

namespace rundix {

int ProgramMain(HINSTANCE instance, Machine& machine) { return KUM::RunRundix(instance, machine); }

}  // namespace rundix
