#include "tools/server/GuardedServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rundix::server {
namespace {

using Clock = std::chrono::steady_clock;

// A fixed set of workers taking connections in the order accepted.
class WorkerPool final : public httplib::TaskQueue {
 public:
  explicit WorkerPool(size_t count) {
    for (size_t i = 0; i < std::max<size_t>(count, 1); ++i) threads_.emplace_back([this] { Run(); });
  }
  ~WorkerPool() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(fn));
    }
    wake_.notify_one();
  }

  // Runs what is queued, then ends the workers.
  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  void Run() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

std::string NumericHost(const sockaddr_storage& address, socklen_t length, int* port) {
  char host[NI_MAXHOST] = "";
  char service[NI_MAXSERV] = "";
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof(host), service, sizeof(service),
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    *port = 0;
    return std::string();
  }
  *port = std::atoi(service);
  return host;
}

// One accepted connection, plain or TLS, on a non-blocking socket. Every wait is bounded:
// a read by the I/O timeout and, while a request head is being read, by the head's deadline;
// the head also may not grow past its size.
class Connection final : public httplib::Stream {
 public:
  Connection(int fd, SSL* ssl, const ServingLimits& limits, const std::atomic<socket_t>& listener)
      : fd_(fd), ssl_(ssl), limits_(limits), listener_(listener) {}

  void BeginHead() {
    inHead_ = true;
    headStarted_ = false;
    headBytes_ = 0;
    lineLength_ = 0;
    headDeadline_ = Clock::now() + limits_.headTimeout;
  }

  // True while a request's head has not been read whole (its reading failed or timed out).
  bool InHead() const { return inHead_; }

  bool Buffered() const { return pos_ < end_ || (ssl_ && SSL_pending(ssl_) > 0); }

  // Waits for `events` until `deadline`; false on time-out, error or the listener stopping.
  bool Wait(short events, Clock::time_point deadline) const {
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      if (listener_ == INVALID_SOCKET) return false;
      pollfd p{fd_, events, 0};
      int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
      if (n > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
      if (n < 0 && errno != EINTR) return false;
    }
  }

  bool is_readable() const override { return Buffered() || Wait(POLLIN, ReadDeadline()); }
  bool is_writable() const override { return Wait(POLLOUT, Clock::now() + limits_.ioTimeout); }

  ssize_t read(char* ptr, size_t size) override {
    if (size == 0) return 0;
    if (pos_ == end_) {
      ssize_t filled = Fill();
      if (filled <= 0) return filled;
    }
    size_t n = std::min(size, end_ - pos_);
    if (inHead_ && !ScanHead(buffer_ + pos_, n)) return -1;
    std::memcpy(ptr, buffer_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    for (;;) {
      if (ssl_) {
        ERR_clear_error();
        int n = SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 30)));
        if (n > 0) return n;
        int e = SSL_get_error(ssl_, n);
        if (e == SSL_ERROR_WANT_WRITE && Wait(POLLOUT, Clock::now() + limits_.ioTimeout)) continue;
        if (e == SSL_ERROR_WANT_READ && Wait(POLLIN, Clock::now() + limits_.ioTimeout)) continue;
        return -1;
      }
      ssize_t n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && Wait(POLLOUT, Clock::now() + limits_.ioTimeout)) continue;
      return -1;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    port = 0;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) ip = NumericHost(address, length, &port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    port = 0;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) ip = NumericHost(address, length, &port);
  }
  socket_t socket() const override { return fd_; }

 private:
  Clock::time_point ReadDeadline() const {
    Clock::time_point deadline = Clock::now() + limits_.ioTimeout;
    return inHead_ ? std::min(deadline, headDeadline_) : deadline;
  }

  // 0 at the end of the stream, -1 on an error or a time-out.
  ssize_t Fill() {
    pos_ = end_ = 0;
    for (;;) {
      if (ssl_) {
        ERR_clear_error();
        int n = SSL_read(ssl_, buffer_, sizeof(buffer_));
        if (n > 0) {
          end_ = static_cast<size_t>(n);
          return n;
        }
        int e = SSL_get_error(ssl_, n);
        if (e == SSL_ERROR_ZERO_RETURN) return 0;
        if (e == SSL_ERROR_WANT_READ && Wait(POLLIN, ReadDeadline())) continue;
        if (e == SSL_ERROR_WANT_WRITE && Wait(POLLOUT, ReadDeadline())) continue;
        return -1;
      }
      ssize_t n = ::recv(fd_, buffer_, sizeof(buffer_), 0);
      if (n > 0) {
        end_ = static_cast<size_t>(n);
        return n;
      }
      if (n == 0) return 0;
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && Wait(POLLIN, ReadDeadline())) continue;
      return -1;
    }
  }

  // Follows the bytes handed out while the head lasts: it ends at the first empty line after
  // a non-empty one. False when the head outgrows its size.
  bool ScanHead(const char* data, size_t n) {
    for (size_t i = 0; i < n && inHead_; ++i) {
      if (++headBytes_ > limits_.maxHeadBytes) return false;
      char c = data[i];
      if (c == '\n') {
        if (lineLength_ == 0 && headStarted_) inHead_ = false;
        if (lineLength_ > 0) headStarted_ = true;
        lineLength_ = 0;
      } else if (c != '\r') {
        ++lineLength_;
      }
    }
    return true;
  }

  int fd_;
  SSL* ssl_;
  const ServingLimits& limits_;
  const std::atomic<socket_t>& listener_;
  char buffer_[4096];
  size_t pos_ = 0;
  size_t end_ = 0;
  bool inHead_ = false;
  bool headStarted_ = false;
  size_t headBytes_ = 0;
  size_t lineLength_ = 0;
  Clock::time_point headDeadline_{};
};

using ProcessRequest = std::function<bool(httplib::Stream&, bool closeConnection, bool& connectionClosed)>;

// The keep-alive loop: each request gets a fresh head deadline, an idle connection is closed
// after the keep-alive time, and a connection serves a bounded number of requests.
void ServeRequests(Connection& connection, const ServingLimits& limits,
                   const std::atomic<socket_t>& listener, const ProcessRequest& process) {
  for (size_t served = 0; served < limits.keepAliveRequests; ++served) {
    if (served > 0 && !connection.Buffered() &&
        !connection.Wait(POLLIN, Clock::now() + limits.keepAliveTimeout)) {
      return;
    }
    connection.BeginHead();
    bool closeConnection = served + 1 == limits.keepAliveRequests || listener == INVALID_SOCKET;
    bool closed = false;
    // A head that failed (too slow, too large) leaves the stream mid-request: the reply
    // the library wrote (400) is the last.
    if (!process(connection, closeConnection, closed) || closed || connection.InHead()) return;
  }
}

// Non-blocking, and without Nagle's delay: the library writes a reply's head and body
// separately, and a keep-alive client would wait for the delayed acknowledgement each time.
void PrepareSocket(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

void CloseSocket(int fd) {
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

// Ranges are answered by the routes that serve files (their own parsing, 206 or a whole 200);
// left to the library, a ranged reply elsewhere would keep its status and lose its length.
httplib::Server::HandlerResponse IgnoreRanges(const httplib::Request& request, httplib::Response&) {
  // The request is the library's own mutable object, handed to handlers as const.
  const_cast<httplib::Request&>(request).ranges.clear();
  return httplib::Server::HandlerResponse::Unhandled;
}

void Configure(httplib::Server& server, const ServingLimits& limits) {
  size_t workers = limits.workers;
  server.new_task_queue = [workers] { return new WorkerPool(workers); };
  server.set_payload_max_length(limits.maxBodyBytes);
  // Only for the Keep-Alive header the library writes; the loop above enforces both.
  server.set_keep_alive_max_count(limits.keepAliveRequests);
  server.set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits.keepAliveTimeout).count());
  server.set_pre_routing_handler(IgnoreRanges);
  // The library's default adds SO_REUSEPORT, with which a second server on a busy port starts
  // and silently takes half the connections (with its own ticket key). Reusing a port in
  // TIME_WAIT after a restart is all that is wanted.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
}

class GuardedServer final : public httplib::Server {
 public:
  explicit GuardedServer(const ServingLimits& limits) : limits_(limits) {
    Configure(*this, limits_);
  }
  bool WidenQueue() { return svr_sock_ != INVALID_SOCKET && ::listen(svr_sock_, SOMAXCONN) == 0; }

 private:
  bool process_and_close_socket(socket_t sock) override {
    PrepareSocket(sock);
    Connection connection(sock, nullptr, limits_, svr_sock_);
    ServeRequests(connection, limits_, svr_sock_, [this](httplib::Stream& s, bool close, bool& closed) {
      return process_request(s, close, closed, nullptr);
    });
    CloseSocket(sock);
    return true;
  }

  ServingLimits limits_;
};

class GuardedTlsServer final : public httplib::SSLServer {
 public:
  GuardedTlsServer(X509* certificate, EVP_PKEY* key, const ServingLimits& limits)
      : SSLServer(certificate, key), limits_(limits) {
    Configure(*this, limits_);
  }
  bool WidenQueue() { return svr_sock_ != INVALID_SOCKET && ::listen(svr_sock_, SOMAXCONN) == 0; }

 private:
  bool process_and_close_socket(socket_t sock) override {
    PrepareSocket(sock);
    SSL* ssl = nullptr;
    {
      std::lock_guard<std::mutex> lock(contextMutex_);
      ssl = SSL_new(ssl_context());
    }
    if (ssl) {
      SSL_set_fd(ssl, sock);
      SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
      Connection connection(sock, ssl, limits_, svr_sock_);
      if (Handshake(ssl, connection)) {
        ServeRequests(connection, limits_, svr_sock_, [this, ssl](httplib::Stream& s, bool close, bool& closed) {
          return process_request(s, close, closed, [ssl](httplib::Request& request) { request.ssl = ssl; });
        });
        SSL_shutdown(ssl);  // one try: the socket does not wait
      }
      SSL_free(ssl);
    }
    CloseSocket(sock);
    return true;
  }

  bool Handshake(SSL* ssl, const Connection& connection) const {
    Clock::time_point deadline = Clock::now() + limits_.tlsHandshakeTimeout;
    for (;;) {
      ERR_clear_error();
      int n = SSL_accept(ssl);
      if (n == 1) return true;
      int e = SSL_get_error(ssl, n);
      if (e == SSL_ERROR_WANT_READ && connection.Wait(POLLIN, deadline)) continue;
      if (e == SSL_ERROR_WANT_WRITE && connection.Wait(POLLOUT, deadline)) continue;
      return false;
    }
  }

  ServingLimits limits_;
  std::mutex contextMutex_;
};

}  // namespace

std::unique_ptr<httplib::Server> MakeGuardedServer(const ServingLimits& limits) {
  return std::make_unique<GuardedServer>(limits);
}

std::unique_ptr<httplib::Server> MakeGuardedTlsServer(X509* certificate, EVP_PKEY* key, const ServingLimits& limits) {
  return std::make_unique<GuardedTlsServer>(certificate, key, limits);
}

bool WidenAcceptQueue(httplib::Server& server) {
  if (auto* plain = dynamic_cast<GuardedServer*>(&server)) return plain->WidenQueue();
  if (auto* tls = dynamic_cast<GuardedTlsServer*>(&server)) return tls->WidenQueue();
  return false;
}

}  // namespace rundix::server
