// The WinHTTP-shaped request operations, the platform cookie store and the debugger output.
// Calls keep WinHTTP's shape and buffer rules: header texts come back as UTF-16LE bytes with
// byte counts, a size query fails with ERROR_INSUFFICIENT_BUFFER and the bytes needed, and
// indexed headers (Set-Cookie) run out with ERROR_WINHTTP_HEADER_NOT_FOUND.
#pragma once

#include <optional>
#include <string>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

// The WinHTTP names the client uses, spelled as the SDK spells them (winhttp.h itself is only
// included by the Windows implementation, before this header).
#ifndef __WINE_WINHTTP_H
#define WINHTTP_FLAG_SECURE                 0x00800000
#define WINHTTP_ACCESS_TYPE_DEFAULT_PROXY   0
#define WINHTTP_ACCESS_TYPE_NO_PROXY        1
#define WINHTTP_ACCESS_TYPE_NAMED_PROXY     3
#define WINHTTP_ADDREQ_FLAG_ADD_IF_NEW               0x10000000
#define WINHTTP_ADDREQ_FLAG_ADD                      0x20000000
#define WINHTTP_ADDREQ_FLAG_REPLACE                  0x80000000
#define WINHTTP_OPTION_CONNECT_TIMEOUT                3
#define WINHTTP_OPTION_SEND_TIMEOUT                   5
#define WINHTTP_OPTION_RECEIVE_TIMEOUT                6
#define WINHTTP_OPTION_SECURITY_FLAGS                31
#define WINHTTP_OPTION_DISABLE_FEATURE               63
#define WINHTTP_DISABLE_REDIRECTS                 0x00000002
#define WINHTTP_QUERY_CONTENT_TYPE                 1
#define WINHTTP_QUERY_CONTENT_LENGTH               5
#define WINHTTP_QUERY_STATUS_CODE                  19
#define WINHTTP_QUERY_RAW_HEADERS_CRLF             22
#define WINHTTP_QUERY_CONTENT_ENCODING             29
#define WINHTTP_QUERY_LOCATION                     33
#define WINHTTP_QUERY_SET_COOKIE                   43
#define WINHTTP_QUERY_FLAG_REQUEST_HEADERS         0x80000000
#define WINHTTP_QUERY_FLAG_NUMBER                  0x20000000
#define WINHTTP_ERROR_BASE                                  12000
#define ERROR_WINHTTP_TIMEOUT                               (WINHTTP_ERROR_BASE + 2)
#define ERROR_WINHTTP_INTERNAL_ERROR                        (WINHTTP_ERROR_BASE + 4)
#define ERROR_WINHTTP_INVALID_URL                           (WINHTTP_ERROR_BASE + 5)
#define ERROR_WINHTTP_UNRECOGNIZED_SCHEME                   (WINHTTP_ERROR_BASE + 6)
#define ERROR_WINHTTP_NAME_NOT_RESOLVED                     (WINHTTP_ERROR_BASE + 7)
#define ERROR_WINHTTP_INVALID_OPTION                        (WINHTTP_ERROR_BASE + 9)
#define ERROR_WINHTTP_OPERATION_CANCELLED                   (WINHTTP_ERROR_BASE + 17)
#define ERROR_WINHTTP_INCORRECT_HANDLE_TYPE                 (WINHTTP_ERROR_BASE + 18)
#define ERROR_WINHTTP_INCORRECT_HANDLE_STATE                (WINHTTP_ERROR_BASE + 19)
#define ERROR_WINHTTP_CANNOT_CONNECT                        (WINHTTP_ERROR_BASE + 29)
#define ERROR_WINHTTP_CONNECTION_ERROR                      (WINHTTP_ERROR_BASE + 30)
#define ERROR_WINHTTP_HEADER_NOT_FOUND                      (WINHTTP_ERROR_BASE + 150)
#define ERROR_WINHTTP_INVALID_SERVER_RESPONSE               (WINHTTP_ERROR_BASE + 152)
#define ERROR_WINHTTP_INVALID_HEADER                        (WINHTTP_ERROR_BASE + 153)
#define ERROR_WINHTTP_SECURE_FAILURE                        (WINHTTP_ERROR_BASE + 175)
#endif

namespace rundix {

// WinHTTP's scheme numbers (WinINet numbers its schemes differently, hence no SDK names here).
inline constexpr int kWinHttpSchemeHttp = 1;
inline constexpr int kWinHttpSchemeHttps = 2;
inline constexpr WORD kWinHttpDefaultHttpPort = 80;
inline constexpr WORD kWinHttpDefaultHttpsPort = 443;

// WINHTTP_OPTION_SECURITY_FLAGS bits (SECURITY_FLAG_IGNORE_*; the SDK's WinINet header spells
// some of them differently).
inline constexpr DWORD kSecurityFlagIgnoreUnknownCa = 0x00000100;
inline constexpr DWORD kSecurityFlagIgnoreCertWrongUsage = 0x00000200;
inline constexpr DWORD kSecurityFlagIgnoreCertCnInvalid = 0x00001000;
inline constexpr DWORD kSecurityFlagIgnoreCertDateInvalid = 0x00002000;

// What WinHttpGetIEProxyConfigForCurrentUser reports. The platform's strings are copied out
// and released at the seam.
struct WinHttpIeProxyConfig {
  bool autoDetect = false;
  std::wstring autoConfigUrl;
  std::wstring proxy;
  std::wstring proxyBypass;
};

// What WinHttpCrackUrl splits out when the scheme, host name and URL path are asked for and
// the extra information is not: `urlPath` runs from the start of the path to the end of the
// URL, query included.
struct WinHttpUrlParts {
  int scheme = 0;  // kWinHttpSchemeHttp, kWinHttpSchemeHttps
  std::wstring hostName;
  WORD port = 0;   // the explicit port, else the scheme's default
  std::wstring urlPath;
};

class IWinHttp {
 public:
  virtual ~IWinHttp() = default;

  // Error code of the calling thread's last failed call (GetLastError).
  virtual DWORD GetLastError() = 0;

  virtual BOOL WinHttpGetIEProxyConfigForCurrentUser(WinHttpIeProxyConfig* config) = 0;
  // A synchronous session. `proxy` and `bypass` are used with WINHTTP_ACCESS_TYPE_NAMED_PROXY
  // only. Null on failure.
  virtual HANDLE WinHttpOpen(const std::wstring& agent, DWORD accessType, const std::wstring& proxy,
                             const std::wstring& bypass, DWORD flags) = 0;
  virtual BOOL WinHttpCrackUrl(const std::wstring& url, DWORD flags, WinHttpUrlParts* parts) = 0;
  virtual HANDLE WinHttpConnect(HANDLE session, const std::wstring& serverName, WORD port) = 0;
  // No HTTP version (the default), no referrer, the default accept types.
  virtual HANDLE WinHttpOpenRequest(HANDLE connection, const std::wstring& verb,
                                    const std::wstring& objectName, DWORD flags) = 0;
  // Options whose value is one DWORD.
  virtual BOOL WinHttpQueryOption(HANDLE handle, DWORD option, DWORD* value) = 0;
  virtual BOOL WinHttpSetOption(HANDLE handle, DWORD option, DWORD value) = 0;
  // `headers` is one or more "Name: value" lines, taken whole (length -1).
  virtual BOOL WinHttpAddRequestHeaders(HANDLE request, const std::wstring& headers, DWORD modifiers) = 0;
  // No additional headers, context 0; `optional` may be null.
  virtual BOOL WinHttpSendRequest(HANDLE request, const void* optional, DWORD optionalLength,
                                  DWORD totalLength) = 0;
  virtual BOOL WinHttpReceiveResponse(HANDLE request) = 0;
  // By info level (WINHTTP_HEADER_NAME_BY_INDEX). Text arrives as UTF-16LE with a terminator;
  // *bufferBytes is the byte count without it on success and the bytes needed (terminator
  // included) with ERROR_INSUFFICIENT_BUFFER. WINHTTP_QUERY_FLAG_NUMBER fills one DWORD.
  // `index` (may be null) picks the occurrence and is advanced on success.
  virtual BOOL WinHttpQueryHeaders(HANDLE request, DWORD infoLevel, void* buffer, DWORD* bufferBytes,
                                   DWORD* index) = 0;
  virtual BOOL WinHttpQueryDataAvailable(HANDLE request, DWORD* available) = 0;
  virtual BOOL WinHttpReadData(HANDLE request, void* buffer, DWORD bytesToRead, DWORD* bytesRead) = 0;
  virtual BOOL WinHttpCloseHandle(HANDLE handle) = 0;

  // WinINet's cookie store. With `data` null *size receives the bytes needed; otherwise
  // *size is the buffer's capacity in characters and `data` receives UTF-16LE text with a
  // terminator. ERROR_NO_MORE_ITEMS when the URL has no cookies.
  virtual BOOL InternetGetCookieW(const std::wstring& url, const std::wstring* cookieName, BYTE* data,
                                  DWORD* size) = 0;

  // OutputDebugStringW: the HTTP client's one diagnostic line.
  virtual void OutputDebugStringW(const std::wstring& text) = 0;
};

struct WinHttpCloser {
  IWinHttp* http = nullptr;
  bool operator()(HANDLE h) const { return http->WinHttpCloseHandle(h) != FALSE; }
};
using WinHttpHandle = UniqueHandle<HANDLE, WinHttpCloser>;

inline WinHttpHandle OwnWinHttpHandle(IWinHttp& http, HANDLE h) {
  return WinHttpHandle(h, WinHttpCloser{&http}, nullptr);
}

// A header as text: the size query, then the value. Nothing when the header is absent or
// a query fails (the last error tells which). `index` as in WinHttpQueryHeaders.
std::optional<std::wstring> QueryWinHttpHeaderText(IWinHttp& http, HANDLE request, DWORD infoLevel,
                                                   DWORD* index = nullptr);
// A header as a number (WINHTTP_QUERY_FLAG_NUMBER).
std::optional<DWORD> QueryWinHttpHeaderNumber(IWinHttp& http, HANDLE request, DWORD infoLevel);

}  // namespace rundix
