// WinHTTP itself, WinINet's cookie store and the debugger output. winhttp.h comes first so
// that the names platform/WinHttp.h spells out are the SDK's.
#include <windows.h>
#include <winhttp.h>

#include <cstring>
#include <vector>

#include "platform/win32/Win32Machine.h"

// WinINet's header cannot share a translation unit with WinHTTP's: the one function needed
// from it is declared here.
extern "C" __declspec(dllimport) BOOL WINAPI InternetGetCookieW(LPCWSTR url, LPCWSTR cookieName,
                                                               LPWSTR cookieData, LPDWORD size);

namespace rundix {
namespace {

std::wstring TakeGlobalString(LPWSTR text) {
  std::wstring out = text ? std::wstring(text) : std::wstring();
  if (text) ::GlobalFree(text);
  return out;
}

class Win32WinHttp final : public IWinHttp {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }

  BOOL WinHttpGetIEProxyConfigForCurrentUser(WinHttpIeProxyConfig* config) override {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG raw;
    std::memset(&raw, 0, sizeof(raw));
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&raw)) return FALSE;
    // The strings are the caller's to release with GlobalFree.
    WinHttpIeProxyConfig out;
    out.autoDetect = raw.fAutoDetect != FALSE;
    out.autoConfigUrl = TakeGlobalString(raw.lpszAutoConfigUrl);
    out.proxy = TakeGlobalString(raw.lpszProxy);
    out.proxyBypass = TakeGlobalString(raw.lpszProxyBypass);
    if (config) *config = std::move(out);
    return TRUE;
  }

  HANDLE WinHttpOpen(const std::wstring& agent, DWORD accessType, const std::wstring& proxy,
                     const std::wstring& bypass, DWORD flags) override {
    bool named = accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    return ::WinHttpOpen(agent.c_str(), accessType, named ? proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                         named ? bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, flags);
  }

  BOOL WinHttpCrackUrl(const std::wstring& url, DWORD flags, WinHttpUrlParts* parts) override {
    URL_COMPONENTS c;
    std::memset(&c, 0, sizeof(c));
    c.dwStructSize = sizeof(c);
    // Lengths of -1: the parts point into the URL itself.
    c.dwSchemeLength = static_cast<DWORD>(-1);
    c.dwHostNameLength = static_cast<DWORD>(-1);
    c.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, flags, &c)) return FALSE;
    if (parts) {
      parts->scheme = c.nScheme;
      parts->hostName = c.lpszHostName ? std::wstring(c.lpszHostName, c.dwHostNameLength) : std::wstring();
      parts->port = c.nPort;
      // Without the extra information asked for separately, the path runs to the URL's end.
      parts->urlPath = c.lpszUrlPath ? std::wstring(c.lpszUrlPath) : std::wstring();
    }
    return TRUE;
  }

  HANDLE WinHttpConnect(HANDLE session, const std::wstring& serverName, WORD port) override {
    return ::WinHttpConnect(session, serverName.c_str(), port, 0);
  }

  HANDLE WinHttpOpenRequest(HANDLE connection, const std::wstring& verb, const std::wstring& objectName,
                            DWORD flags) override {
    return ::WinHttpOpenRequest(connection, verb.c_str(), objectName.c_str(), nullptr, WINHTTP_NO_REFERER,
                                WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  }

  BOOL WinHttpQueryOption(HANDLE handle, DWORD option, DWORD* value) override {
    DWORD v = 0;
    DWORD size = sizeof(v);
    if (!::WinHttpQueryOption(handle, option, &v, &size)) return FALSE;
    if (value) *value = v;
    return TRUE;
  }

  BOOL WinHttpSetOption(HANDLE handle, DWORD option, DWORD value) override {
    return ::WinHttpSetOption(handle, option, &value, sizeof(value));
  }

  BOOL WinHttpAddRequestHeaders(HANDLE request, const std::wstring& headers, DWORD modifiers) override {
    return ::WinHttpAddRequestHeaders(request, headers.c_str(), static_cast<DWORD>(-1), modifiers);
  }

  BOOL WinHttpSendRequest(HANDLE request, const void* optional, DWORD optionalLength,
                          DWORD totalLength) override {
    return ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<void*>(optional),
                                optionalLength, totalLength, 0);
  }

  BOOL WinHttpReceiveResponse(HANDLE request) override { return ::WinHttpReceiveResponse(request, nullptr); }

  BOOL WinHttpQueryHeaders(HANDLE request, DWORD infoLevel, void* buffer, DWORD* bufferBytes,
                           DWORD* index) override {
    // wchar_t is UTF-16 here: the bytes land in the caller's buffer as they are.
    return ::WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, buffer, bufferBytes,
                                 index);
  }

  BOOL WinHttpQueryDataAvailable(HANDLE request, DWORD* available) override {
    return ::WinHttpQueryDataAvailable(request, available);
  }

  BOOL WinHttpReadData(HANDLE request, void* buffer, DWORD bytesToRead, DWORD* bytesRead) override {
    return ::WinHttpReadData(request, buffer, bytesToRead, bytesRead);
  }

  BOOL WinHttpCloseHandle(HANDLE handle) override { return ::WinHttpCloseHandle(handle); }

  BOOL InternetGetCookieW(const std::wstring& url, const std::wstring* cookieName, BYTE* data,
                          DWORD* size) override {
    return ::InternetGetCookieW(url.c_str(), cookieName ? cookieName->c_str() : nullptr,
                                reinterpret_cast<LPWSTR>(data), size);
  }

  void OutputDebugStringW(const std::wstring& text) override { ::OutputDebugStringW(text.c_str()); }
};

}  // namespace

std::unique_ptr<IWinHttp> CreateWin32WinHttp() { return std::make_unique<Win32WinHttp>(); }

}  // namespace rundix
