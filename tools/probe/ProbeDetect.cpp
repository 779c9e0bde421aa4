#include <iostream>

#include "tools/probe/ProbeCommands.h"

namespace rundix {

int ProbeDetect(const ProbeOptions& /*options*/, std::ostream& /*out*/) {
  std::cerr << "rundix-probe: detect is not available in this build\n";
  return 1;
}

}  // namespace rundix
