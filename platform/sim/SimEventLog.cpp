#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

class SimEventLog final : public IEventLog {};

}  // namespace

std::unique_ptr<IEventLog> CreateSimEventLog(SimMachine& /*machine*/) { return std::make_unique<SimEventLog>(); }

}  // namespace rundix
