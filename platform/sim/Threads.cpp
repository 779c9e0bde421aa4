// Threads and events over the standard library, with the Win32 semantics the program relies
// on: threads start suspended, thread and event handles are waitable, closing a handle does
// not stop the thread, critical sections may be entered again by their owner.
#include "platform/Threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace rundix {

namespace {

struct KernelObject {
  virtual ~KernelObject() = default;
  std::mutex mutex;
  std::condition_variable changed;
  bool signalled = false;
  bool autoReset = false;
};

struct ThreadObject : KernelObject {
  bool resumed = false;
  DWORD exitCode = STILL_ACTIVE;
};

// A handle is a box holding one reference to the object, so a thread that outlives its last
// handle keeps its own reference.
struct HandleBox {
  std::shared_ptr<KernelObject> object;
};

HandleBox* Box(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  return static_cast<HandleBox*>(h);
}

std::atomic<DWORD> g_nextThreadId{1000};

}  // namespace

HANDLE BeginThreadSuspended(ThreadProc proc, void* argument, DWORD* threadId) {
  if (proc == nullptr) {
    if (threadId) *threadId = 0;
    return nullptr;
  }
  auto state = std::make_shared<ThreadObject>();
  try {
    std::thread worker([state, proc, argument] {
      {
        std::unique_lock<std::mutex> lock(state->mutex);
        state->changed.wait(lock, [&] { return state->resumed; });
      }
      unsigned code = proc(argument);
      std::lock_guard<std::mutex> lock(state->mutex);
      state->exitCode = code;
      state->signalled = true;
      state->changed.notify_all();
    });
    worker.detach();
  } catch (...) {
    if (threadId) *threadId = 0;
    return nullptr;
  }
  if (threadId) *threadId = g_nextThreadId.fetch_add(4);
  return new HandleBox{state};
}

DWORD ResumeThreadHandle(HANDLE thread) {
  HandleBox* box = Box(thread);
  auto* state = box ? dynamic_cast<ThreadObject*>(box->object.get()) : nullptr;
  if (state == nullptr) return static_cast<DWORD>(-1);
  std::lock_guard<std::mutex> lock(state->mutex);
  DWORD previous = state->resumed ? 0 : 1;
  state->resumed = true;
  state->changed.notify_all();
  return previous;
}

DWORD WaitForHandle(HANDLE handle, DWORD milliseconds) {
  HandleBox* box = Box(handle);
  if (box == nullptr) return WAIT_FAILED;
  KernelObject& object = *box->object;
  std::unique_lock<std::mutex> lock(object.mutex);
  auto ready = [&] { return object.signalled; };
  if (milliseconds == INFINITE) {
    object.changed.wait(lock, ready);
  } else if (milliseconds == 0) {
    // A poll: a timed wait that has already expired still goes to sleep in the kernel once.
    if (!ready()) return WAIT_TIMEOUT;
  } else if (!object.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
    return WAIT_TIMEOUT;
  }
  if (object.autoReset) object.signalled = false;
  return WAIT_OBJECT_0;
}

bool GetThreadExitCode(HANDLE thread, DWORD* exitCode) {
  HandleBox* box = Box(thread);
  auto* state = box ? dynamic_cast<ThreadObject*>(box->object.get()) : nullptr;
  if (state == nullptr || exitCode == nullptr) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  *exitCode = state->exitCode;
  return true;
}

bool CloseKernelHandle(HANDLE handle) {
  HandleBox* box = Box(handle);
  if (box == nullptr) return false;
  delete box;
  return true;
}

HANDLE CreateEventHandle(bool manualReset, bool initialState) {
  auto event = std::make_shared<KernelObject>();
  event->autoReset = !manualReset;
  event->signalled = initialState;
  return new HandleBox{event};
}

bool SetEventHandle(HANDLE event) {
  HandleBox* box = Box(event);
  if (box == nullptr || dynamic_cast<ThreadObject*>(box->object.get()) != nullptr) return false;
  std::lock_guard<std::mutex> lock(box->object->mutex);
  box->object->signalled = true;
  box->object->changed.notify_all();
  return true;
}

bool ResetEventHandle(HANDLE event) {
  HandleBox* box = Box(event);
  if (box == nullptr || dynamic_cast<ThreadObject*>(box->object.get()) != nullptr) return false;
  std::lock_guard<std::mutex> lock(box->object->mutex);
  box->object->signalled = false;
  return true;
}

struct CriticalSection::Impl {
  std::recursive_mutex mutex;
};

CriticalSection::CriticalSection() : impl_(new Impl) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter() { impl_->mutex.lock(); }
void CriticalSection::Leave() { impl_->mutex.unlock(); }

}  // namespace rundix
