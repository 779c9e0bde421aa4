#include <cstdlib>
#include <ctime>

#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32Runtime final : public IRuntime {
 public:
  int64_t Time() override { return static_cast<int64_t>(_time64(nullptr)); }
  DWORD GetTickCount() override { return ::GetTickCount(); }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
  void Srand(unsigned seed) override { std::srand(seed); }
  int Rand() override { return std::rand(); }
  bool LocalTime(int64_t seconds, std::tm* local) override {
    __time64_t t = static_cast<__time64_t>(seconds);
    return local != nullptr && _localtime64_s(local, &t) == 0;
  }
};

}  // namespace

std::unique_ptr<IRuntime> CreateWin32Runtime() { return std::make_unique<Win32Runtime>(); }

}  // namespace rundix
