// A hostile HTTP peer: a server on loopback answers each request with the fuzz input as its
// raw reply (status line, headers, body, or anything else) and closes. The first byte picks
// the client: the WinINet download to a file, or NyWinHttp's request with its header reading,
// cookies and body decoding.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "engine/InternetTransfer.h"
#include "net/NyWinHttp.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

class HostilePeer {
 public:
  HostilePeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
    std::thread([this] { Serve(); }).detach();
  }

  int port() const { return port_; }
  void SetReply(std::string reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    reply_ = std::move(reply);
  }

 private:
  // Reads the request head (bounded), sends the reply, closes.
  void Serve() {
    for (;;) {
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        ssize_t n = ::recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
      }
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        reply = reply_;
      }
      size_t sent = 0;
      while (sent < reply.size()) {
        ssize_t n = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::shutdown(client, SHUT_RDWR);
      ::close(client);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::string reply_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostilePeer* peer = new HostilePeer();  // serves for the whole run
  if (size == 0) return 0;
  peer->SetReply(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  rundix::Machine& machine = rundix::fuzz::SharedMachine();
  std::wstring base = L"http://127.0.0.1:" + std::to_wstring(peer->port());
  if (data[0] & 1) {
    KUM::NyWinHttp http(machine);
    http.followRedirects = false;  // a Location leads nowhere but back here
    http.connectTimeout = http.receiveTimeout = http.sendTimeout = 2000;
    http.Request(http.CancelEvent(), base + L"/rundix/api/loginquery?ticket=t&time=1");
    http.DecodeBody();
    http.GetResponseText();
  } else {
    rundix::DownloadUrlToFile(machine, base + L"/zq/rundix/setup.exe", L"C:\\peer.bin");
  }
  rundix::fuzz::ForgetRecordedCalls();
  return 0;
}
