// A real rundix-server on loopback for one test or fixture: started with the given options
// and an HTTP port picked by the system, stopped with SIGTERM by the destructor (Linux only).
#pragma once

#include <gtest/gtest.h>
#include <json/value.h>

#include <string>
#include <vector>

namespace rundix::test {

class ServerProcess {
 public:
  // `arguments` are rundix-server options besides --port (which is always 0 here).
  explicit ServerProcess(std::vector<std::string> arguments = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool running() const { return pid_ > 0 && port_ > 0; }
  int port() const { return port_; }
  // The HTTPS port when --https-port 0 was among the arguments, else 0.
  int httpsPort() const { return httpsPort_; }
  // "127.0.0.1:PORT"
  std::string address() const;
  std::wstring waddress() const;
  // Sends SIGTERM and waits; returns the exit status (or -1 when it did not end in 10 s).
  int Stop();

  // Path of the built server.
  static std::string Executable();

 private:
  int pid_ = -1;
  int port_ = 0;
  int httpsPort_ = 0;
  int stdoutFd_ = -1;
};

// A fixture whose tests share one server with HTTPS and the test replies, started once for
// the suite.
class TestRoutesServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new ServerProcess({"--https-port", "0", "--test-routes"}); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->running()); }

  static std::wstring Http(const std::wstring& path) { return L"http://" + server_->waddress() + path; }
  static std::wstring Https(const std::wstring& path) {
    return L"https://127.0.0.1:" + std::to_wstring(server_->httpsPort()) + path;
  }

  static inline ServerProcess* server_ = nullptr;
};

// Runs a shell command and returns what it printed; its exit status in `status`.
std::string RunCommand(const std::string& command, int* status = nullptr);
// The reports a server stored in `database`, as `rundix-server --reports` prints them.
std::vector<Json::Value> StoredReports(const std::string& database);

}  // namespace rundix::test
