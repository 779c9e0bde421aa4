// The simulated WinHTTP: sessions, connections and requests are handles of this object, and
// a request goes out over libcurl (CurlRequest) when it is sent. What the client can observe
// follows WinHTTP: the request headers come back as sent, redirects are followed unless
// disabled, a certificate error fails the request unless its security flags ignore it, an
// added header with ADD|REPLACE replaces one of the same name and an empty value removes it.
//
// Description keys:
//   "ie_proxy": {"proxy": "host:port", "bypass": "<local>", "auto_detect": false,
//                "auto_config_url": ""}        what the current user's proxy settings say
//   "cookies": [{"domain": "127.0.0.1", "path": "/", "name": "sid", "value": "x"}]
//                                               WinINet's cookie store (InternetGetCookieW)
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Text.h"
#include "platform/sim/CurlRequest.h"
#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

struct StoredCookie {
  std::wstring domain;
  std::wstring path;
  std::wstring name;
  std::wstring value;
};

struct Session {
  std::string agent;
  DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
  std::wstring proxy;
  std::wstring bypass;
  DWORD connectTimeout = 60000;
  DWORD sendTimeout = 30000;
  DWORD receiveTimeout = 30000;
};

struct Connection {
  std::shared_ptr<Session> session;
  std::wstring host;
  WORD port = 0;
};

struct Header {
  std::string name;
  std::string value;
};

struct Request {
  std::shared_ptr<Connection> connection;
  std::string verb;
  std::string target;  // escaped path and query
  bool secure = false;
  DWORD securityFlags = 0;
  DWORD connectTimeout = 60000;
  DWORD sendTimeout = 30000;
  DWORD receiveTimeout = 30000;
  bool redirects = true;
  std::vector<Header> headers;
  std::unique_ptr<CurlRequest> exchange;
  bool sent = false;
};

struct HandleObject {
  std::shared_ptr<Session> session;
  std::shared_ptr<Connection> connection;
  std::shared_ptr<Request> request;
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// Header bytes as WinHTTP hands them to a wide caller: one character per byte.
std::wstring WidenBytes(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
  return out;
}

std::string EscapeTarget(const std::wstring& path) { return EscapeRequestTarget(Utf8FromWide(path)); }

bool ParsePort(const std::wstring& text, WORD* port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<WORD>(value);
  return true;
}

// "<local>" in the bypass list: host names without a dot go direct.
bool BypassesProxy(const std::wstring& bypass, const std::wstring& host) {
  std::wstring lower = ToLowerWide(bypass);
  std::wstring lowerHost = ToLowerWide(host);
  size_t start = 0;
  while (start <= lower.size()) {
    size_t end = lower.find_first_of(L"; ", start);
    if (end == std::wstring::npos) end = lower.size();
    std::wstring entry = lower.substr(start, end - start);
    if (entry == L"<local>" && lowerHost.find(L'.') == std::wstring::npos) return true;
    if (!entry.empty() && entry != L"<local>") {
      if (entry[0] == L'*') {
        std::wstring tail = entry.substr(1);
        if (lowerHost.size() >= tail.size() &&
            lowerHost.compare(lowerHost.size() - tail.size(), tail.size(), tail) == 0) {
          return true;
        }
      } else if (entry == lowerHost) {
        return true;
      }
    }
    start = end + 1;
  }
  return false;
}

// A proxy list as the proxy settings write it: "host:port" for every scheme, or
// "http=host:port;https=host:port".
std::wstring ProxyForScheme(const std::wstring& list, bool secure) {
  if (list.find(L'=') == std::wstring::npos) return list;
  std::wstring wanted = secure ? L"https=" : L"http=";
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find_first_of(L"; ", start);
    if (end == std::wstring::npos) end = list.size();
    std::wstring entry = list.substr(start, end - start);
    if (ToLowerWide(entry).rfind(wanted, 0) == 0) return entry.substr(wanted.size());
    start = end + 1;
  }
  return std::wstring();
}

DWORD ErrorFromCurl(const CurlRequest& exchange) {
  switch (exchange.LastFailure()) {
    case CurlRequest::Failure::kResolve: return ERROR_WINHTTP_NAME_NOT_RESOLVED;
    case CurlRequest::Failure::kConnect: return ERROR_WINHTTP_CANNOT_CONNECT;
    case CurlRequest::Failure::kTimeout: return ERROR_WINHTTP_TIMEOUT;
    default: break;
  }
  std::string lower = ToLowerAscii(exchange.Error());
  if (lower.find("ssl") != std::string::npos || lower.find("certificate") != std::string::npos) {
    return ERROR_WINHTTP_SECURE_FAILURE;
  }
  if (lower.find("timeout") != std::string::npos) return ERROR_WINHTTP_TIMEOUT;
  return ERROR_WINHTTP_CONNECTION_ERROR;
}

BOOL Fail(DWORD error) {
  SimLastError() = error;
  return FALSE;
}

class SimWinHttp final : public IWinHttp {
 public:
  SimWinHttp(SimJournal& journal, WinHttpIeProxyConfig proxy, std::vector<StoredCookie> cookies)
      : journal_(journal), proxyConfig_(std::move(proxy)), cookies_(std::move(cookies)) {}

  DWORD GetLastError() override { return SimLastError(); }

  BOOL WinHttpGetIEProxyConfigForCurrentUser(WinHttpIeProxyConfig* config) override {
    if (!config) return Fail(ERROR_INVALID_PARAMETER);
    *config = proxyConfig_;
    return TRUE;
  }

  HANDLE WinHttpOpen(const std::wstring& agent, DWORD accessType, const std::wstring& proxy,
                     const std::wstring& bypass, DWORD flags) override {
    // Only synchronous sessions exist here.
    if (flags != 0) return FailHandle(ERROR_INVALID_PARAMETER);
    if (accessType != WINHTTP_ACCESS_TYPE_DEFAULT_PROXY && accessType != WINHTTP_ACCESS_TYPE_NO_PROXY &&
        accessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
      return FailHandle(ERROR_INVALID_PARAMETER);
    }
    if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && proxy.empty()) {
      return FailHandle(ERROR_INVALID_PARAMETER);
    }
    auto session = std::make_shared<Session>();
    session->agent = Utf8FromWide(agent);
    session->accessType = accessType;
    if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
      session->proxy = proxy;
      session->bypass = bypass;
    }
    return Add(HandleObject{session, nullptr, nullptr});
  }

  BOOL WinHttpCrackUrl(const std::wstring& url, DWORD /*flags*/, WinHttpUrlParts* parts) override {
    if (!parts) return Fail(ERROR_INVALID_PARAMETER);
    size_t colon = url.find(L"://");
    if (colon == std::wstring::npos) return Fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    std::wstring scheme = ToLowerWide(url.substr(0, colon));
    WinHttpUrlParts out;
    if (scheme == L"http") {
      out.scheme = kWinHttpSchemeHttp;
      out.port = kWinHttpDefaultHttpPort;
    } else if (scheme == L"https") {
      out.scheme = kWinHttpSchemeHttps;
      out.port = kWinHttpDefaultHttpsPort;
    } else {
      return Fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    }
    size_t authorityStart = colon + 3;
    size_t authorityEnd = url.find_first_of(L"/?", authorityStart);
    if (authorityEnd == std::wstring::npos) authorityEnd = url.size();
    std::wstring authority = url.substr(authorityStart, authorityEnd - authorityStart);
    size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) authority = authority.substr(at + 1);
    size_t portColon = authority.rfind(L':');
    if (portColon != std::wstring::npos && authority.find(L']', portColon) == std::wstring::npos) {
      if (!ParsePort(authority.substr(portColon + 1), &out.port)) return Fail(ERROR_WINHTTP_INVALID_URL);
      authority = authority.substr(0, portColon);
    }
    if (authority.empty()) return Fail(ERROR_WINHTTP_INVALID_URL);
    out.hostName = authority;
    out.urlPath = url.substr(authorityEnd);
    *parts = std::move(out);
    return TRUE;
  }

  HANDLE WinHttpConnect(HANDLE session, const std::wstring& serverName, WORD port) override {
    HandleObject object;
    if (!Find(session, &object)) return FailHandle(ERROR_INVALID_HANDLE);
    if (!object.session) return FailHandle(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    if (serverName.empty()) return FailHandle(ERROR_INVALID_PARAMETER);
    auto connection = std::make_shared<Connection>();
    connection->session = object.session;
    connection->host = serverName;
    connection->port = port;
    return Add(HandleObject{nullptr, connection, nullptr});
  }

  HANDLE WinHttpOpenRequest(HANDLE connection, const std::wstring& verb, const std::wstring& objectName,
                            DWORD flags) override {
    HandleObject object;
    if (!Find(connection, &object)) return FailHandle(ERROR_INVALID_HANDLE);
    if (!object.connection) return FailHandle(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    auto request = std::make_shared<Request>();
    request->connection = object.connection;
    request->verb = verb.empty() ? "GET" : Utf8FromWide(verb);
    std::wstring path = objectName.empty() ? L"/" : objectName;
    if (path[0] != L'/' && path != L"*") path = L"/" + path;
    request->target = EscapeTarget(path);
    request->secure = (flags & WINHTTP_FLAG_SECURE) != 0;
    // The Host header is the request's from the start, so a caller can replace or remove it.
    WORD defaultPort = request->secure ? kWinHttpDefaultHttpsPort : kWinHttpDefaultHttpPort;
    WORD port = object.connection->port != 0 ? object.connection->port : defaultPort;
    std::string hostValue = Utf8FromWide(object.connection->host);
    if (port != defaultPort) hostValue += ":" + std::to_string(port);
    request->headers.push_back(Header{"Host", hostValue});
    const Session& session = *object.connection->session;
    request->connectTimeout = session.connectTimeout;
    request->sendTimeout = session.sendTimeout;
    request->receiveTimeout = session.receiveTimeout;
    return Add(HandleObject{nullptr, nullptr, request});
  }

  BOOL WinHttpQueryOption(HANDLE handle, DWORD option, DWORD* value) override {
    HandleObject object;
    if (!Find(handle, &object)) return Fail(ERROR_INVALID_HANDLE);
    if (!value) return Fail(ERROR_INVALID_PARAMETER);
    if (object.request) {
      Request& r = *object.request;
      switch (option) {
        case WINHTTP_OPTION_SECURITY_FLAGS: *value = r.securityFlags; return TRUE;
        case WINHTTP_OPTION_CONNECT_TIMEOUT: *value = r.connectTimeout; return TRUE;
        case WINHTTP_OPTION_SEND_TIMEOUT: *value = r.sendTimeout; return TRUE;
        case WINHTTP_OPTION_RECEIVE_TIMEOUT: *value = r.receiveTimeout; return TRUE;
        default: return Fail(ERROR_WINHTTP_INVALID_OPTION);
      }
    }
    if (object.session) {
      Session& s = *object.session;
      switch (option) {
        case WINHTTP_OPTION_CONNECT_TIMEOUT: *value = s.connectTimeout; return TRUE;
        case WINHTTP_OPTION_SEND_TIMEOUT: *value = s.sendTimeout; return TRUE;
        case WINHTTP_OPTION_RECEIVE_TIMEOUT: *value = s.receiveTimeout; return TRUE;
        case WINHTTP_OPTION_SECURITY_FLAGS: return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
        default: return Fail(ERROR_WINHTTP_INVALID_OPTION);
      }
    }
    return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  }

  BOOL WinHttpSetOption(HANDLE handle, DWORD option, DWORD value) override {
    HandleObject object;
    if (!Find(handle, &object)) return Fail(ERROR_INVALID_HANDLE);
    DWORD* connect = nullptr;
    DWORD* send = nullptr;
    DWORD* receive = nullptr;
    if (object.request) {
      connect = &object.request->connectTimeout;
      send = &object.request->sendTimeout;
      receive = &object.request->receiveTimeout;
    } else if (object.session) {
      connect = &object.session->connectTimeout;
      send = &object.session->sendTimeout;
      receive = &object.session->receiveTimeout;
    } else {
      return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    }
    switch (option) {
      case WINHTTP_OPTION_CONNECT_TIMEOUT: *connect = value; return TRUE;
      case WINHTTP_OPTION_SEND_TIMEOUT: *send = value; return TRUE;
      case WINHTTP_OPTION_RECEIVE_TIMEOUT: *receive = value; return TRUE;
      case WINHTTP_OPTION_SECURITY_FLAGS: {
        if (!object.request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
        // Only the four certificate errors can be ignored; any other bit refuses the value.
        const DWORD accepted = kSecurityFlagIgnoreUnknownCa | kSecurityFlagIgnoreCertWrongUsage |
                               kSecurityFlagIgnoreCertCnInvalid | kSecurityFlagIgnoreCertDateInvalid;
        if (value & ~accepted) return Fail(ERROR_INVALID_PARAMETER);
        object.request->securityFlags = value;
        return TRUE;
      }
      case WINHTTP_OPTION_DISABLE_FEATURE:
        if (!object.request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
        if (value & WINHTTP_DISABLE_REDIRECTS) object.request->redirects = false;
        return TRUE;
      default:
        return Fail(ERROR_WINHTTP_INVALID_OPTION);
    }
  }

  BOOL WinHttpAddRequestHeaders(HANDLE request, const std::wstring& headers, DWORD modifiers) override {
    HandleObject object;
    if (!Find(request, &object)) return Fail(ERROR_INVALID_HANDLE);
    if (!object.request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    if (headers.empty()) return Fail(ERROR_INVALID_PARAMETER);
    std::string text = Utf8FromWide(headers);
    std::vector<Header> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      start = end + 1;
      if (line.empty()) continue;
      size_t colon = line.find(':');
      if (colon == std::string::npos || Trim(line.substr(0, colon)).empty()) {
        return Fail(ERROR_WINHTTP_INVALID_HEADER);
      }
      lines.push_back(Header{Trim(line.substr(0, colon)), Trim(line.substr(colon + 1))});
    }
    std::vector<Header>& list = object.request->headers;
    for (Header& h : lines) {
      auto same = std::find_if(list.begin(), list.end(),
                               [&](const Header& x) { return EqualsNoCaseAscii(x.name, h.name); });
      if (same != list.end()) {
        if (modifiers & WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) continue;
        if (modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) {
          if (h.value.empty()) {
            list.erase(same);
          } else {
            same->value = h.value;
          }
          continue;
        }
        list.push_back(h);
      } else if ((modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) && h.value.empty()) {
        // Replacing a header that is not there with nothing leaves nothing to add.
        continue;
      } else {
        list.push_back(h);
      }
    }
    return TRUE;
  }

  BOOL WinHttpSendRequest(HANDLE request, const void* optional, DWORD optionalLength,
                          DWORD totalLength) override {
    HandleObject object;
    if (!Find(request, &object)) return Fail(ERROR_INVALID_HANDLE);
    if (!object.request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    Request& r = *object.request;
    if (r.sent) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    // Bodies written later with WinHttpWriteData do not exist here.
    if (totalLength != optionalLength || (optionalLength > 0 && !optional)) return Fail(ERROR_INVALID_PARAMETER);
    const Connection& connection = *r.connection;
    const Session& session = *connection.session;

    CurlRequestOptions options;
    options.method = r.verb;
    WORD port = connection.port != 0 ? connection.port
                                     : (r.secure ? kWinHttpDefaultHttpsPort : kWinHttpDefaultHttpPort);
    std::string host = Utf8FromWide(connection.host);
    options.url = std::string(r.secure ? "https://" : "http://") + host + ":" + std::to_string(port) + r.target;
    bool hasAgent = false;
    bool hasAccept = false;
    bool hasContentType = false;
    bool hasHost = false;
    for (const Header& h : r.headers) {
      std::string lower = ToLowerAscii(h.name);
      hasAgent = hasAgent || lower == "user-agent";
      hasAccept = hasAccept || lower == "accept";
      hasContentType = hasContentType || lower == "content-type";
      hasHost = hasHost || lower == "host";
      // curl drops "Name:" without a value; "Name;" sends it empty.
      options.headers.push_back(h.value.empty() ? h.name + ";" : h.name + ": " + h.value);
    }
    if (!hasAgent && !session.agent.empty()) options.headers.push_back("User-Agent: " + session.agent);
    // WinHTTP adds neither of the defaults curl would.
    if (!hasAccept) options.headers.push_back("Accept:");
    if (!hasContentType) options.headers.push_back("Content-Type:");
    // A removed Host header stays removed, as with WinHTTP.
    if (!hasHost) options.headers.push_back("Host:");
    if (optionalLength > 0) options.body.assign(static_cast<const char*>(optional), optionalLength);
    options.connectTimeoutMs = static_cast<long>(r.connectTimeout);
    options.idleTimeoutMs = static_cast<long>(r.receiveTimeout);
    options.followRedirects = r.redirects;
    const DWORD ignoreAll = kSecurityFlagIgnoreUnknownCa | kSecurityFlagIgnoreCertCnInvalid |
                            kSecurityFlagIgnoreCertDateInvalid;
    options.verifyTls = (r.securityFlags & ignoreAll) != ignoreAll;
    if (session.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !BypassesProxy(session.bypass, connection.host)) {
      std::wstring proxy = ProxyForScheme(session.proxy, r.secure);
      if (!proxy.empty()) {
        options.proxy = Utf8FromWide(proxy);
        if (options.proxy.find("://") == std::string::npos) options.proxy = "http://" + options.proxy;
      }
    }
    journal_.Record("winhttp_send", WideFromUtf8(options.url), WideFromUtf8(r.verb));
    r.sent = true;
    r.exchange = std::make_unique<CurlRequest>();
    if (!r.exchange->Open(options)) return Fail(ErrorFromCurl(*r.exchange));
    return TRUE;
  }

  BOOL WinHttpReceiveResponse(HANDLE request) override {
    std::shared_ptr<Request> r;
    if (!FindRequest(request, &r)) return FALSE;
    if (!r->sent || !r->exchange || r->exchange->Status() == 0) {
      return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    return TRUE;
  }

  BOOL WinHttpQueryHeaders(HANDLE request, DWORD infoLevel, void* buffer, DWORD* bufferBytes,
                           DWORD* index) override {
    std::shared_ptr<Request> r;
    if (!FindRequest(request, &r)) return FALSE;
    if (!bufferBytes) return Fail(ERROR_INVALID_PARAMETER);
    if (!r->sent || !r->exchange || r->exchange->Status() == 0) {
      return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    const CurlRequest& exchange = *r->exchange;
    bool number = (infoLevel & WINHTTP_QUERY_FLAG_NUMBER) != 0;
    bool fromRequest = (infoLevel & WINHTTP_QUERY_FLAG_REQUEST_HEADERS) != 0;
    DWORD level = infoLevel & 0xFFFF;
    DWORD occurrence = index ? *index : 0;

    std::optional<std::string> value;
    if (level == WINHTTP_QUERY_RAW_HEADERS_CRLF) {
      if (occurrence == 0) value = fromRequest ? exchange.RequestHead() : exchange.ResponseHead();
    } else if (level == WINHTTP_QUERY_STATUS_CODE && !fromRequest) {
      if (occurrence == 0) value = std::to_string(exchange.Status());
    } else {
      const char* name = HeaderName(level);
      if (!name) return Fail(ERROR_WINHTTP_INVALID_OPTION);
      value = fromRequest ? HeadValue(exchange.RequestHead(), name, occurrence)
                          : exchange.HeaderValue(name, occurrence);
    }
    if (!value) return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND);

    if (number) {
      if (*bufferBytes < 4 || !buffer) {
        *bufferBytes = 4;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      // Like the platform, the leading digits count; anything else reads as 0.
      DWORD n = 0;
      for (char c : *value) {
        if (c < '0' || c > '9') break;
        n = n * 10 + static_cast<DWORD>(c - '0');
      }
      BYTE* out = static_cast<BYTE*>(buffer);
      for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>((n >> (8 * i)) & 0xFF);
      *bufferBytes = 4;
    } else {
      std::vector<uint8_t> text = Utf16LeFromWide(WidenBytes(*value));
      DWORD needed = static_cast<DWORD>(text.size() + 2);
      if (!buffer || *bufferBytes < needed) {
        *bufferBytes = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      BYTE* out = static_cast<BYTE*>(buffer);
      if (!text.empty()) std::memcpy(out, text.data(), text.size());
      out[text.size()] = 0;
      out[text.size() + 1] = 0;
      *bufferBytes = static_cast<DWORD>(text.size());
    }
    if (index) ++*index;
    return TRUE;
  }

  BOOL WinHttpQueryDataAvailable(HANDLE request, DWORD* available) override {
    std::shared_ptr<Request> r;
    if (!FindRequest(request, &r)) return FALSE;
    if (!r->sent || !r->exchange || r->exchange->Status() == 0) {
      return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    long n = r->exchange->Available();
    if (n < 0) return Fail(ErrorFromCurl(*r->exchange));
    if (available) *available = static_cast<DWORD>(n);
    return TRUE;
  }

  BOOL WinHttpReadData(HANDLE request, void* buffer, DWORD bytesToRead, DWORD* bytesRead) override {
    std::shared_ptr<Request> r;
    if (!FindRequest(request, &r)) return FALSE;
    if (!r->sent || !r->exchange || r->exchange->Status() == 0) {
      return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    if (bytesToRead > 0 && !buffer) return Fail(ERROR_INVALID_PARAMETER);
    long n = r->exchange->Read(buffer, bytesToRead);
    if (n < 0) return Fail(ErrorFromCurl(*r->exchange));
    if (bytesRead) *bytesRead = static_cast<DWORD>(n);
    return TRUE;
  }

  BOOL WinHttpCloseHandle(HANDLE handle) override {
    std::shared_ptr<Request> keep;  // an exchange ends outside the lock
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
      if (it == handles_.end()) return Fail(ERROR_INVALID_HANDLE);
      keep = it->second.request;
      handles_.erase(it);
    }
    return TRUE;
  }

  BOOL InternetGetCookieW(const std::wstring& url, const std::wstring* cookieName, BYTE* data,
                          DWORD* size) override {
    if (!size || url.empty()) return Fail(ERROR_INVALID_PARAMETER);
    WinHttpUrlParts parts;
    if (!WinHttpCrackUrl(url, 0, &parts)) return Fail(ERROR_INVALID_PARAMETER);
    std::wstring host = ToLowerWide(parts.hostName);
    std::wstring path = parts.urlPath.substr(0, parts.urlPath.find(L'?'));
    if (path.empty()) path = L"/";
    std::wstring text;
    for (const StoredCookie& c : cookies_) {
      if (cookieName && c.name != *cookieName) continue;
      std::wstring domain = ToLowerWide(c.domain);
      if (!domain.empty() && domain[0] == L'.') domain = domain.substr(1);
      bool domainMatches = host == domain || (host.size() > domain.size() &&
                                              host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
                                              host[host.size() - domain.size() - 1] == L'.');
      if (!domainMatches || path.rfind(c.path, 0) != 0) continue;
      if (!text.empty()) text += L"; ";
      text += c.name + L"=" + c.value;
    }
    if (text.empty()) return Fail(ERROR_NO_MORE_ITEMS);
    std::vector<uint8_t> bytes = Utf16LeFromWide(text);
    DWORD chars = static_cast<DWORD>(bytes.size() / 2);
    if (!data) {
      // The size query answers in bytes, terminator included.
      *size = (chars + 1) * 2;
      return TRUE;
    }
    if (*size < chars + 1) {
      *size = (chars + 1) * 2;
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(data, bytes.data(), bytes.size());
    data[bytes.size()] = 0;
    data[bytes.size() + 1] = 0;
    *size = chars;
    return TRUE;
  }

  void OutputDebugStringW(const std::wstring& text) override { journal_.Record("debug_output", text); }

 private:
  static const char* HeaderName(DWORD level) {
    switch (level) {
      case WINHTTP_QUERY_CONTENT_TYPE: return "Content-Type";
      case WINHTTP_QUERY_CONTENT_LENGTH: return "Content-Length";
      case WINHTTP_QUERY_CONTENT_ENCODING: return "Content-Encoding";
      case WINHTTP_QUERY_LOCATION: return "Location";
      case WINHTTP_QUERY_SET_COOKIE: return "Set-Cookie";
      default: return nullptr;
    }
  }

  static HANDLE FailHandle(DWORD error) {
    SimLastError() = error;
    return nullptr;
  }

  HANDLE Add(HandleObject object) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ += 4;
    handles_[next_] = std::move(object);
    return reinterpret_cast<HANDLE>(next_);
  }

  bool Find(HANDLE handle, HandleObject* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles_.end()) return false;
    *object = it->second;
    return true;
  }

  bool FindRequest(HANDLE handle, std::shared_ptr<Request>* request) {
    HandleObject object;
    if (!Find(handle, &object)) return Fail(ERROR_INVALID_HANDLE) != FALSE;
    if (!object.request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE) != FALSE;
    *request = object.request;
    return true;
  }

  SimJournal& journal_;
  WinHttpIeProxyConfig proxyConfig_;
  std::vector<StoredCookie> cookies_;
  std::mutex mutex_;
  std::map<uintptr_t, HandleObject> handles_;
  uintptr_t next_ = 0x10000;
};

bool ReadString(const Json::Value& object, const char* key, std::wstring* out, std::string* error,
                const std::string& where) {
  const Json::Value& v = object[key];
  if (v.isNull()) return true;
  if (!v.isString()) {
    if (error) *error = where + " \"" + key + "\" must be a string";
    return false;
  }
  *out = WideFromUtf8(v.asString());
  return true;
}

}  // namespace

std::unique_ptr<IWinHttp> CreateSimWinHttp(SimMachine& machine, std::string* error) {
  const Json::Value& d = machine.Description();
  WinHttpIeProxyConfig proxy;
  const Json::Value& p = d["ie_proxy"];
  if (!p.isNull()) {
    if (!p.isObject()) {
      if (error) *error = "\"ie_proxy\" must be an object";
      return nullptr;
    }
    if (!ReadString(p, "proxy", &proxy.proxy, error, "\"ie_proxy\"") ||
        !ReadString(p, "bypass", &proxy.proxyBypass, error, "\"ie_proxy\"") ||
        !ReadString(p, "auto_config_url", &proxy.autoConfigUrl, error, "\"ie_proxy\"")) {
      return nullptr;
    }
    proxy.autoDetect = p.get("auto_detect", false).asBool();
  }
  std::vector<StoredCookie> cookies;
  const Json::Value& c = d["cookies"];
  if (!c.isNull()) {
    if (!c.isArray()) {
      if (error) *error = "\"cookies\" must be an array";
      return nullptr;
    }
    for (const Json::Value& entry : c) {
      StoredCookie cookie;
      cookie.path = L"/";
      if (!entry.isObject() || !ReadString(entry, "domain", &cookie.domain, error, "a cookie's") ||
          !ReadString(entry, "path", &cookie.path, error, "a cookie's") ||
          !ReadString(entry, "name", &cookie.name, error, "a cookie's") ||
          !ReadString(entry, "value", &cookie.value, error, "a cookie's")) {
        if (error && error->empty()) *error = "a cookie must be an object";
        return nullptr;
      }
      if (cookie.domain.empty() || cookie.name.empty()) {
        if (error) *error = "a cookie needs a \"domain\" and a \"name\"";
        return nullptr;
      }
      cookies.push_back(std::move(cookie));
    }
  }
  return std::make_unique<SimWinHttp>(machine.Journal(), std::move(proxy), std::move(cookies));
}

}  // namespace rundix
