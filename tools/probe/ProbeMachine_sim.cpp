#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/sim/SimMachine.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

namespace {

// A described machine in a sandbox folder the probe made for this run: the folder goes when
// the machine does, so runs leave nothing behind.
class OwnSandboxMachine final : public Machine {
 public:
  OwnSandboxMachine(std::unique_ptr<SimMachine> inner, std::string sandbox)
      : inner_(std::move(inner)), sandbox_(std::move(sandbox)) {}
  ~OwnSandboxMachine() override {
    inner_.reset();  // its files and threads first
    std::error_code ignored;
    std::filesystem::remove_all(sandbox_, ignored);
  }
  IRegistry& Registry() override { return inner_->Registry(); }
  IFileSystem& Files() override { return inner_->Files(); }
  IProfile& Profile() override { return inner_->Profile(); }
  IRuntime& Runtime() override { return inner_->Runtime(); }
  ISystemInfo& System() override { return inner_->System(); }
  IEventLog& EventLog() override { return inner_->EventLog(); }
  IInternet& Internet() override { return inner_->Internet(); }
  IWinHttp& WinHttp() override { return inner_->WinHttp(); }
  ICodePages& CodePages() override { return inner_->CodePages(); }

 private:
  std::unique_ptr<SimMachine> inner_;
  std::string sandbox_;
};

}  // namespace

std::unique_ptr<Machine> OpenProbeMachine(const ProbeOptions& options, std::string* error) {
  if (options.machineFile.empty()) {
    if (error) *error = "this build looks at a described machine: give --machine FILE";
    return nullptr;
  }
  if (!options.sandbox.empty()) return SimMachine::FromFile(options.machineFile, options.sandbox, error);
  std::error_code failed;
  std::string pattern = (std::filesystem::temp_directory_path(failed) / "rundix-probe-XXXXXX").string();
  if (failed || ::mkdtemp(pattern.data()) == nullptr) {
    if (error) *error = "cannot make a sandbox folder";
    return nullptr;
  }
  std::unique_ptr<SimMachine> machine = SimMachine::FromFile(options.machineFile, pattern, error);
  if (!machine) {
    std::filesystem::remove_all(pattern, failed);
    return nullptr;
  }
  return std::make_unique<OwnSandboxMachine>(std::move(machine), pattern);
}

}  // namespace rundix
