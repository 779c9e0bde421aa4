#include <httplib.h>

#include <iostream>

#include "tools/server/ServerOptions.h"

namespace rundix::server {
namespace {

class ServiceRoutes final : public RouteModule {
 public:
  explicit ServiceRoutes(const ServerOptions& options) : options_(options) {}
  void Register(httplib::Server& /*server*/) override {}

 private:
  ServerOptions options_;
};

}  // namespace

std::unique_ptr<RouteModule> CreateServiceRoutes(const ServerOptions& options, std::string* /*error*/) {
  return std::make_unique<ServiceRoutes>(options);
}

int PrintReports(const ServerOptions& /*options*/) {
  std::cerr << "rundix-server: no reports are stored yet\n";
  return 1;
}

}  // namespace rundix::server
