// rundix-server: serves the installers under /zq/rundix/ and the Rundix service under
// /rundix/ on loopback. Stops cleanly on SIGTERM or SIGINT.
#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "tools/server/ServerOptions.h"

namespace {

using rundix::server::ServerOptions;

int Usage(std::ostream& out, int status) {
  out << "usage: rundix-server [options]\n"
         "  --host ADDR            address to listen on (default 127.0.0.1)\n"
         "  --port N               HTTP port (default 18480; 0 picks one and prints it)\n"
         "  --https-port N         also serve HTTPS (0 picks one and prints it)\n"
         "  --cert FILE --key FILE certificate and key for HTTPS (default: self-signed)\n"
         "  --files DIR            folder of the installers served under /zq/rundix/\n"
         "  --fault NAME=MODE      test fault of one installer: no-length, short, stall,\n"
         "                         zero-length, error500 (may be repeated)\n"
         "  --db FILE              SQLite database of the usage reports (default: in memory)\n"
         "  --ticket-lifetime S    seconds a QR login ticket stays valid (default 300)\n"
         "  --public-base URL      base address of the QR images (default http://HOST:PORT)\n"
         "  --reports              print the stored reports of --db and exit\n";
  return status;
}

bool ParseInt(const std::string& text, int min, int max, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseOptions(int argc, char** argv, ServerOptions* o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--host") {
      if (!value(&o->host)) return false;
    } else if (arg == "--port") {
      if (!value(&v) || !ParseInt(v, 0, 65535, &o->port)) return false;
    } else if (arg == "--https-port") {
      if (!value(&v) || !ParseInt(v, 0, 65535, &o->httpsPort)) return false;
    } else if (arg == "--cert") {
      if (!value(&o->certFile)) return false;
    } else if (arg == "--key") {
      if (!value(&o->keyFile)) return false;
    } else if (arg == "--files") {
      if (!value(&o->filesDir)) return false;
    } else if (arg == "--fault") {
      if (!value(&v)) return false;
      o->faults.push_back(v);
    } else if (arg == "--db") {
      if (!value(&o->database)) return false;
    } else if (arg == "--ticket-lifetime") {
      if (!value(&v) || !ParseInt(v, 1, 86400 * 365, &o->ticketLifetimeSeconds)) return false;
    } else if (arg == "--public-base") {
      if (!value(&o->publicBase)) return false;
    } else if (arg == "--reports") {
      o->printReports = true;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return Usage(std::cout, 0);
  }
  if (!ParseOptions(argc, argv, &options)) return Usage(std::cerr, 2);
  if (options.printReports) return rundix::server::PrintReports(options);

  // Signals are taken by one thread that stops the listeners.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string error;
  auto downloads = rundix::server::CreateDownloadRoutes(options, &error);
  if (!downloads) {
    std::cerr << "rundix-server: " << error << "\n";
    return 2;
  }
  auto service = rundix::server::CreateServiceRoutes(options, &error);
  if (!service) {
    std::cerr << "rundix-server: " << error << "\n";
    return 2;
  }

  httplib::Server http;
  downloads->Register(http);
  service->Register(http);
  int port = options.port;
  if (port == 0) {
    port = http.bind_to_any_port(options.host);
  } else if (!http.bind_to_port(options.host, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::cerr << "rundix-server: cannot listen on " << options.host << ":" << options.port << "\n";
    return 1;
  }
  std::cout << port << std::endl;

  // The HTTPS listener is added by the service module's certificate handling when asked for.
  std::thread signalWaiter([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    http.stop();
  });
  http.listen_after_bind();
  // listen_after_bind also returns when the socket fails: wake the waiter in every case.
  pthread_kill(signalWaiter.native_handle(), SIGTERM);
  signalWaiter.join();
  return 0;
}
