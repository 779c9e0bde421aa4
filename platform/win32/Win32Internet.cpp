// WinINet's own header first: platform/Internet.h then leaves its numbers alone. The machine
// header is not included here, as WinHTTP's header (which it may reach) clashes with WinINet's.
#include <windows.h>
#include <wininet.h>

#include <memory>

#include "platform/Internet.h"

namespace rundix {

std::unique_ptr<IInternet> CreateWin32Internet();

namespace {

const wchar_t* OrNull(const std::wstring& s) { return s.empty() ? nullptr : s.c_str(); }
const char* OrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

class Win32Internet final : public IInternet {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }

  InternetHandleValue InternetOpenW(const std::wstring& agent, DWORD accessType, const std::wstring& proxy,
                                    const std::wstring& bypass, DWORD flags) override {
    return ::InternetOpenW(OrNull(agent), accessType, OrNull(proxy), OrNull(bypass), flags);
  }
  InternetHandleValue InternetOpenA(const std::string& agent, DWORD accessType, const std::string& proxy,
                                    const std::string& bypass, DWORD flags) override {
    return ::InternetOpenA(OrNull(agent), accessType, OrNull(proxy), OrNull(bypass), flags);
  }
  BOOL InternetSetOptionW(InternetHandleValue handle, DWORD option, DWORD value) override {
    return ::InternetSetOptionW(handle, option, &value, sizeof(value));
  }
  BOOL InternetSetOptionA(InternetHandleValue handle, DWORD option, DWORD value) override {
    return ::InternetSetOptionA(handle, option, &value, sizeof(value));
  }
  InternetHandleValue InternetOpenUrlW(InternetHandleValue session, const std::wstring& url,
                                       const std::wstring& headers, DWORD headersLength, DWORD flags,
                                       ULONG_PTR context) override {
    return ::InternetOpenUrlW(session, url.c_str(), OrNull(headers), headersLength, flags, context);
  }
  InternetHandleValue InternetOpenUrlA(InternetHandleValue session, const std::string& url,
                                       const std::string& headers, DWORD headersLength, DWORD flags,
                                       ULONG_PTR context) override {
    return ::InternetOpenUrlA(session, url.c_str(), OrNull(headers), headersLength, flags, context);
  }
  BOOL HttpQueryInfoW(InternetHandleValue request, DWORD infoLevel, void* buffer, DWORD* bufferBytes,
                      DWORD* index) override {
    return ::HttpQueryInfoW(request, infoLevel, buffer, bufferBytes, index);
  }
  BOOL InternetReadFile(InternetHandleValue request, void* buffer, DWORD bytes, DWORD* bytesRead) override {
    DWORD done = 0;
    BOOL ok = ::InternetReadFile(request, buffer, bytes, &done);
    if (bytesRead) *bytesRead = ok ? done : 0;
    return ok;
  }
  BOOL InternetCloseHandle(InternetHandleValue handle) override { return ::InternetCloseHandle(handle); }
};

}  // namespace

std::unique_ptr<IInternet> CreateWin32Internet() { return std::make_unique<Win32Internet>(); }

}  // namespace rundix
