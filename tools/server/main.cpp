// rundix-server: serves the installers under /zq/rundix/ and the Rundix service under
// /rundix/ on loopback. Stops cleanly on SIGTERM or SIGINT.
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "tools/server/GuardedServer.h"
#include "tools/server/ServerOptions.h"
#include "tools/server/ServiceTls.h"

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
         "  --reports              print the stored reports of --db and exit\n"
         "  --test-routes          also serve the HTTP client tests' replies under /rundix-test/\n"
         "  --workers N            connections served at once per listener (default 256)\n"
         "  --head-timeout S       seconds a client has to send a whole request head (default 10)\n";
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
    } else if (arg == "--test-routes") {
      o->testRoutes = true;
    } else if (arg == "--workers") {
      if (!value(&v) || !ParseInt(v, 1, 4096, &o->workers)) return false;
    } else if (arg == "--head-timeout") {
      if (!value(&v) || !ParseInt(v, 1, 3600, &o->headTimeoutSeconds)) return false;
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

  rundix::server::ServingLimits limits;
  limits.workers = static_cast<size_t>(options.workers);
  limits.headTimeout = std::chrono::seconds(options.headTimeoutSeconds);
  std::unique_ptr<httplib::Server> httpServer = rundix::server::MakeGuardedServer(limits);
  httplib::Server& http = *httpServer;
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
  rundix::server::WidenAcceptQueue(http);
  // The modules see the port really bound (the QR links are made from it).
  options.port = port;

  std::unique_ptr<httplib::Server> https;
  int httpsPort = -1;
  std::string error;
  if (options.httpsPort >= 0) {
    rundix::server::TlsIdentity identity;
    bool haveIdentity = false;
    if (!options.certFile.empty() || !options.keyFile.empty()) {
      if (options.certFile.empty() || options.keyFile.empty()) return Usage(std::cerr, 2);
      haveIdentity = rundix::server::LoadTlsIdentity(options.certFile, options.keyFile, &identity, &error);
    } else {
      haveIdentity = rundix::server::MakeSelfSignedIdentity(options.host, &identity, &error);
    }
    if (!haveIdentity) {
      std::cerr << "rundix-server: " << error << "\n";
      return 2;
    }
    // The server takes its own references to the certificate and the key.
    https = rundix::server::MakeGuardedTlsServer(identity.certificate.get(), identity.key.get(), limits);
    if (!https->is_valid()) {
      std::cerr << "rundix-server: the HTTPS listener cannot use the certificate\n";
      return 1;
    }
    httpsPort = options.httpsPort;
    if (httpsPort == 0) {
      httpsPort = https->bind_to_any_port(options.host);
    } else if (!https->bind_to_port(options.host, httpsPort)) {
      httpsPort = -1;
    }
    if (httpsPort <= 0) {
      std::cerr << "rundix-server: cannot listen on " << options.host << ":" << options.httpsPort << "\n";
      return 1;
    }
    rundix::server::WidenAcceptQueue(*https);
  }

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
  std::unique_ptr<rundix::server::RouteModule> testRoutes;
  if (options.testRoutes) testRoutes = rundix::server::CreateServiceTestRoutes();
  // A handler that throws answers 500 and the server keeps serving.
  auto onException = [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    res.status = 500;
    res.set_content("{\"code\":500,\"msg\":\"internal error\"}", "application/json; charset=utf-8");
  };
  for (httplib::Server* server : {&http, https.get()}) {
    if (!server) continue;
    downloads->Register(*server);
    service->Register(*server);
    if (testRoutes) testRoutes->Register(*server);
    server->set_exception_handler(onException);
  }

  std::cout << port << std::endl;
  if (https) std::cout << httpsPort << std::endl;

  // A stop that comes before a listener is running is lost on it: keep asking until both
  // have returned.
  std::atomic<bool> httpDone{false};
  std::atomic<bool> httpsDone{!https};
  std::thread httpsListener;
  if (https) {
    httpsListener = std::thread([&] {
      https->listen_after_bind();
      httpsDone = true;
    });
  }
  std::thread signalWaiter([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    while (!httpDone || !httpsDone) {
      http.stop();
      if (https) https->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  http.listen_after_bind();
  httpDone = true;
  // listen_after_bind also returns when the socket fails: wake the waiter in every case.
  pthread_kill(signalWaiter.native_handle(), SIGTERM);
  signalWaiter.join();
  if (httpsListener.joinable()) httpsListener.join();
  return 0;
}
