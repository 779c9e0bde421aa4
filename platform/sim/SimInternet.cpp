#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

class SimInternet final : public IInternet {};

}  // namespace

std::unique_ptr<IInternet> CreateSimInternet(SimMachine& /*machine*/) { return std::make_unique<SimInternet>(); }

}  // namespace rundix
