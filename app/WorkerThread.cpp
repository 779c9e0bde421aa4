#include "app/WorkerThread.h"

#include <utility>

namespace rundix {

WorkerThread::WorkerThread(void* owner, Body body) : owner_(owner), body_(std::move(body)) {}

WorkerThread::~WorkerThread() { Close(); }

bool WorkerThread::Start() {
  if (!body_) return false;
  // A second thread on one record would lose the first one's handle, and the first would
  // clear the second's running flag when it ends.
  if (ThreadStillRuns()) return false;
  Reset();
  DWORD id = 0;
  HANDLE h = BeginThreadSuspended(&WorkerThread::ThreadMain, this, &id);
  if (h == nullptr) {
    Reset();
    return false;
  }
  handle_ = KernelHandle(h, KernelHandleCloser{}, INVALID_HANDLE_VALUE);
  threadId_ = id;
  running_ = true;
  if (ResumeThreadHandle(h) == static_cast<DWORD>(-1)) {
    Reset();  // never resumed: the thread never touches the record
    return false;
  }
  return true;
}

void WorkerThread::Close() {
  if (handle_.valid()) WaitForHandle(handle_.get(), INFINITE);
  Reset();
}

void WorkerThread::Reset() {
  handle_.reset();
  threadId_ = 0;
  running_ = false;
}

bool WorkerThread::ThreadStillRuns() const {
  return handle_.valid() && WaitForHandle(handle_.get(), 0) == WAIT_TIMEOUT;
}

bool WorkerThread::ExitCode(DWORD* code) const {
  return handle_.valid() && GetThreadExitCode(handle_.get(), code);
}

unsigned WINAPI WorkerThread::ThreadMain(void* self) {
  auto* worker = static_cast<WorkerThread*>(self);
  worker->running_ = true;
  try {
    worker->body_(worker->owner_);
  } catch (...) {
    worker->running_ = false;
    return 1;
  }
  worker->running_ = false;
  return 0;
}

void ReplaceWorker(std::unique_ptr<WorkerThread>& slot) {
  if (slot && slot->HasHandle()) {
    if (WaitForHandle(slot->Handle(), INFINITE) == WAIT_OBJECT_0) slot->Close();
  }
  slot.reset();
}

}  // namespace rundix
