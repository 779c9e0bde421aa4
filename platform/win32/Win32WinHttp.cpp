#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32WinHttp final : public IWinHttp {};

}  // namespace

std::unique_ptr<IWinHttp> CreateWin32WinHttp() { return std::make_unique<Win32WinHttp>(); }

}  // namespace rundix
