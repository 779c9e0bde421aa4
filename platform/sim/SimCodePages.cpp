#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

class SimCodePages final : public ICodePages {};

}  // namespace

std::unique_ptr<ICodePages> CreateSimCodePages(SimMachine& /*machine*/) {
  return std::make_unique<SimCodePages>();
}

}  // namespace rundix
