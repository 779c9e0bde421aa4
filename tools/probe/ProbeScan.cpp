#include <iostream>

#include "tools/probe/ProbeCommands.h"

namespace rundix {

int ProbeScan(const ProbeOptions& /*options*/, std::ostream& /*out*/) {
  std::cerr << "rundix-probe: scan is not available in this build\n";
  return 1;
}

}  // namespace rundix
