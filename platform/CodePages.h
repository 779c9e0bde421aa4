// The machine's ANSI code page and conversions to and from it (URLs for WinINet and form
// bodies go out in the ANSI code page).
#pragma once

#include "platform/Win32Types.h"

namespace rundix {

class ICodePages {
 public:
  virtual ~ICodePages() = default;
};

}  // namespace rundix
