// The WinINet-shaped operations over libcurl: a URL handle is one CurlRequest, whose body
// streams into the caller's reads; nothing holds a whole body.
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Text.h"
#include "platform/sim/CurlRequest.h"
#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

constexpr DWORD kDefaultConnectTimeoutMs = 60000;
constexpr DWORD kDefaultReceiveTimeoutMs = 30000;

struct InternetObject {
  bool isRequest = false;
  std::string agent;
  DWORD connectTimeoutMs = kDefaultConnectTimeoutMs;
  DWORD receiveTimeoutMs = kDefaultReceiveTimeoutMs;
  std::mutex readMutex;  // one read at a time per request
  CurlRequest request;
};

// WinINet reports a connection that closed before the declared end as the end of the body
// (a read of 0 bytes); every other failure fails the read.
DWORD ErrorOf(CurlRequest::Failure failure) {
  switch (failure) {
    case CurlRequest::Failure::kResolve: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CurlRequest::Failure::kConnect: return ERROR_INTERNET_CANNOT_CONNECT;
    case CurlRequest::Failure::kTimeout: return ERROR_INTERNET_TIMEOUT;
    default: return ERROR_INTERNET_CONNECTION_RESET;
  }
}

// "Name: value" lines of a request-headers string.
std::vector<std::string> HeaderLines(const std::string& headers) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find_first_of("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    if (end > start) lines.push_back(headers.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class SimInternet final : public IInternet {
 public:
  explicit SimInternet(SimMachine& machine) : machine_(machine) {}

  DWORD GetLastError() override { return SimLastError(); }

  InternetHandleValue InternetOpenW(const std::wstring& agent, DWORD accessType, const std::wstring& proxy,
                                    const std::wstring& bypass, DWORD flags) override {
    return InternetOpenA(Utf8FromWide(agent), accessType, Utf8FromWide(proxy), Utf8FromWide(bypass), flags);
  }
  InternetHandleValue InternetOpenA(const std::string& agent, DWORD /*accessType*/, const std::string& /*proxy*/,
                                    const std::string& /*bypass*/, DWORD /*flags*/) override {
    auto session = std::make_shared<InternetObject>();
    session->agent = agent;
    return Add(std::move(session));
  }

  BOOL InternetSetOptionW(InternetHandleValue handle, DWORD option, DWORD value) override {
    return InternetSetOptionA(handle, option, value);
  }
  BOOL InternetSetOptionA(InternetHandleValue handle, DWORD option, DWORD value) override {
    auto object = Find(handle);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    switch (option) {
      case INTERNET_OPTION_CONNECT_TIMEOUT: object->connectTimeoutMs = value; return TRUE;
      case INTERNET_OPTION_RECEIVE_TIMEOUT: object->receiveTimeoutMs = value; return TRUE;
      case INTERNET_OPTION_CONNECT_RETRIES: return TRUE;  // a refused loopback connection fails at once anyway
      default: return Fail(ERROR_INVALID_PARAMETER);
    }
  }

  InternetHandleValue InternetOpenUrlW(InternetHandleValue session, const std::wstring& url,
                                       const std::wstring& headers, DWORD headersLength, DWORD flags,
                                       ULONG_PTR context) override {
    std::wstring h = headersLength == static_cast<DWORD>(-1) ? headers : headers.substr(0, headersLength);
    return OpenUrl(session, Utf8FromWide(url), Utf8FromWide(h), flags);
  }
  InternetHandleValue InternetOpenUrlA(InternetHandleValue session, const std::string& url,
                                       const std::string& headers, DWORD headersLength, DWORD flags,
                                       ULONG_PTR context) override {
    std::string h = headersLength == static_cast<DWORD>(-1) ? headers : headers.substr(0, headersLength);
    return OpenUrl(session, url, h, flags);
  }

  BOOL HttpQueryInfoW(InternetHandleValue handle, DWORD infoLevel, void* buffer, DWORD* bufferBytes,
                      DWORD* /*index*/) override {
    auto object = Find(handle);
    if (!object || !object->isRequest) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (bufferBytes == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::string value;
    switch (infoLevel & 0xFFFF) {
      case HTTP_QUERY_STATUS_CODE:
        value = std::to_string(object->request.Status());
        break;
      case HTTP_QUERY_CONTENT_LENGTH: {
        auto values = object->request.HeaderValues("Content-Length");
        if (values.empty()) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        value = values.back();
        break;
      }
      default:
        return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
    }
    if (infoLevel & HTTP_QUERY_FLAG_NUMBER) {
      // A number that is not one, or does not fit 32 bits, is not handed out.
      if (value.empty() || value.size() > 10 || value.find_first_not_of("0123456789") != std::string::npos ||
          std::stoull(value) > 0xFFFFFFFFull) {
        return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
      }
      if (*bufferBytes < sizeof(DWORD) || buffer == nullptr) {
        *bufferBytes = sizeof(DWORD);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      DWORD number = static_cast<DWORD>(std::stoull(value));
      std::memcpy(buffer, &number, sizeof(number));
      *bufferBytes = sizeof(DWORD);
      return TRUE;
    }
    std::vector<uint8_t> text = Utf16LeFromWide(WideFromUtf8(value));
    DWORD needed = static_cast<DWORD>(text.size() + 2);
    if (*bufferBytes < needed || buffer == nullptr) {
      *bufferBytes = needed;
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    text.push_back(0);
    text.push_back(0);
    std::memcpy(buffer, text.data(), text.size());
    *bufferBytes = needed - 2;  // the terminator is not counted
    return TRUE;
  }

  BOOL InternetReadFile(InternetHandleValue handle, void* buffer, DWORD bytes, DWORD* bytesRead) override {
    if (bytesRead) *bytesRead = 0;
    auto object = Find(handle);
    if (!object || !object->isRequest) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (bytes == 0) return TRUE;
    if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(object->readMutex);
    long n = object->request.Read(buffer, bytes);
    if (n < 0) {
      CurlRequest::Failure failure = object->request.LastFailure();
      if (failure == CurlRequest::Failure::kCutShort) return TRUE;
      return Fail(ErrorOf(failure));
    }
    if (bytesRead) *bytesRead = static_cast<DWORD>(n);
    return TRUE;
  }

  BOOL InternetCloseHandle(InternetHandleValue handle) override {
    std::shared_ptr<InternetObject> object;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
      if (it == handles_.end()) return Fail(ERROR_INVALID_HANDLE);
      object = std::move(it->second);
      handles_.erase(it);
    }
    return TRUE;  // the exchange ends when its last user lets go
  }

 private:
  static BOOL Fail(DWORD error) {
    SimLastError() = error;
    return FALSE;
  }

  InternetHandleValue Add(std::shared_ptr<InternetObject> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    uintptr_t handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = std::move(object);
    return reinterpret_cast<InternetHandleValue>(handle);
  }

  std::shared_ptr<InternetObject> Find(InternetHandleValue handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles_.end() ? nullptr : it->second;
  }

  InternetHandleValue OpenUrl(InternetHandleValue sessionHandle, const std::string& url,
                              const std::string& headers, DWORD flags) {
    auto session = Find(sessionHandle);
    if (!session || session->isRequest) {
      Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      return nullptr;
    }
    // The flags decide whether WinINet may answer from its cache or write to it.
    wchar_t flagText[16];
    std::swprintf(flagText, 16, L"0x%08X", static_cast<unsigned>(flags));
    machine_.Journal().Record("open_url", WideFromUtf8(url), flagText);
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
      Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
      return nullptr;
    }
    CurlRequestOptions options;
    // WinINet escapes the path and query (a blank in a report value goes out as %20).
    size_t authority = url.find("://") + 3;
    size_t path = url.find('/', authority);
    options.url = path == std::string::npos ? url : url.substr(0, path) + EscapeRequestTarget(url.substr(path));
    options.headers = HeaderLines(headers);
    if (!session->agent.empty()) options.headers.push_back("User-Agent: " + session->agent);
    options.connectTimeoutMs = static_cast<long>(session->connectTimeoutMs);
    options.idleTimeoutMs = static_cast<long>(session->receiveTimeoutMs);
    options.followRedirects = true;  // as WinINet does unless told not to
    auto request = std::make_shared<InternetObject>();
    request->isRequest = true;
    request->connectTimeoutMs = session->connectTimeoutMs;
    request->receiveTimeoutMs = session->receiveTimeoutMs;
    if (!request->request.Open(options)) {
      Fail(ErrorOf(request->request.LastFailure()));
      return nullptr;
    }
    return Add(std::move(request));
  }

  SimMachine& machine_;
  std::mutex mutex_;
  std::map<uintptr_t, std::shared_ptr<InternetObject>> handles_;
  uintptr_t nextHandle_ = 0xCC0000;
};

}  // namespace

std::unique_ptr<IInternet> CreateSimInternet(SimMachine& machine) { return std::make_unique<SimInternet>(machine); }

}  // namespace rundix
