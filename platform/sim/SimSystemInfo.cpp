#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

class SimSystemInfo final : public ISystemInfo {};

}  // namespace

std::unique_ptr<ISystemInfo> CreateSimSystemInfo(SimMachine& /*machine*/) { return std::make_unique<SimSystemInfo>(); }

}  // namespace rundix
