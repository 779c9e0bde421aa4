// The classic event-log API: open a log, read EVENTLOGRECORD buffers, close it.
#pragma once

#include "platform/Win32Types.h"

namespace rundix {

class IEventLog {
 public:
  virtual ~IEventLog() = default;
};

}  // namespace rundix
