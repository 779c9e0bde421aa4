// Command line of rundix-server and the route modules it serves.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace httplib {
class Server;
}

namespace rundix::server {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 18480;         // 0: any free port, printed on the first line of standard output
  int httpsPort = -1;       // -1: no HTTPS listener; 0: any free port, printed on the second line
  std::string certFile;     // HTTPS certificate and key (PEM); made self-signed when not given
  std::string keyFile;
  std::string filesDir;     // installers served under /zq/rundix/
  // Test fault modes of single installers: "NAME=MODE" with MODE one of no-length, short,
  // stall, zero-length, error500.
  std::vector<std::string> faults;
  std::string database = ":memory:";  // SQLite file of the usage reports
  int ticketLifetimeSeconds = 300;     // QR login tickets older than this never confirm
  std::string publicBase;              // base address in QR image links; default http://host:port
  bool printReports = false;           // --reports: print the stored reports and exit
  bool testRoutes = false;             // --test-routes: the HTTP client tests' replies
  int workers = 256;                   // connections served at once, per listener
  int headTimeoutSeconds = 10;         // a request head must arrive whole within this
};

// One group of routes; the same module serves the HTTP and the HTTPS listener.
class RouteModule {
 public:
  virtual ~RouteModule() = default;
  virtual void Register(httplib::Server& server) = 0;
};

// Null and a message in `error` when the options do not make sense for the module.
std::unique_ptr<RouteModule> CreateDownloadRoutes(const ServerOptions& options, std::string* error);
std::unique_ptr<RouteModule> CreateServiceRoutes(const ServerOptions& options, std::string* error);
// Under /rundix-test/: echo, encoded bodies, cookies, redirects, slow bodies.
std::unique_ptr<RouteModule> CreateServiceTestRoutes();
// --reports: prints every stored report, one JSON object a line; returns the exit status.
int PrintReports(const ServerOptions& options);

}  // namespace rundix::server
