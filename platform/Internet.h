// The WinINet-shaped request operations used to download installers and send reports.
// Handles are opened and closed in WinINet's order (session, then URL), and a body is read
// in the caller's chunks: nothing here ever holds a whole body.
#pragma once

#include <string>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

// WinINet's numbers for the calls below. The SDK header cannot be included here (it clashes
// with WinHTTP's), so they are given under their own names when nothing defined them before.
#ifndef INTERNET_OPEN_TYPE_PRECONFIG
#define INTERNET_OPEN_TYPE_PRECONFIG 0
#endif
#ifndef INTERNET_OPTION_CONNECT_TIMEOUT
#define INTERNET_OPTION_CONNECT_TIMEOUT 2
#endif
#ifndef INTERNET_OPTION_CONNECT_RETRIES
#define INTERNET_OPTION_CONNECT_RETRIES 3
#endif
#ifndef INTERNET_OPTION_RECEIVE_TIMEOUT
#define INTERNET_OPTION_RECEIVE_TIMEOUT 6
#endif
#ifndef INTERNET_FLAG_RELOAD
#define INTERNET_FLAG_RELOAD 0x80000000u
#endif
#ifndef INTERNET_FLAG_NO_CACHE_WRITE
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#endif
#ifndef INTERNET_FLAG_KEEP_CONNECTION
#define INTERNET_FLAG_KEEP_CONNECTION 0x00400000u
#endif
#ifndef HTTP_QUERY_CONTENT_LENGTH
#define HTTP_QUERY_CONTENT_LENGTH 5
#endif
#ifndef HTTP_QUERY_STATUS_CODE
#define HTTP_QUERY_STATUS_CODE 19
#endif
#ifndef HTTP_QUERY_FLAG_NUMBER
#define HTTP_QUERY_FLAG_NUMBER 0x20000000u
#endif
#ifndef ERROR_INTERNET_TIMEOUT
#define ERROR_INTERNET_TIMEOUT 12002L
#endif
#ifndef ERROR_INTERNET_UNRECOGNIZED_SCHEME
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#endif
#ifndef ERROR_INTERNET_NAME_NOT_RESOLVED
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#endif
#ifndef ERROR_INTERNET_INCORRECT_HANDLE_TYPE
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018L
#endif
#ifndef ERROR_INTERNET_CANNOT_CONNECT
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#endif
#ifndef ERROR_INTERNET_CONNECTION_RESET
#define ERROR_INTERNET_CONNECTION_RESET 12031L
#endif
#ifndef ERROR_HTTP_HEADER_NOT_FOUND
#define ERROR_HTTP_HEADER_NOT_FOUND 12150L
#endif
#ifndef ERROR_HTTP_INVALID_QUERY_REQUEST
#define ERROR_HTTP_INVALID_QUERY_REQUEST 12154L
#endif

namespace rundix {

using InternetHandleValue = void*;  // HINTERNET

class IInternet {
 public:
  virtual ~IInternet() = default;

  // Error code of the calling thread's last failed call (GetLastError).
  virtual DWORD GetLastError() = 0;

  // Empty strings stand for null arguments. Null on failure.
  virtual InternetHandleValue InternetOpenW(const std::wstring& agent, DWORD accessType,
                                            const std::wstring& proxy, const std::wstring& bypass,
                                            DWORD flags) = 0;
  virtual InternetHandleValue InternetOpenA(const std::string& agent, DWORD accessType,
                                            const std::string& proxy, const std::string& bypass,
                                            DWORD flags) = 0;
  // The numeric options (timeouts, retries): one DWORD.
  virtual BOOL InternetSetOptionW(InternetHandleValue handle, DWORD option, DWORD value) = 0;
  virtual BOOL InternetSetOptionA(InternetHandleValue handle, DWORD option, DWORD value) = 0;
  // Sends the request and waits for the response head; any status gives a handle. Null when
  // no response came. `headersLength` is WinINet's: (DWORD)-1 for a terminated string.
  virtual InternetHandleValue InternetOpenUrlW(InternetHandleValue session, const std::wstring& url,
                                               const std::wstring& headers, DWORD headersLength,
                                               DWORD flags, ULONG_PTR context) = 0;
  // `url` in the ANSI code page.
  virtual InternetHandleValue InternetOpenUrlA(InternetHandleValue session, const std::string& url,
                                               const std::string& headers, DWORD headersLength,
                                               DWORD flags, ULONG_PTR context) = 0;
  // HttpQueryInfoW. With HTTP_QUERY_FLAG_NUMBER `buffer` receives a DWORD; otherwise the
  // value as UTF-16LE text with a terminator, under Windows' buffer rules (too small:
  // ERROR_INSUFFICIENT_BUFFER and the bytes needed). A header the response lacks fails with
  // ERROR_HTTP_HEADER_NOT_FOUND.
  virtual BOOL HttpQueryInfoW(InternetHandleValue request, DWORD infoLevel, void* buffer,
                              DWORD* bufferBytes, DWORD* index) = 0;
  // Up to `bytes` body bytes. TRUE with 0 bytes read at the end of the body.
  virtual BOOL InternetReadFile(InternetHandleValue request, void* buffer, DWORD bytes,
                                DWORD* bytesRead) = 0;
  virtual BOOL InternetCloseHandle(InternetHandleValue handle) = 0;
};

struct InternetCloser {
  IInternet* internet = nullptr;
  bool operator()(InternetHandleValue h) const { return internet->InternetCloseHandle(h) != FALSE; }
};
using InternetHandle = UniqueHandle<InternetHandleValue, InternetCloser>;

inline InternetHandle OwnInternetHandle(IInternet& internet, InternetHandleValue h) {
  return InternetHandle(h, InternetCloser{&internet});
}

}  // namespace rundix
