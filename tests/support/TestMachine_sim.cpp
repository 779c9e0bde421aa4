#include <gtest/gtest.h>

#include "platform/sim/SimMachine.h"
#include "tests/support/TestMachine.h"

namespace rundix::test {
namespace {

class SimTestMachine final : public TestMachine {
 public:
  explicit SimTestMachine(const std::string& description) {
    std::string error;
    machine_ = SimMachine::FromJson(description, sandbox_.path(), &error);
    if (!machine_) ADD_FAILURE() << "bad test machine: " << error;
  }
  Machine& machine() override { return *machine_; }
  bool simulated() const override { return true; }

 private:
  TempDir sandbox_;
  std::unique_ptr<SimMachine> machine_;
};

}  // namespace

std::unique_ptr<TestMachine> MakeTestMachine(const std::string& description) {
  return std::make_unique<SimTestMachine>(description);
}

}  // namespace rundix::test
