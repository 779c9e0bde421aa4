// The simulated clock and C runtime: a fixed or real calendar time, a time zone given as
// minutes east of UTC, real ticks and sleeps, and the same rand() sequence Windows' C runtime
// produces for a seed.
#pragma once

#include <json/value.h>

#include <atomic>
#include <mutex>
#include <optional>

#include "platform/Runtime.h"

namespace rundix {

class SimRuntime final : public IRuntime {
 public:
  SimRuntime() = default;
  bool Load(const Json::Value& description, std::string* error);

  int64_t Time() override;
  DWORD GetTickCount() override;
  void Sleep(DWORD milliseconds) override;
  void Srand(unsigned seed) override;
  int Rand() override;
  bool LocalTime(int64_t seconds, std::tm* local) override;

  // Fixes the calendar time; nullopt returns to the real clock.
  void SetTime(std::optional<int64_t> seconds);
  void SetTimeZoneMinutes(int minutesEastOfUtc) { zoneMinutes_ = minutesEastOfUtc; }
  // Total milliseconds asked of Sleep so far.
  uint64_t SleptMilliseconds() const { return slept_; }

 private:
  std::mutex mutex_;
  std::optional<int64_t> fixedTime_;
  std::atomic<int> zoneMinutes_{0};
  std::atomic<uint64_t> slept_{0};
  uint32_t seed_ = 1;
};

}  // namespace rundix
