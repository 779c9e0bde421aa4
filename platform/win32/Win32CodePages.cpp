#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32CodePages final : public ICodePages {};

}  // namespace

std::unique_ptr<ICodePages> CreateWin32CodePages() { return std::make_unique<Win32CodePages>(); }

}  // namespace rundix
