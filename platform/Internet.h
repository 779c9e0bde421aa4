// The WinINet-shaped request operations used to download installers and send reports.
#pragma once

#include "platform/Win32Types.h"

namespace rundix {

class IInternet {
 public:
  virtual ~IInternet() = default;
};

}  // namespace rundix
