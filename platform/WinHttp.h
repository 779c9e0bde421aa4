// The WinHTTP-shaped request operations and the platform cookie store.
#pragma once

#include "platform/Win32Types.h"

namespace rundix {

class IWinHttp {
 public:
  virtual ~IWinHttp() = default;
};

}  // namespace rundix
