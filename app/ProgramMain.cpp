#include "app/RundixApp.h"
#include "platform/ProgramEntry.h"

namespace rundix {

int ProgramMain(HINSTANCE instance, Machine& machine) {
  // Running elevated: no library of ours may come from the current or a planted folder.
  machine.System().RestrictLibrarySearch();
  return KUM::RunRundix(instance, machine);
}

}  // namespace rundix
