#include "platform/Threads.h"

#include <process.h>

#include <type_traits>

namespace rundix {

static_assert(std::is_same_v<ThreadProc, _beginthreadex_proc_type>,
              "thread procedures must have the type _beginthreadex calls");

HANDLE BeginThreadSuspended(ThreadProc proc, void* argument, DWORD* threadId) {
  unsigned id = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, proc, argument, CREATE_SUSPENDED, &id);
  if (threadId) *threadId = h ? id : 0;
  return reinterpret_cast<HANDLE>(h);
}

DWORD ResumeThreadHandle(HANDLE thread) { return ::ResumeThread(thread); }
DWORD WaitForHandle(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}
bool GetThreadExitCode(HANDLE thread, DWORD* exitCode) {
  return ::GetExitCodeThread(thread, exitCode) != FALSE;
}
bool CloseKernelHandle(HANDLE handle) { return ::CloseHandle(handle) != FALSE; }

HANDLE CreateEventHandle(bool manualReset, bool initialState) {
  return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
}
bool SetEventHandle(HANDLE event) { return ::SetEvent(event) != FALSE; }
bool ResetEventHandle(HANDLE event) { return ::ResetEvent(event) != FALSE; }

struct CriticalSection::Impl {
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(new Impl) { ::InitializeCriticalSection(&impl_->section); }
CriticalSection::~CriticalSection() { ::DeleteCriticalSection(&impl_->section); }
void CriticalSection::Enter() { ::EnterCriticalSection(&impl_->section); }
void CriticalSection::Leave() { ::LeaveCriticalSection(&impl_->section); }

}  // namespace rundix
