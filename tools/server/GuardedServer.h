// The listeners of rundix-server as a service on an open network: every connection is read by
// our own loop so that a request head must arrive whole within a deadline and within a size,
// whatever pace the client keeps; a fixed pool of workers serves the connections.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <memory>

namespace rundix::server {

struct ServingLimits {
  // Time from the first byte a request may take (the accept, or the end of the keep-alive
  // wait) to the blank line ending its head.
  std::chrono::milliseconds headTimeout{10000};
  // Longest pause in a body or a reply (one read or one write).
  std::chrono::milliseconds ioTimeout{5000};
  std::chrono::milliseconds keepAliveTimeout{5000};
  size_t keepAliveRequests = 100;
  size_t maxHeadBytes = 16 * 1024;
  size_t maxBodyBytes = 64 * 1024;  // the service answers GETs only
  size_t workers = 256;
  std::chrono::milliseconds tlsHandshakeTimeout{10000};
};

// A plain HTTP listener under the limits.
std::unique_ptr<httplib::Server> MakeGuardedServer(const ServingLimits& limits);
// An HTTPS listener under the limits; the server takes its own references to both.
std::unique_ptr<httplib::Server> MakeGuardedTlsServer(X509* certificate, EVP_PKEY* key, const ServingLimits& limits);
// After binding: the library listens with a queue of 5 pending connections, so a burst of
// clients would wait for their SYN to be sent again (seconds each); this widens it to the
// system's maximum. False for a server these functions did not make, or one not bound.
bool WidenAcceptQueue(httplib::Server& server);

}  // namespace rundix::server
