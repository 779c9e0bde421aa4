// Loading a simulated machine for a Linux-only test; a bad description fails the test.
#pragma once

#include <memory>
#include <string>

#include "platform/sim/SimMachine.h"
#include "tests/support/TestMachine.h"

namespace rundix::test {

std::unique_ptr<SimMachine> LoadSimMachine(const TempDir& sandbox, const std::string& description);

}  // namespace rundix::test
