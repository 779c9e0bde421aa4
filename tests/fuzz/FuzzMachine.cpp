// The simulated machine's description loader (the probe tool reads these from the network
// side of its tests). Each description gets a fresh sandbox folder.
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/sim/SimMachine.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string sandbox = rundix::fuzz::Sandbox() + "/described";
  std::string error;
  std::unique_ptr<rundix::SimMachine> machine =
      rundix::SimMachine::FromJson(std::string(reinterpret_cast<const char*>(data), size), sandbox, &error);
  machine.reset();
  rundix::fuzz::RemoveTree(sandbox);
  // The next description must start from nothing.
  struct stat left;
  if (::lstat(sandbox.c_str(), &left) == 0) std::abort();
  return 0;
}
