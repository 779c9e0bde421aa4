#include "platform/sim/CurlRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/Text.h"

namespace rundix {

namespace {

constexpr size_t kWindow = 64 * 1024;  // body bytes held for the caller at most (plus one chunk)

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

struct CurlRequest::State {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;
  CurlRequestOptions options;
  std::string error;
  Failure failure = Failure::kNone;
  uint64_t received = 0;    // head and body bytes so far: the idle clock's measure of progress
  std::string head;         // the response head being collected
  std::string finalHead;    // the last complete one
  std::string requestHead;
  bool headDone = false;
  bool transferDone = false;
  CURLcode result = CURLE_OK;
  bool paused = false;
  std::string pending;      // body bytes not yet taken
  size_t pendingOffset = 0;
  long status = 0;
  // Where the last HeaderValue query of the final head stopped: `occurrence` is the first
  // value found looking on from `at`. Asking for occurrence after occurrence of one header
  // (as cookies are read) then walks the head once, not once per occurrence.
  struct Cursor {
    std::string name;
    size_t occurrence = 0;
    size_t at = 0;
  } cursor;

  ~State() {
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    if (headers) curl_slist_free_all(headers);
  }

  size_t Buffered() const { return pending.size() - pendingOffset; }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* s = static_cast<State*>(self);
    size_t n = size * count;
    s->received += n;
    std::string line(data, n);
    if (line.rfind("HTTP/", 0) == 0) s->head.clear();
    s->head += line;
    if (line == "\r\n" || line == "\n") {
      long code = 0;
      curl_easy_getinfo(s->easy, CURLINFO_RESPONSE_CODE, &code);
      // Interim 1xx heads and heads of followed redirects are not the final response.
      bool redirect = s->options.followRedirects && code >= 300 && code < 400 &&
                      ToLowerAscii(s->head).find("\nlocation:") != std::string::npos;
      if (code >= 200 && !redirect) {
        s->finalHead = s->head;
        s->cursor = Cursor{};
        s->status = code;
        s->headDone = true;
      }
    }
    return n;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* s = static_cast<State*>(self);
    size_t n = size * count;
    if (s->Buffered() >= kWindow) {
      s->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (s->pendingOffset > 0 && s->pendingOffset == s->pending.size()) {
      s->pending.clear();
      s->pendingOffset = 0;
    }
    s->pending.append(data, n);
    s->received += n;
    return n;
  }

  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
    auto* s = static_cast<State*>(self);
    if (type == CURLINFO_HEADER_OUT) s->requestHead.assign(data, size);
    return 0;
  }

  void Fail(Failure kind, std::string message) {
    failure = kind;
    error = std::move(message);
  }

  static Failure FailureOf(CURLcode code) {
    switch (code) {
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        return Failure::kResolve;
      case CURLE_COULDNT_CONNECT:
        return Failure::kConnect;
      case CURLE_OPERATION_TIMEDOUT:
        return Failure::kTimeout;
      case CURLE_PARTIAL_FILE:
        return Failure::kCutShort;
      default:
        return Failure::kOther;
    }
  }

  // Drives the transfer until `ready` holds, the transfer ends, or nothing moves for the
  // idle timeout. False on failure.
  template <typename Ready>
  bool Pump(Ready ready) {
    auto idleSince = std::chrono::steady_clock::now();
    uint64_t lastSeen = received;
    while (!ready()) {
      if (transferDone) return result == CURLE_OK;
      if (paused && Buffered() < kWindow) {
        paused = false;
        curl_easy_pause(easy, CURLPAUSE_CONT);
      }
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        Fail(Failure::kOther, "transfer failed");
        return false;
      }
      int queued = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE) {
          transferDone = true;
          result = msg->data.result;
          if (result != CURLE_OK) Fail(FailureOf(result), curl_easy_strerror(result));
        }
      }
      if (ready() || transferDone) continue;
      if (paused) continue;  // the caller has to take bytes first
      curl_multi_poll(multi, nullptr, 0, 20, nullptr);
      auto now = std::chrono::steady_clock::now();
      if (received != lastSeen) {
        lastSeen = received;
        idleSince = now;
      } else if (options.idleTimeoutMs > 0 &&
                 now - idleSince > std::chrono::milliseconds(options.idleTimeoutMs)) {
        Fail(Failure::kTimeout, "no data for the idle timeout");
        return false;
      }
    }
    return true;
  }
};

std::string EscapeRequestTarget(const std::string& target) {
  static const char kHex[] = "0123456789ABCDEF";
  static const std::string kUnsafe = "\"<>[\\]^`{|}";
  std::string out;
  out.reserve(target.size());
  for (unsigned char c : target) {
    if (c <= 0x20 || c >= 0x7F || kUnsafe.find(static_cast<char>(c)) != std::string::npos) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

CurlRequest::CurlRequest() : state_(std::make_unique<State>()) {}
CurlRequest::~CurlRequest() = default;

bool CurlRequest::Open(const CurlRequestOptions& options) {
  GlobalInit();
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.options = options;
  s.easy = curl_easy_init();
  s.multi = curl_multi_init();
  if (!s.easy || !s.multi) {
    s.Fail(Failure::kOther, "curl could not be initialised");
    return false;
  }
  curl_easy_setopt(s.easy, CURLOPT_URL, options.url.c_str());
  curl_easy_setopt(s.easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(s.easy, CURLOPT_HEADERFUNCTION, &State::OnHeader);
  curl_easy_setopt(s.easy, CURLOPT_HEADERDATA, &s);
  curl_easy_setopt(s.easy, CURLOPT_WRITEFUNCTION, &State::OnBody);
  curl_easy_setopt(s.easy, CURLOPT_WRITEDATA, &s);
  curl_easy_setopt(s.easy, CURLOPT_DEBUGFUNCTION, &State::OnDebug);
  curl_easy_setopt(s.easy, CURLOPT_DEBUGDATA, &s);
  curl_easy_setopt(s.easy, CURLOPT_VERBOSE, 1L);  // feeds OnDebug; nothing is printed
  curl_easy_setopt(s.easy, CURLOPT_FOLLOWLOCATION, options.followRedirects ? 1L : 0L);
  // curl follows without end by default: a reply that redirects to itself would hang the
  // request. Windows' HTTP stacks give up after a few; so does this.
  curl_easy_setopt(s.easy, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(s.easy, CURLOPT_SSL_VERIFYPEER, options.verifyTls ? 1L : 0L);
  curl_easy_setopt(s.easy, CURLOPT_SSL_VERIFYHOST, options.verifyTls ? 2L : 0L);
  curl_easy_setopt(s.easy, CURLOPT_PROXY, options.proxy.c_str());
  curl_easy_setopt(s.easy, CURLOPT_ACCEPT_ENCODING, nullptr);  // bodies arrive as sent
  curl_easy_setopt(s.easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(s.easy, CURLOPT_BUFFERSIZE, 16384L);
  if (options.pathAsIs) curl_easy_setopt(s.easy, CURLOPT_PATH_AS_IS, 1L);
  if (options.connectTimeoutMs > 0) curl_easy_setopt(s.easy, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  for (const auto& h : options.headers) s.headers = curl_slist_append(s.headers, h.c_str());
  // curl would add "Expect: 100-continue" to larger bodies; Windows does not.
  s.headers = curl_slist_append(s.headers, "Expect:");
  curl_easy_setopt(s.easy, CURLOPT_HTTPHEADER, s.headers);
  if (options.method == "POST" || !options.body.empty()) {
    curl_easy_setopt(s.easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.body.size()));
    curl_easy_setopt(s.easy, CURLOPT_COPYPOSTFIELDS, options.body.c_str());
  }
  if (options.method != "GET" && options.method != "POST") {
    curl_easy_setopt(s.easy, CURLOPT_CUSTOMREQUEST, options.method.c_str());
  } else if (options.method == "GET" && !options.body.empty()) {
    curl_easy_setopt(s.easy, CURLOPT_CUSTOMREQUEST, "GET");
  }
  curl_multi_add_handle(s.multi, s.easy);
  if (!s.Pump([&] { return s.headDone; }) || !s.headDone) {
    if (s.error.empty()) s.Fail(Failure::kOther, "no response");
    return false;
  }
  return true;
}

const std::string& CurlRequest::Error() const { return state_->error; }
CurlRequest::Failure CurlRequest::LastFailure() const { return state_->failure; }
long CurlRequest::Status() const { return state_->status; }
const std::string& CurlRequest::ResponseHead() const { return state_->finalHead; }
const std::string& CurlRequest::RequestHead() const { return state_->requestHead; }

namespace {

// Calls `take(value, lineEnd)` with each value of header `name` in `head` on the lines after
// offset `from`, in order, until it returns false. Lines are looked at where they lie: a
// hostile head may hold thousands.
template <typename Take>
void ForEachHeadValue(std::string_view head, std::string_view name, size_t from, Take take) {
  size_t start = head.find("\r\n", from);
  while (start != std::string_view::npos && start + 2 < head.size()) {
    size_t lineStart = start + 2;
    size_t end = head.find("\r\n", lineStart);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(lineStart, end - lineStart);
    if (line.size() > name.size() && line[name.size()] == ':' && EqualsNoCaseAscii(line.substr(0, name.size()), name)) {
      std::string_view value = line.substr(name.size() + 1);
      size_t b = value.find_first_not_of(" \t");
      size_t e = value.find_last_not_of(" \t");
      if (!take(b == std::string_view::npos ? std::string_view() : value.substr(b, e - b + 1), end)) return;
    }
    start = end == head.size() ? std::string_view::npos : end;
  }
}

}  // namespace

std::vector<std::string> HeadValues(const std::string& head, const std::string& name) {
  std::vector<std::string> values;
  ForEachHeadValue(head, name, 0, [&](std::string_view value, size_t) {
    values.emplace_back(value);
    return true;
  });
  return values;
}

std::optional<std::string> HeadValue(const std::string& head, const std::string& name, size_t occurrence) {
  std::optional<std::string> found;
  ForEachHeadValue(head, name, 0, [&](std::string_view value, size_t) {
    if (occurrence-- > 0) return true;
    found.emplace(value);
    return false;
  });
  return found;
}

std::vector<std::string> CurlRequest::HeaderValues(const std::string& name) const {
  return HeadValues(state_->finalHead, name);
}

std::optional<std::string> CurlRequest::HeaderValue(const std::string& name, size_t occurrence) const {
  State::Cursor& cursor = state_->cursor;
  if (cursor.name != name || occurrence < cursor.occurrence) cursor = State::Cursor{name, 0, 0};
  std::optional<std::string> found;
  ForEachHeadValue(state_->finalHead, name, cursor.at, [&](std::string_view value, size_t lineEnd) {
    if (cursor.occurrence == occurrence) {
      found.emplace(value);  // the cursor stays on it: asked again, it is found at once
      return false;
    }
    ++cursor.occurrence;
    cursor.at = lineEnd;
    return true;
  });
  return found;
}

std::optional<uint64_t> CurlRequest::ContentLength() const {
  auto values = HeaderValues("Content-Length");
  if (values.empty()) return std::nullopt;
  const std::string& v = values.back();
  if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos || v.size() > 19) {
    return std::nullopt;
  }
  return std::stoull(v);
}

long CurlRequest::Read(void* buffer, size_t size) {
  State& s = *state_;
  if (!s.easy || !s.headDone) return -1;
  if (size == 0) return 0;
  if (!s.Pump([&] { return s.Buffered() > 0; })) return -1;
  size_t n = std::min(size, s.Buffered());
  if (n > 0) std::memcpy(buffer, s.pending.data() + s.pendingOffset, n);
  s.pendingOffset += n;
  if (s.pendingOffset == s.pending.size()) {
    s.pending.clear();
    s.pendingOffset = 0;
  }
  return static_cast<long>(n);
}

long CurlRequest::Available() {
  State& s = *state_;
  if (!s.easy || !s.headDone) return -1;
  if (!s.Pump([&] { return s.Buffered() > 0; })) return -1;
  return static_cast<long>(s.Buffered());
}

}  // namespace rundix
