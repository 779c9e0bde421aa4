#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32Internet final : public IInternet {};

}  // namespace

std::unique_ptr<IInternet> CreateWin32Internet() { return std::make_unique<Win32Internet>(); }

}  // namespace rundix
