#include "net/NyWinHttp.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <new>

#include "platform/CodePages.h"
#include "platform/Text.h"
#include "platform/WinHttp.h"

namespace KUM {

using rundix::IWinHttp;
using rundix::WinHttpHandle;

namespace {

constexpr wchar_t kStatusInit[] = L"正在进行 HTTP 组件初始化 ...";
constexpr wchar_t kStatusConnect[] = L"建立连接 ...";
constexpr wchar_t kStatusPrepare[] = L"准备发送请求 ...";
constexpr wchar_t kStatusSend[] = L"发送请求 ...";
constexpr wchar_t kStatusReceive[] = L"开始数据接收 ...";
constexpr wchar_t kStatusProgress[] = L"正在接收数据(%d%%) ...";
constexpr wchar_t kStatusStopped[] = L"已停止";

constexpr DWORD kAddOrReplace = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;
// SECURITY_FLAG_IGNORE_* for an unknown CA, wrong usage, a wrong name and a wrong date, and
// 0x80: certificate errors never stop a request.
constexpr DWORD kIgnoreCertificateErrors = rundix::kSecurityFlagIgnoreUnknownCa |
                                           rundix::kSecurityFlagIgnoreCertWrongUsage |
                                           rundix::kSecurityFlagIgnoreCertCnInvalid |
                                           rundix::kSecurityFlagIgnoreCertDateInvalid | 0x80;

bool Signalled(HANDLE event) {
  return event != nullptr && rundix::WaitForHandle(event, 0) == WAIT_OBJECT_0;
}

std::wstring TrimCookiePart(const std::wstring& s) {
  const wchar_t* blanks = L" \r\t\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::wstring::npos) return std::wstring();
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

// A decimal string-to-int: optional blanks and sign, then digits; 0 when there are none.
int32_t DecimalToInt(const std::wstring& text) {
  long value = std::wcstol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

std::wstring ProgressText(int percent) {
  wchar_t text[64];
  std::swprintf(text, 64, kStatusProgress, percent);
  return text;
}

}  // namespace

NyWinHttp::NyWinHttp(rundix::Machine& machine)
    : cancelEvent(rundix::CreateEventHandle(true, false), rundix::KernelHandleCloser{}, nullptr),
      machine_(machine) {}

NyWinHttp::~NyWinHttp() = default;

bool NyWinHttp::Request(HANDLE cancel, std::wstring requestUrl, std::wstring requestPostData) {
  retryCount = 0;
  url = std::move(requestUrl);
  postData = std::move(requestPostData);
  bool firstAttempt = true;
  Outcome outcome = Outcome::kFailed;
  for (;;) {
    try {
      outcome = Attempt(cancel, firstAttempt);
    } catch (const std::bad_alloc&) {
      // A body too large for memory fails the request like any other failure.
      statusText = kStatusStopped;
      outcome = Outcome::kFailed;
    }
    firstAttempt = false;
    if (outcome == Outcome::kSucceeded || retryCount >= retryLimit) break;
    ++retryCount;
  }
  extraHeaders.clear();
  return outcome == Outcome::kSucceeded;
}

NyWinHttp::Outcome NyWinHttp::Attempt(HANDLE cancel, bool firstAttempt) {
  IWinHttp& http = machine_.WinHttp();

  // A form body may ride in the URL after '@'.
  if (postData.empty()) {
    size_t at = url.find(L'@');
    if (at != std::wstring::npos) {
      postData = url.substr(at + 1);
      url.erase(at);
    }
  }
  decoded = false;

  WinHttpHandle session;
  WinHttpHandle connectionHandle;
  WinHttpHandle request;
  // Every early end is a failure or a cancellation; both show "stopped".
  auto stop = [&](Outcome outcome) {
    statusText = kStatusStopped;
    return outcome;
  };

  statusText = kStatusInit;
  if (Signalled(cancel)) return stop(Outcome::kCancelled);

  rundix::WinHttpIeProxyConfig proxy;
  if (http.WinHttpGetIEProxyConfigForCurrentUser(&proxy) && !proxy.proxy.empty()) {
    session = rundix::OwnWinHttpHandle(
        http, http.WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.proxy, L"<local>", 0));
  }
  if (!session) {
    session = rundix::OwnWinHttpHandle(
        http, http.WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, std::wstring(), std::wstring(), 0));
  }
  if (Signalled(cancel)) return stop(Outcome::kCancelled);
  if (!session) return stop(Outcome::kFailed);

  rundix::WinHttpUrlParts parts;
  bool secure = false;
  std::wstring path;
  host.clear();
  if (http.WinHttpCrackUrl(url, 0, &parts) &&
      (parts.scheme == rundix::kWinHttpSchemeHttp || parts.scheme == rundix::kWinHttpSchemeHttps)) {
    secure = parts.scheme == rundix::kWinHttpSchemeHttps;
    host = parts.hostName;
    path = parts.urlPath;
  }
  // The store's cookies take the request's host as their domain: read them once it is known.
  if (firstAttempt) ReadPlatformCookies();

  WORD port = parts.port != 0 ? parts.port
                              : (secure ? rundix::kWinHttpDefaultHttpsPort : rundix::kWinHttpDefaultHttpPort);
  statusText = kStatusConnect;
  connectionHandle = rundix::OwnWinHttpHandle(http, http.WinHttpConnect(session.get(), host, port));
  if (Signalled(cancel)) return stop(Outcome::kCancelled);
  if (!connectionHandle) return stop(Outcome::kFailed);

  bool post = !postData.empty();
  statusText = kStatusPrepare;
  request = rundix::OwnWinHttpHandle(
      http, http.WinHttpOpenRequest(connectionHandle.get(), post ? L"POST" : L"GET", path,
                                    secure ? WINHTTP_FLAG_SECURE : 0));
  if (Signalled(cancel)) return stop(Outcome::kCancelled);
  if (!request) return stop(Outcome::kFailed);

  if (secure) {
    DWORD flags = 0;
    http.WinHttpQueryOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags);
    if (!http.WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, flags | kIgnoreCertificateErrors)) {
      // WinHTTP refuses the whole value for a bit it does not know (0x80), and certificate
      // errors would then stop the request after all: ask again with the four it knows.
      http.WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, kIgnoreCertificateErrors & ~0x80u);
    }
  }
  if (connectTimeout > 0) {
    http.WinHttpSetOption(request.get(), WINHTTP_OPTION_CONNECT_TIMEOUT, static_cast<DWORD>(connectTimeout));
  }
  if (sendTimeout > 0) {
    http.WinHttpSetOption(request.get(), WINHTTP_OPTION_SEND_TIMEOUT, static_cast<DWORD>(sendTimeout));
  }
  if (receiveTimeout > 0) {
    http.WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, static_cast<DWORD>(receiveTimeout));
  }
  if (!followRedirects) {
    http.WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS);
  }

  auto addHeader = [&](const std::wstring& line) { http.WinHttpAddRequestHeaders(request.get(), line, kAddOrReplace); };
  if (post) {
    addHeader(multipartBoundary.empty() ? std::wstring(L"Content-Type: application/x-www-form-urlencoded")
                                        : L"Content-Type: multipart/form-data; boundary=" + multipartBoundary);
  }
  AddCookieHeader(request.get());
  if (!accept.empty()) addHeader(L"Accept:" + accept);
  if (!referer.empty()) addHeader(L"Referer:" + referer);
  if (!acceptEncoding.empty()) addHeader(L"Accept-Encoding:" + acceptEncoding);
  if (!connection.empty()) addHeader(L"Connection:" + connection);
  addHeader(L"Accept-Language:zh-cn");
  if (!authorization.empty()) addHeader(L"Authorization:" + authorization);
  // An empty "Host: " line would take away the Host header WinHTTP adds itself, and an
  // HTTP/1.1 server refuses a request without one: the line goes out only with a value.
  if (!hostHeader.empty()) addHeader(L"Host: " + hostHeader);
  if (!extraHeaders.empty()) addHeader(extraHeaders);

  if (Signalled(cancel)) return stop(Outcome::kCancelled);
  statusText = kStatusSend;
  BOOL sent = FALSE;
  if (post) {
    // Form bodies go out in the system's ANSI code page.
    std::string data = rundix::AnsiFromWide(machine_.CodePages(), postData);
    DWORD length = static_cast<DWORD>(data.size());
    sent = http.WinHttpSendRequest(request.get(), data.data(), length, length);
  } else {
    sent = http.WinHttpSendRequest(request.get(), nullptr, 0, 0);
  }
  if (Signalled(cancel)) return stop(Outcome::kCancelled);
  if (!sent) return stop(Outcome::kFailed);

  statusText = kStatusReceive;
  BOOL received = http.WinHttpReceiveResponse(request.get());
  if (Signalled(cancel)) return stop(Outcome::kCancelled);
  if (!received) return stop(Outcome::kFailed);

  contentLength = 0;
  body.Clear();
  statusCode = DecimalToInt(
      rundix::QueryWinHttpHeaderText(http, request.get(), WINHTTP_QUERY_STATUS_CODE).value_or(std::wstring()));
  location.clear();

  if (statusCode == 200) {
    auto text = [&](DWORD level) {
      return rundix::QueryWinHttpHeaderText(http, request.get(), level).value_or(std::wstring());
    };
    contentType = text(WINHTTP_QUERY_CONTENT_TYPE);
    contentEncoding = text(WINHTTP_QUERY_CONTENT_ENCODING);
    responseHeaders = text(WINHTTP_QUERY_RAW_HEADERS_CRLF);
    responseHeadersWork = responseHeaders;
    requestHeaders = text(WINHTTP_QUERY_RAW_HEADERS_CRLF | WINHTTP_QUERY_FLAG_REQUEST_HEADERS);
    contentLength = rundix::QueryWinHttpHeaderNumber(http, request.get(), WINHTTP_QUERY_CONTENT_LENGTH).value_or(0);
    setCookie = text(WINHTTP_QUERY_SET_COOKIE);
    requestTarget.clear();
    size_t first = requestHeaders.find(L' ');
    if (first != std::wstring::npos) {
      size_t second = requestHeaders.find(L' ', first + 1);
      requestTarget = requestHeaders.substr(first + 1, second == std::wstring::npos ? std::wstring::npos
                                                                                    : second - first - 1);
    }
    CaptureSetCookies(request.get());
    if (headersOnly) return Outcome::kSucceeded;
    Outcome outcome = ReadBody(cancel, request.get());
    return outcome == Outcome::kSucceeded ? outcome : stop(outcome);
  }
  if (statusCode == 302) {
    location = rundix::QueryWinHttpHeaderText(http, request.get(), WINHTTP_QUERY_LOCATION).value_or(std::wstring());
  }
  return stop(Outcome::kFailed);
}

NyWinHttp::Outcome NyWinHttp::ReadBody(HANDLE cancel, HANDLE request) {
  IWinHttp& http = machine_.WinHttp();
  uint32_t bytesRead = 0;
  int percent = 0;
  if (Signalled(cancel)) return Outcome::kCancelled;
  bool allSucceeded = true;
  for (;;) {
    statusText = ProgressText(percent);
    DWORD available = 0;
    if (!http.WinHttpQueryDataAvailable(request, &available)) allSucceeded = false;
    if (!allSucceeded || available == 0) break;
    // A body past 4 GiB cannot be held: the request fails rather than wrap its count.
    if (available > UINT32_MAX - bytesRead) {
      allSucceeded = false;
      break;
    }
    body.Resize(bytesRead + available);
    DWORD got = 0;
    if (!http.WinHttpReadData(request, body.GetData() + bytesRead, available, &got) || got > available) {
      allSucceeded = false;
      break;
    }
    // Count what arrived, so a short read leaves no zero-filled gap in the body.
    bytesRead += got;
    if (got < available) body.Resize(bytesRead);
    if (contentLength != 0) percent = ReceivePercent(bytesRead, contentLength);
    if (Signalled(cancel)) return Outcome::kCancelled;
  }
  return allSucceeded ? Outcome::kSucceeded : Outcome::kFailed;
}

int NyWinHttp::ReceivePercent(uint32_t bytesRead, uint32_t length) {
  if (length == 0) return 0;
  return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(bytesRead) * 100u / length, INT32_MAX));
}

void NyWinHttp::ReadPlatformCookies() {
  IWinHttp& http = machine_.WinHttp();
  DWORD size = 0;
  http.InternetGetCookieW(url, nullptr, nullptr, &size);
  if (size == 0) return;
  // size + 1 characters, zero-filled: the text always ends inside the buffer.
  std::vector<BYTE> buffer((static_cast<size_t>(size) + 1) * 2, 0);
  DWORD capacity = size;
  if (!http.InternetGetCookieW(url, nullptr, buffer.data(), &capacity)) return;
  ParseCookieString(rundix::WideFromUtf16Le(buffer.data(), buffer.size()));
}

void NyWinHttp::ParseCookieString(const std::wstring& text) {
  std::vector<std::wstring> tokens;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L';', start);
    if (end == std::wstring::npos) end = text.size();
    tokens.push_back(TrimCookiePart(text.substr(start, end - start)));
    start = end + 1;
  }
  // Only an attribute named "domain" names the domain; a value that merely contains
  // "domain=" does not.
  std::wstring domain;
  for (const std::wstring& token : tokens) {
    size_t eq = token.find(L'=');
    if (eq != std::wstring::npos && rundix::EqualsNoCase(TrimCookiePart(token.substr(0, eq)), L"domain")) {
      domain = token.substr(eq + 1);
    }
  }
  if (domain.empty() || domain == L"/" || domain == L"\\") domain = host;
  for (const std::wstring& token : tokens) {
    size_t eq = token.find(L'=');
    std::wstring name = TrimCookiePart(token.substr(0, eq));
    std::wstring value = eq == std::wstring::npos ? std::wstring() : TrimCookiePart(token.substr(eq + 1));
    if (name.empty()) continue;
    AddCookie(domain, name, value);
  }
}

void NyWinHttp::AddCookie(const std::wstring& domain, const std::wstring& name, const std::wstring& value) {
  if (name.size() + value.size() > kMaxCookieChars || domain.size() > kMaxCookieChars) return;
  for (NyCookie& cookie : cookieJar) {
    if (cookie.domain == domain && cookie.name == name) {
      cookie.value = value;
      return;
    }
  }
  if (cookieJar.size() >= kMaxCookies) return;
  cookieJar.push_back(NyCookie{name, value, domain});
}

std::wstring NyWinHttp::AddCookieHeader(HANDLE request) {
  std::wstring lowerHost = rundix::ToLowerWide(host);
  std::wstring line;
  for (const NyCookie& cookie : cookieJar) {
    std::wstring domain = rundix::ToLowerWide(cookie.domain);
    // A record without a domain, or a request without a host, matches nothing: such a
    // cookie would otherwise go to every host.
    bool send = !domain.empty() && !lowerHost.empty() &&
                (lowerHost.find(domain) != std::wstring::npos || domain.find(lowerHost) != std::wstring::npos);
    if (!send) continue;
    line += line.empty() ? L"Cookie: " : L"; ";
    line += cookie.name + L"=" + cookie.value;
  }
  IWinHttp& http = machine_.WinHttp();
  http.OutputDebugStringW(line);
  if (request != nullptr) http.WinHttpAddRequestHeaders(request, line, kAddOrReplace);
  return line;
}

void NyWinHttp::CaptureSetCookies(HANDLE request) {
  IWinHttp& http = machine_.WinHttp();
  for (DWORD index = 0;; ) {
    DWORD probe = index;
    DWORD bytes = 0;
    http.WinHttpQueryHeaders(request, WINHTTP_QUERY_SET_COOKIE, nullptr, &bytes, &probe);
    DWORD error = http.GetLastError();
    if (error == ERROR_WINHTTP_HEADER_NOT_FOUND || error == ERROR_WINHTTP_INCORRECT_HANDLE_STATE ||
        error == ERROR_WINHTTP_INCORRECT_HANDLE_TYPE || error == ERROR_WINHTTP_INTERNAL_ERROR ||
        error == ERROR_NOT_ENOUGH_MEMORY || bytes == 0) {
      return;
    }
    std::vector<BYTE> buffer(static_cast<size_t>(bytes) + 2, 0);
    DWORD capacity = bytes;
    DWORD before = index;
    if (!http.WinHttpQueryHeaders(request, WINHTTP_QUERY_SET_COOKIE, buffer.data(), &capacity, &index)) return;
    std::wstring value = rundix::WideFromUtf16Le(buffer.data(), std::min<size_t>(capacity, bytes));
    if (value.empty()) return;
    ParseCookieString(value);
    // The platform advances the index; never ask for the same value twice.
    if (index == before) ++index;
  }
}

KuBuffer<unsigned char>& NyWinHttp::DecodeBody() {
  if (decoded || body.IsEmpty()) return body;
  bool gzip = rundix::ContainsNoCase(contentEncoding, L"gzip");
  if (!gzip && !rundix::ContainsNoCase(contentEncoding, L"deflate")) {
    decoded = true;
    return body;
  }
  KuBuffer<unsigned char> output(kInitialInflateCapacity);
  unsigned length = 0;
  if (InflateHttpBody(body, output, !gzip, &length)) {
    output.Resize(length);
    body = std::move(output);
  }
  decoded = true;
  return body;
}

bool NyWinHttp::InflateHttpBody(const KuBuffer<unsigned char>& input, KuBuffer<unsigned char>& output,
                                bool rawDeflate, unsigned* decodedLength, unsigned maxBytes) {
  if (decodedLength) *decodedLength = 0;
  const unsigned inputLength = input.GetSize();
  if (inputLength == 0) return false;
  unsigned capacity = std::min(output.GetSize(), maxBytes);
  if (capacity == 0) return false;
  if (capacity != output.GetSize()) output.Resize(capacity);
  // gzip: a gzip or zlib header, detected; deflate: raw data without a header. A "deflate"
  // body in the common zlib-wrapped form is tried again from the start with a zlib header.
  int windowBits = rawDeflate ? -15 : 15 + 32;
  bool zlibRetried = false;

  for (;;) {  // one pass per output capacity and header mode
    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(input.GetData());
    zs.next_out = output.GetData();
    bool restart = false;
    bool ok = false;
    for (;;) {
      // One byte in and one byte out per call. Once all input is in, zlib may still hold
      // output: keep calling until the stream ends. A buffer full at the cap gets no more
      // room; the stream may still end there.
      zs.avail_in = zs.total_in < inputLength ? 1 : 0;
      zs.avail_out = zs.total_out < capacity ? 1 : 0;
      int rc = inflate(&zs, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        ok = true;
        break;
      }
      if (rc == Z_DATA_ERROR) {
        if (!zlibRetried && windowBits != 15) {
          zlibRetried = true;
          windowBits = 15;
          restart = true;
        }
        break;
      }
      bool full = zs.total_out >= capacity;
      if (((rc == Z_OK || rc == Z_BUF_ERROR) && full) || rc == Z_STREAM_ERROR) {
        if (capacity >= maxBytes) {
          if (rc == Z_OK) continue;  // input still being taken without output
          break;                     // past the cap: a bomb
        }
        unsigned wanted = std::max<unsigned>(capacity, static_cast<unsigned>(zs.total_out));
        capacity = wanted > maxBytes / 2 ? maxBytes : wanted * 2;
        output.Clear();
        output.Resize(capacity);
        restart = true;
        break;
      }
      if (rc == Z_OK) continue;
      // Z_BUF_ERROR with all input used: the stream was cut short. Anything else: broken.
      break;
    }
    unsigned produced = static_cast<unsigned>(zs.total_out);
    inflateEnd(&zs);
    if (ok) {
      if (decodedLength) *decodedLength = produced;
      return true;
    }
    if (!restart) return false;
  }
}

std::string NyWinHttp::GetResponseText() {
  KuBuffer<unsigned char>& decodedBody = DecodeBody();
  const unsigned char* data = decodedBody.GetData();
  unsigned size = decodedBody.GetSize();
  unsigned end = 0;
  while (end < size && data[end] != 0) ++end;
  return std::string(reinterpret_cast<const char*>(data), end);
}

}  // namespace KUM
