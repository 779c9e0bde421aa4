#include <gtest/gtest.h>

#include "tests/support/SimMachineFactory.h"

namespace rundix::test {

std::unique_ptr<SimMachine> LoadSimMachine(const TempDir& sandbox, const std::string& description) {
  std::string error;
  auto machine = SimMachine::FromJson(description, sandbox.path(), &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

}  // namespace rundix::test
