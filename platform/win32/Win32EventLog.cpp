#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32EventLog final : public IEventLog {};

}  // namespace

std::unique_ptr<IEventLog> CreateWin32EventLog() { return std::make_unique<Win32EventLog>(); }

}  // namespace rundix
