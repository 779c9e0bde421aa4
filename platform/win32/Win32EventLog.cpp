#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32EventLog final : public IEventLog {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }

  HANDLE OpenEventLogW(const std::wstring& server, const std::wstring& logName) override {
    return ::OpenEventLogW(server.empty() ? nullptr : server.c_str(), logName.c_str());
  }

  BOOL ReadEventLogW(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD bufferBytes,
                     DWORD* bytesRead, DWORD* bytesNeeded) override {
    DWORD read = 0;
    DWORD needed = 0;
    BOOL ok = ::ReadEventLogW(log, flags, offset, buffer, bufferBytes, &read, &needed);
    if (bytesRead) *bytesRead = ok ? read : 0;
    if (bytesNeeded) *bytesNeeded = needed;
    return ok;
  }

  BOOL CloseEventLog(HANDLE log) override { return ::CloseEventLog(log); }
};

}  // namespace

std::unique_ptr<IEventLog> CreateWin32EventLog() { return std::make_unique<Win32EventLog>(); }

}  // namespace rundix
