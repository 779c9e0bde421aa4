#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

class SimWinHttp final : public IWinHttp {};

}  // namespace

std::unique_ptr<IWinHttp> CreateSimWinHttp(SimMachine& /*machine*/) { return std::make_unique<SimWinHttp>(); }

}  // namespace rundix
