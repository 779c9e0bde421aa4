// The C runtime and kernel services whose results the program's logic depends on: the clock,
// ticks, sleeping and the runtime's pseudo-random numbers. Behind a seam so tests can fix time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/Win32Types.h"

namespace rundix {

class IRuntime {
 public:
  virtual ~IRuntime() = default;
  // Seconds since 1970-01-01 00:00 UTC (the runtime's time()).
  virtual int64_t Time() = 0;
  virtual DWORD GetTickCount() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  // The runtime's srand/rand: one process-wide sequence, 15-bit results.
  virtual void Srand(unsigned seed) = 0;
  virtual int Rand() = 0;
  // Local broken-down time of a moment; false when it cannot be converted.
  virtual bool LocalTime(int64_t seconds, std::tm* local) = 0;
};

// strftime-style formatting of a wide format into at most `maxChars` characters including
// the terminator; empty when the result would not fit. Same rules on both builds.
std::wstring FormatTimeWide(const std::wstring& format, const std::tm& time, size_t maxChars);

}  // namespace rundix
