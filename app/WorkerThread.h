// The record behind every worker thread: the scan, the repair and the login window's two
// workers. A worker reaches its window only by posting messages and through the findings queue.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "platform/Threads.h"

namespace rundix {

class WorkerThread {
 public:
  using Body = std::function<void(void* owner)>;

  WorkerThread(void* owner, Body body);
  // The thread writes into its record until it ends: releasing a record first waits, without
  // a time limit, for a thread that still runs (as replacing a worker does).
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Creates the thread suspended, records its handle and id, sets the running flag and
  // resumes it. False when there is no body, the record's thread still runs (its handle and
  // flag stay as they are), or the thread cannot be made or resumed.
  bool Start();
  // Closes the handle and clears the id and the running flag; a thread that still runs is
  // waited for first, so it never outlives its handle in the record.
  void Close();

  bool IsRunning() const { return running_.load(); }
  DWORD ThreadId() const { return threadId_; }
  HANDLE Handle() const { return handle_.valid() ? handle_.get() : INVALID_HANDLE_VALUE; }
  bool HasHandle() const { return handle_.valid(); }
  // The thread's exit code: STILL_ACTIVE while it runs, 0 after a normal end, 1 when the body
  // threw. False without a thread.
  bool ExitCode(DWORD* code) const;

 private:
  static unsigned WINAPI ThreadMain(void* self);
  // True while the record holds a thread that has not ended.
  bool ThreadStillRuns() const;
  // Drops the handle without waiting: only for a thread that has ended or never ran.
  void Reset();

  void* owner_;
  Body body_;
  std::atomic<bool> running_{false};
  DWORD threadId_ = 0;
  KernelHandle handle_{INVALID_HANDLE_VALUE, KernelHandleCloser{}, INVALID_HANDLE_VALUE};
};

// Before a new worker of a kind starts, and in the close flow: wait without a time limit for
// the previous thread of that kind, close its handle and release the record.
void ReplaceWorker(std::unique_ptr<WorkerThread>& slot);

}  // namespace rundix
