#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32SystemInfo final : public ISystemInfo {};

}  // namespace

std::unique_ptr<ISystemInfo> CreateWin32SystemInfo() { return std::make_unique<Win32SystemInfo>(); }

}  // namespace rundix
