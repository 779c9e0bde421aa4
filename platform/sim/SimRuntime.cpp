#include "platform/sim/SimRuntime.h"

#include "platform/sim/SimClock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace rundix {

bool SimRuntime::Load(const Json::Value& d, std::string* error) {
  if (d.isMember("time")) {
    if (!d["time"].isIntegral()) {
      if (error) *error = "\"time\" must be seconds since 1970";
      return false;
    }
    fixedTime_ = d["time"].asInt64();
  }
  if (d.isMember("time_zone_minutes")) {
    if (!d["time_zone_minutes"].isIntegral()) {
      if (error) *error = "\"time_zone_minutes\" must be a whole number";
      return false;
    }
    zoneMinutes_ = d["time_zone_minutes"].asInt();
  }
  return true;
}

int64_t SimRuntime::Time() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fixedTime_) return *fixedTime_;
  }
  return static_cast<int64_t>(std::time(nullptr));
}

// Ticks and sleeps follow the platform's one clock, which the window system's timers share.
DWORD SimRuntime::GetTickCount() { return SimClock::Instance().Now(); }

void SimRuntime::Sleep(DWORD milliseconds) {
  slept_ += milliseconds;
  SimClock::Instance().SleepFor(milliseconds);
}

void SimRuntime::Srand(unsigned seed) {
  std::lock_guard<std::mutex> lock(mutex_);
  seed_ = seed;
}

int SimRuntime::Rand() {
  // The Windows C runtime's generator.
  std::lock_guard<std::mutex> lock(mutex_);
  seed_ = seed_ * 214013u + 2531011u;
  return static_cast<int>((seed_ >> 16) & 0x7FFF);
}

bool SimRuntime::LocalTime(int64_t seconds, std::tm* local) {
  if (local == nullptr) return false;
  time_t shifted = static_cast<time_t>(seconds + static_cast<int64_t>(zoneMinutes_.load()) * 60);
  return ::gmtime_r(&shifted, local) != nullptr;
}

void SimRuntime::SetTime(std::optional<int64_t> seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  fixedTime_ = seconds;
}

}  // namespace rundix
