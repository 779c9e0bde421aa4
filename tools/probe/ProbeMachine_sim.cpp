#include <cstdlib>
#include <filesystem>

#include "platform/sim/SimMachine.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

std::unique_ptr<Machine> OpenProbeMachine(const ProbeOptions& options, std::string* error) {
  if (options.machineFile.empty()) {
    if (error) *error = "this build looks at a described machine: give --machine FILE";
    return nullptr;
  }
  std::string sandbox = options.sandbox;
  if (sandbox.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "rundix-probe-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      if (error) *error = "cannot make a sandbox folder";
      return nullptr;
    }
    sandbox = pattern;
  }
  return SimMachine::FromFile(options.machineFile, sandbox, error);
}

}  // namespace rundix
