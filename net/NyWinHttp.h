// The program's own synchronous HTTP client over WinHTTP: a fixed browser-like header set,
// cookies from the platform's store and from Set-Cookie replies, gzip and deflate bodies
// inflated with zlib, a status text while it works, and cancellation between steps through an
// event. One object serves one request at a time on the caller's thread; only the cancel event
// may be signalled from another thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Machine.h"
#include "platform/Threads.h"
#include "ui/KuBuffer.h"

namespace KUM {

// One cookie of the jar; unique by (domain, name), compared exactly.
struct NyCookie {
  std::wstring name;
  std::wstring value;
  std::wstring domain;
};

class NyWinHttp {
 public:
  // The first output buffer of DecodeBody: a reply that inflates to no more is decoded in one
  // pass.
  static constexpr unsigned kInitialInflateCapacity = 0x50000;
  // Inflating beyond this fails and the body stays as received: far above any reply of the
  // service, far below what a hostile reply could make us allocate.
  static constexpr unsigned kMaxInflatedBytes = 64u << 20;

  // The cookie jar holds at most this many cookies, each name and value together at most
  // kMaxCookieChars: a hostile reply's Set-Cookie lines cannot grow it (or the Cookie line
  // sent back) without end. Past the bound new cookies are dropped; known ones still update.
  static constexpr size_t kMaxCookies = 256;
  static constexpr size_t kMaxCookieChars = 4096;

  explicit NyWinHttp(rundix::Machine& machine);
  virtual ~NyWinHttp();
  NyWinHttp(const NyWinHttp&) = delete;
  NyWinHttp& operator=(const NyWinHttp&) = delete;

  // True only when the exchange ended with status 200 and the whole body was read (or, with
  // headersOnly, when the headers arrived). `cancel` (may be null) is the event that stops
  // the request between steps; the callers pass CancelEvent().
  bool Request(HANDLE cancel, std::wstring url, std::wstring postData = std::wstring());
  HANDLE CancelEvent() const { return cancelEvent.get(); }

  // The decoded body as narrow text ending at its first zero byte; no code-page conversion.
  std::string GetResponseText();
  // Inflates a gzip or deflate body in place, once per body.
  KuBuffer<unsigned char>& DecodeBody();
  // Inflates `body` into `output`, whose size is the starting capacity; the buffer is
  // replaced by a larger one (and decoding restarted) when it is too small, up to `maxBytes`.
  // True only when the stream ended; *decodedLength is then the count of bytes at the start
  // of `output`.
  static bool InflateHttpBody(const KuBuffer<unsigned char>& body, KuBuffer<unsigned char>& output,
                              bool rawDeflate, unsigned* decodedLength, unsigned maxBytes = kMaxInflatedBytes);

  // The receive progress: bytes x 100 / length in 64 bits (the product outgrows 32 bits
  // above 42 MB); 0 without a length.
  static int ReceivePercent(uint32_t bytesRead, uint32_t contentLength);

  // Cookies: a Cookie or Set-Cookie text into the jar; one record; the Cookie line for the
  // current host (also written to the debugger output and added to `request` when given);
  // every Set-Cookie of `request`.
  void ParseCookieString(const std::wstring& text);
  void AddCookie(const std::wstring& domain, const std::wstring& name, const std::wstring& value);
  std::wstring AddCookieHeader(HANDLE request);
  void CaptureSetCookies(HANDLE request);

  // The members, in their fixed order; the owner may set the options between
  // construction and Request.
  rundix::KernelHandle cancelEvent;  // manual reset, unnamed
  std::wstring referer;
  std::wstring extraHeaders;  // raw lines, cleared when Request returns
  std::wstring userAgent =
      L"Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.31 (KHTML, like Gecko) Chrome/26.0.1410.64 "
      L"Safari/537.31";
  KuBuffer<unsigned char> body;
  bool decoded = false;
  int32_t statusCode = 0;
  std::wstring contentType;
  std::wstring contentEncoding;
  std::wstring responseHeaders;
  std::wstring responseHeadersWork;
  std::wstring requestHeaders;
  std::wstring setCookie;
  uint32_t contentLength = 0;
  std::wstring requestTarget;
  std::wstring location;
  std::wstring accept = L"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  std::wstring connection = L"Keep-Alive";
  std::wstring acceptEncoding = L"gzip,deflate";
  std::wstring authorization;
  std::vector<NyCookie> cookieJar;
  std::wstring statusText;
  std::wstring host;
  bool followRedirects = true;
  int32_t connectTimeout = 10000;
  int32_t receiveTimeout = 10000;
  int32_t sendTimeout = 10000;
  bool headersOnly = false;
  std::wstring multipartBoundary;
  std::wstring url;
  std::wstring postData;
  int32_t retryLimit = 0;
  int32_t retryCount = 0;
  std::wstring hostHeader;

 private:
  enum class Outcome { kSucceeded, kFailed, kCancelled };
  Outcome Attempt(HANDLE cancel, bool firstAttempt);
  Outcome ReadBody(HANDLE cancel, HANDLE request);
  void ReadPlatformCookies();

  rundix::Machine& machine_;
};

}  // namespace KUM
