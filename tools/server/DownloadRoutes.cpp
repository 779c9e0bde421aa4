#include <httplib.h>

#include "tools/server/ServerOptions.h"

namespace rundix::server {
namespace {

class DownloadRoutes final : public RouteModule {
 public:
  explicit DownloadRoutes(const ServerOptions& options) : options_(options) {}
  void Register(httplib::Server& /*server*/) override {}

 private:
  ServerOptions options_;
};

}  // namespace

std::unique_ptr<RouteModule> CreateDownloadRoutes(const ServerOptions& options, std::string* /*error*/) {
  return std::make_unique<DownloadRoutes>(options);
}

}  // namespace rundix::server
