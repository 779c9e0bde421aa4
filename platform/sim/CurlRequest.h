// One HTTP exchange over libcurl, pull-style as the Windows request APIs work: Open sends the
// request and waits for the response head; Read then hands out the body in the caller's
// chunks. At most a small window of the body is held at any time (curl is paused while the
// caller has not taken what arrived), so a large download never sits in memory.
// The simulated WinINet and WinHTTP operations are built on it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rundix {

struct CurlRequestOptions {
  std::string method = "GET";
  std::string url;
  std::vector<std::string> headers;  // "Name: value" lines, sent as given
  std::string body;                  // sent when non-empty (or when method is POST)
  long connectTimeoutMs = 0;         // 0: curl's default
  long idleTimeoutMs = 30000;        // no byte for this long fails the exchange
  bool followRedirects = false;
  bool verifyTls = false;            // certificate errors are ignored unless set
  std::string proxy;                 // empty: none
  bool pathAsIs = false;             // send "/../" and "/./" as written (tests of servers)
};

// What the Windows request APIs escape in a request target before it goes out: blanks,
// control characters, bytes outside ASCII and "<>[\]^`{|}. Everything else, '%' included,
// goes out as given.
std::string EscapeRequestTarget(const std::string& target);

// Values of one header in a head (status or request line, then header lines, CRLF each),
// in order, the name compared without regard to case, blanks around the value trimmed.
std::vector<std::string> HeadValues(const std::string& head, const std::string& name);
// The value of its `occurrence`th (from 0) line, if it has that many.
std::optional<std::string> HeadValue(const std::string& head, const std::string& name, size_t occurrence);

class CurlRequest {
 public:
  CurlRequest();
  ~CurlRequest();
  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;

  // Sends the request; true once a final response head has arrived (any status).
  bool Open(const CurlRequestOptions& options);
  // What went wrong in the last failed call (for tests and diagnostics).
  const std::string& Error() const;
  // The kind of that failure, for callers that map it onto their API's error codes.
  enum class Failure { kNone, kResolve, kConnect, kTimeout, kCutShort, kOther };
  Failure LastFailure() const;

  long Status() const;
  // The final response's head as received: status line and header lines, each ending CRLF,
  // then the blank line.
  const std::string& ResponseHead() const;
  // Values of one response header in order (name without regard to case).
  std::vector<std::string> HeaderValues(const std::string& name) const;
  std::optional<std::string> HeaderValue(const std::string& name, size_t occurrence) const;
  // The request head exactly as it went out (request line and header lines, CRLF each).
  const std::string& RequestHead() const;
  std::optional<uint64_t> ContentLength() const;

  // Copies up to `size` body bytes into `buffer`; returns the count, 0 at the end of the
  // body, -1 when the exchange failed (connection lost, idle timeout; a body that ended
  // before its declared length is a failure of kind kCutShort).
  long Read(void* buffer, size_t size);
  // Body bytes that are ready without waiting (for QueryDataAvailable-style calls); waits
  // for at least one byte or the end.
  long Available();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace rundix
