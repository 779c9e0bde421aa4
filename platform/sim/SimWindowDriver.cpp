// The window driver over the headless window system: input goes into the window thread's
// input queue, work runs inside that thread's GetMessageW (whichever loop, modal ones
// included), idleness is that thread blocking in GetMessageW with nothing to return, and time
// is the simulated clock, moved from one due timer to the next.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/WindowDriver.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimWindowSystem.h"

namespace rundix {
namespace sim {
namespace {

using Steady = std::chrono::steady_clock;

Steady::time_point Deadline(DWORD milliseconds) {
  return Steady::now() + std::chrono::milliseconds(milliseconds);
}

DWORD Remaining(Steady::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

}  // namespace

std::optional<std::thread::id> SimWindowSystem::ThreadOf(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windowThreads_.find(window);
  if (it == windowThreads_.end()) return std::nullopt;
  return it->second;
}

bool SimWindowSystem::RunOnThread(std::thread::id thread, std::function<void()> work,
                                  DWORD realTimeoutMs) {
  if (thread == std::this_thread::get_id()) {
    work();
    return true;
  }
  auto item = std::make_shared<Work>();
  item->work = std::move(work);
  std::unique_lock<std::mutex> lock(mutex_);
  ThreadQueue* queue = QueueOfThreadLocked(thread);
  if (queue == nullptr) return false;
  queue->work.push_back(item);
  WakeLocked(*queue);
  const auto deadline = Deadline(realTimeoutMs);
  idle_.wait_until(lock, deadline, [&] { return item->state == Work::kDone || item->state == Work::kCancelled; });
  if (item->state == Work::kPending) item->state = Work::kCancelled;  // never runs now
  return item->state == Work::kDone;
}

bool SimWindowSystem::WaitThreadIdle(std::thread::id thread, DWORD realTimeoutMs) {
  if (thread == std::this_thread::get_id()) {
    PumpCurrentThread();
    return true;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = Deadline(realTimeoutMs);
  for (;;) {
    ThreadQueue* queue = QueueOfThreadLocked(thread);
    if (queue == nullptr) return false;
    if (queue->waiting && !HasAvailableLocked(*queue, queue->waitWindow, queue->waitMin, queue->waitMax,
                                              SimClock::Instance().Now64())) {
      return true;
    }
    // Real time may make a timer due without anyone noticing here: look again now and then.
    if (idle_.wait_until(lock, std::min(deadline, Steady::now() + std::chrono::milliseconds(50))) ==
            std::cv_status::timeout &&
        Steady::now() >= deadline) {
      queue = QueueOfThreadLocked(thread);
      return queue != nullptr && queue->waiting &&
             !HasAvailableLocked(*queue, queue->waitWindow, queue->waitMin, queue->waitMax,
                                 SimClock::Instance().Now64());
    }
  }
}

uint64_t SimWindowSystem::RetrievedCount(std::thread::id thread) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue* queue = QueueOfThreadLocked(thread);
  return queue ? queue->retrieved : 0;
}

void SimWindowSystem::WaitForActivity(std::thread::id thread, uint64_t retrieved, DWORD realTimeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait_for(lock, std::chrono::milliseconds(realTimeoutMs), [&] {
    ThreadQueue* queue = QueueOfThreadLocked(thread);
    return queue == nullptr || queue->retrieved != retrieved;
  });
}

std::optional<uint64_t> SimWindowSystem::NextDue(uint64_t now) {
  std::optional<uint64_t> next;
  auto consider = [&](uint64_t due) {
    if (due > now && (!next || due < *next)) next = due;
  };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : queues_) {
      for (const Timer& t : entry.second->timers) consider(t.due);
    }
    if (tracked_ != nullptr && (trackFlags_ & TME_HOVER)) consider(hoverStart_ + hoverTime_);
  }
  if (std::optional<uint64_t> sleeper = SimClock::Instance().NextSleeperDue()) consider(*sleeper);
  return next;
}

void SimWindowSystem::PumpCurrentThread() {
  MSG message;
  // A window that never validates would keep this busy for ever; stop somewhere.
  for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, true); ++i) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void SimWindowSystem::ComposeChildrenLocked(Window& window, Bitmap& target, POINT origin, const RECT& clip) {
  uint8_t* out = target.LockPixels();
  const int stride = target.Stride();
  for (auto it = window.children.rbegin(); it != window.children.rend(); ++it) {
    Window* child = FindLocked(*it);
    if (child == nullptr || !(child->style & WS_VISIBLE) || (child->style & WS_MINIMIZE)) continue;
    const POINT windowOrigin{origin.x + child->rect.left, origin.y + child->rect.top};
    const POINT clientOrigin{windowOrigin.x + child->client.left, windowOrigin.y + child->client.top};
    RECT childClip{std::max<LONG>(clip.left, clientOrigin.x), std::max<LONG>(clip.top, clientOrigin.y),
                   std::min<LONG>(clip.right, clientOrigin.x + (child->client.right - child->client.left)),
                   std::min<LONG>(clip.bottom, clientOrigin.y + (child->client.bottom - child->client.top))};
    if (childClip.right <= childClip.left || childClip.bottom <= childClip.top) continue;
    if (child->pixels) {
      const uint8_t* in = child->pixels->ReadPixels();
      const int inStride = child->pixels->Stride();
      for (int y = childClip.top; y < childClip.bottom; ++y) {
        for (int x = childClip.left; x < childClip.right; ++x) {
          const int cx = x - clientOrigin.x;
          const int cy = y - clientOrigin.y;
          if (child->region && !child->region->Contains(cx + child->client.left, cy + child->client.top)) continue;
          std::memcpy(out + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4,
                      in + static_cast<size_t>(cy) * inStride + static_cast<size_t>(cx) * 4, 4);
        }
      }
    }
    ComposeChildrenLocked(*child, target, clientOrigin, childClip);
  }
  target.UnlockPixels();
}

std::unique_ptr<Bitmap> SimWindowSystem::ComposeWindow(HWND handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(handle);
  if (w == nullptr || !w->pixels) return nullptr;
  const int width = w->pixels->Width();
  const int height = w->pixels->Height();
  std::unique_ptr<Bitmap> out = CreateBitmap(width, height);
  if (!out) return nullptr;
  {
    const uint8_t* in = w->pixels->ReadPixels();
    uint8_t* to = out->LockPixels();
    for (int y = 0; y < height; ++y) {
      std::memcpy(to + static_cast<size_t>(y) * out->Stride(), in + static_cast<size_t>(y) * w->pixels->Stride(),
                  static_cast<size_t>(width) * 4);
    }
    out->UnlockPixels();
  }
  ComposeChildrenLocked(*w, *out, POINT{0, 0}, RECT{0, 0, width, height});
  if (w->region) {
    // Outside the window's region nothing shows.
    uint8_t* to = out->LockPixels();
    for (int y = 0; y < height; ++y) {
      uint32_t* row = reinterpret_cast<uint32_t*>(to + static_cast<size_t>(y) * out->Stride());
      for (int x = 0; x < width; ++x) {
        if (!w->region->Contains(x + w->client.left, y + w->client.top)) row[x] = 0;
      }
    }
    out->UnlockPixels();
  }
  return out;
}

namespace {

class SimWindowDriver final : public IWindowDriver {
 public:
  void MouseMove(HWND window, POINT client) override { Mouse(window, WM_MOUSEMOVE, client); }
  void LButtonDown(HWND window, POINT client) override { Mouse(window, WM_LBUTTONDOWN, client); }
  void LButtonUp(HWND window, POINT client) override { Mouse(window, WM_LBUTTONUP, client); }
  void LButtonDblClk(HWND window, POINT client) override {
    System().InjectMouse(window, WM_LBUTTONDOWN, client, 0, true);
  }
  void RButtonDown(HWND window, POINT client) override { Mouse(window, WM_RBUTTONDOWN, client); }
  void RButtonUp(HWND window, POINT client) override { Mouse(window, WM_RBUTTONUP, client); }
  void Wheel(HWND window, POINT client, int delta) override {
    System().InjectMouse(window, WM_MOUSEWHEEL, client, delta, false);
  }
  void MouseLeave(HWND window) override { System().InjectMouseLeave(window); }
  void KeyDown(HWND window, UINT virtualKey, bool shift) override {
    if (shift) System().InjectKey(window, VK_SHIFT, true);
    System().InjectKey(window, virtualKey, true);
  }
  void KeyUp(HWND window, UINT virtualKey, bool shift) override {
    System().InjectKey(window, virtualKey, false);
    if (shift) System().InjectKey(window, VK_SHIFT, false);
  }
  void Char(HWND window, wchar_t character) override { System().InjectChar(window, character); }

  bool Run(HWND window, const std::function<void()>& work, DWORD realTimeoutMs) override {
    if (!System().IsWindow(window)) return false;
    std::optional<std::thread::id> thread = System().ThreadOf(window);
    return thread && System().RunOnThread(*thread, work, realTimeoutMs);
  }

  bool WaitIdle(HWND window, DWORD realTimeoutMs) override {
    std::optional<std::thread::id> thread = System().ThreadOf(window);
    return thread && System().WaitThreadIdle(*thread, realTimeoutMs);
  }

  void Advance(HWND window, DWORD milliseconds) override {
    std::optional<std::thread::id> thread = System().ThreadOf(window);
    SimClock& clock = SimClock::Instance();
    if (!clock.IsManual()) {
      const auto deadline = Deadline(milliseconds);
      if (thread == std::this_thread::get_id()) {
        while (Remaining(deadline) > 0) {
          System().PumpCurrentThread();
          std::this_thread::sleep_for(std::chrono::milliseconds(std::min<DWORD>(5, Remaining(deadline))));
        }
      } else {
        std::this_thread::sleep_until(deadline);
      }
      if (thread) System().WaitThreadIdle(*thread, kIdleTimeout);
      return;
    }
    const uint64_t target = clock.Now64() + milliseconds;
    for (;;) {
      if (thread) System().WaitThreadIdle(*thread, kIdleTimeout);
      const uint64_t now = clock.Now64();
      std::optional<uint64_t> next = System().NextDue(now);
      if (!next || *next > target) {
        if (target > now) clock.Advance(static_cast<DWORD>(target - now));
        if (thread) System().WaitThreadIdle(*thread, kIdleTimeout);
        return;
      }
      clock.Advance(static_cast<DWORD>(*next - now));
    }
  }

  bool WaitFor(HWND window, const std::function<bool()>& condition, DWORD realTimeoutMs) override {
    std::optional<std::thread::id> thread = System().ThreadOf(window);
    if (!thread) return false;
    const auto deadline = Deadline(realTimeoutMs);
    if (*thread == std::this_thread::get_id()) {
      for (;;) {
        System().PumpCurrentThread();
        if (condition()) return true;
        if (Remaining(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    for (;;) {
      if (Remaining(deadline) == 0) return false;
      const uint64_t seen = System().RetrievedCount(*thread);
      if (System().WaitThreadIdle(*thread, std::min<DWORD>(Remaining(deadline), 100))) {
        auto result = std::make_shared<bool>(false);
        std::function<bool()> check = condition;
        if (System().RunOnThread(*thread, [result, check] { *result = check(); }, Remaining(deadline)) &&
            *result) {
          return true;
        }
      }
      // Workers post while we wait: look again when the thread has taken a message, or soon.
      System().WaitForActivity(*thread, seen, std::min<DWORD>(Remaining(deadline), 20));
    }
  }

  std::unique_ptr<Bitmap> Capture(HWND window) override {
    auto result = std::make_shared<std::unique_ptr<Bitmap>>();
    bool ran = Run(
        window,
        [result, window] {
          System().UpdateWindow(window);
          *result = System().ComposeWindow(window);
        },
        kIdleTimeout);
    return ran ? std::move(*result) : nullptr;
  }

 private:
  static constexpr DWORD kIdleTimeout = 20000;
  static SimWindowSystem& System() { return SimWindowSystem::Instance(); }
  void Mouse(HWND window, UINT message, POINT client) {
    System().InjectMouse(window, message, client, 0, false);
  }
};

}  // namespace
}  // namespace sim

IWindowDriver& WindowDriver() {
  static sim::SimWindowDriver* driver = new sim::SimWindowDriver();
  return *driver;
}

}  // namespace rundix
