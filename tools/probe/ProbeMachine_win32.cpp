#include "platform/win32/Win32Machine.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

std::unique_ptr<Machine> OpenProbeMachine(const ProbeOptions& /*options*/, std::string* /*error*/) {
  return std::make_unique<Win32Machine>();
}

}  // namespace rundix
