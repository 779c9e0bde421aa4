#include "app/WorkerThread.h"

#include <utility>

namespace rundix {

WorkerThread::WorkerThread(void* owner, Body body) : owner_(owner), body_(std::move(body)) {}

WorkerThread::~WorkerThread() { Close(); }

bool WorkerThread::Start() {
  if (!body_) return false;
  Close();
  DWORD id = 0;
  HANDLE h = BeginThreadSuspended(&WorkerThread::ThreadMain, this, &id);
  if (h == nullptr) {
    Close();
    return false;
  }
  handle_ = KernelHandle(h, KernelHandleCloser{}, INVALID_HANDLE_VALUE);
  threadId_ = id;
  running_ = true;
  if (ResumeThreadHandle(h) == static_cast<DWORD>(-1)) {
    Close();
    return false;
  }
  return true;
}

void WorkerThread::Close() {
  handle_.reset();
  threadId_ = 0;
  running_ = false;
}

bool WorkerThread::ExitCode(DWORD* code) const {
  return handle_.valid() && GetThreadExitCode(handle_.get(), code);
}

unsigned WorkerThread::ThreadMain(void* self) {
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
