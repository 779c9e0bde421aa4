#include "platform/win32/Win32Machine.h"

namespace rundix {

Win32Machine::Win32Machine()
    : registry_(CreateWin32Registry()),
      files_(CreateWin32FileSystem()),
      profile_(CreateWin32Profile()),
      runtime_(CreateWin32Runtime()),
      system_(CreateWin32SystemInfo()),
      eventLog_(CreateWin32EventLog()),
      internet_(CreateWin32Internet()),
      winHttp_(CreateWin32WinHttp()),
      codePages_(CreateWin32CodePages()) {}

Win32Machine::~Win32Machine() = default;

}  // namespace rundix
