// Worker threads, critical sections and events. Windows: _beginthreadex, ResumeThread,
// WaitForSingleObject and CRITICAL_SECTION; elsewhere the standard library with the same
// semantics (a thread starts suspended, handles are waitable, a critical section is recursive).
#pragma once

#include <memory>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

namespace rundix {

// A thread procedure in the convention _beginthreadex calls it with (__stdcall on 32-bit
// Windows): procedures are passed as they are, so the compiler checks every one.
using ThreadProc = unsigned(WINAPI*)(void* argument);

// _beginthreadex with CREATE_SUSPENDED: a suspended thread, its handle and id. Returns null
// (not INVALID_HANDLE_VALUE) when the thread cannot be created.
HANDLE BeginThreadSuspended(ThreadProc proc, void* argument, DWORD* threadId);
// Returns the previous suspend count, or (DWORD)-1 on failure.
DWORD ResumeThreadHandle(HANDLE thread);
DWORD WaitForHandle(HANDLE handle, DWORD milliseconds);
// STILL_ACTIVE while the thread runs.
bool GetThreadExitCode(HANDLE thread, DWORD* exitCode);
bool CloseKernelHandle(HANDLE handle);

// A manual- or auto-reset event; null on failure.
HANDLE CreateEventHandle(bool manualReset, bool initialState);
bool SetEventHandle(HANDLE event);
bool ResetEventHandle(HANDLE event);

struct KernelHandleCloser {
  bool operator()(HANDLE h) const { return CloseKernelHandle(h); }
};
using KernelHandle = UniqueHandle<HANDLE, KernelHandleCloser>;

// Recursive mutual exclusion within the process.
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter();
  void Leave();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionLock() { section_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace rundix
