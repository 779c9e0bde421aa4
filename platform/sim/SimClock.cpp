#include "platform/sim/SimClock.h"

#include <algorithm>
#include <chrono>

namespace rundix {
namespace {

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

SimClock& SimClock::Instance() {
  static SimClock clock;
  return clock;
}

SimClock::SimClock() : realBase_(SteadyMilliseconds()) {}

uint64_t SimClock::NowLocked() const {
  if (manual_) return manualNow_;
  int64_t elapsed = SteadyMilliseconds() - realBase_;
  return realOffset_ + static_cast<uint64_t>(std::max<int64_t>(elapsed, 0));
}

uint64_t SimClock::Now64() {
  std::lock_guard<std::mutex> lock(mutex_);
  return NowLocked();
}

void SimClock::SetManual(bool manual) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (manual == manual_) return;
    if (manual) {
      manualNow_ = NowLocked();
    } else {
      realOffset_ = manualNow_;
      realBase_ = SteadyMilliseconds();
    }
    manual_ = manual;
  }
  changed_.notify_all();
  CallListeners();
}

bool SimClock::IsManual() {
  std::lock_guard<std::mutex> lock(mutex_);
  return manual_;
}

void SimClock::Advance(DWORD milliseconds) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!manual_) return;
    manualNow_ += milliseconds;
    changed_.notify_all();
    // The sleepers whose time came are awake before the time moves on again.
    changed_.wait_for(lock, std::chrono::seconds(2), [this] {
      return std::none_of(sleepers_.begin(), sleepers_.end(), [this](uint64_t t) { return t <= manualNow_; });
    });
  }
  CallListeners();
}

void SimClock::SleepFor(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t target = NowLocked() + milliseconds;
  bool registered = false;
  while (NowLocked() < target) {
    if (manual_) {
      if (!registered) {
        sleepers_.push_back(target);
        registered = true;
      }
      changed_.wait(lock);
    } else {
      if (registered) {
        sleepers_.erase(std::find(sleepers_.begin(), sleepers_.end(), target));
        registered = false;
      }
      changed_.wait_for(lock, std::chrono::milliseconds(target - NowLocked()));
    }
  }
  if (registered) {
    sleepers_.erase(std::find(sleepers_.begin(), sleepers_.end(), target));
    changed_.notify_all();
  }
}

std::optional<uint64_t> SimClock::NextSleeperDue() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sleepers_.empty()) return std::nullopt;
  return *std::min_element(sleepers_.begin(), sleepers_.end());
}

int SimClock::AddListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  int id = nextListener_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void SimClock::RemoveListener(int id) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                  [id](const auto& entry) { return entry.first == id; }),
                   listeners_.end());
}

void SimClock::CallListeners() {
  // Held while calling, so a removed listener is never called afterwards.
  std::lock_guard<std::mutex> lock(listenersMutex_);
  for (auto& entry : listeners_) entry.second();
}

}  // namespace rundix
