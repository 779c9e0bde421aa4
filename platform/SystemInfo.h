// Processor architecture, library loading, file versions, Windows Installer product state
// and starting programs through the shell.
#pragma once

#include "platform/Win32Types.h"

namespace rundix {

class ISystemInfo {
 public:
  virtual ~ISystemInfo() = default;
};

}  // namespace rundix
