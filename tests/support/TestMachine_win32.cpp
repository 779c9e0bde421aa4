#include "platform/win32/Win32Machine.h"
#include "tests/support/TestMachine.h"

namespace rundix::test {
namespace {

class Win32TestMachine final : public TestMachine {
 public:
  Machine& machine() override { return machine_; }
  bool simulated() const override { return false; }

 private:
  Win32Machine machine_;
};

}  // namespace

std::unique_ptr<TestMachine> MakeTestMachine(const std::string& /*description*/) {
  return std::make_unique<Win32TestMachine>();
}

}  // namespace rundix::test
