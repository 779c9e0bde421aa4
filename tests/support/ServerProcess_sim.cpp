#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <json/reader.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "tests/support/ServerProcess.h"

extern char** environ;

namespace rundix::test {

namespace {

// Reads one line from `fd`, waiting at most `ms` milliseconds.
bool ReadLine(int fd, std::string* line, int ms) {
  line->clear();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  char c;
  while (std::chrono::steady_clock::now() < deadline) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{0, 50000};
    if (select(fd + 1, &set, nullptr, nullptr, &tv) <= 0) continue;
    ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) return false;
    if (c == '\n') return true;
    line->push_back(c);
  }
  return false;
}

}  // namespace

std::string ServerProcess::Executable() { return std::string(RUNDIX_BINARY_DIR) + "/tools/server/rundix-server"; }

ServerProcess::ServerProcess(std::vector<std::string> arguments) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return;
  std::vector<std::string> args{Executable(), "--port", "0"};
  bool https = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--https-port") https = true;
    args.push_back(arguments[i]);
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  stdoutFd_ = pipeFds[0];
  if (rc != 0) return;
  pid_ = pid;
  std::string line;
  if (ReadLine(stdoutFd_, &line, 10000)) port_ = std::atoi(line.c_str());
  if (https && ReadLine(stdoutFd_, &line, 10000)) httpsPort_ = std::atoi(line.c_str());
}

ServerProcess::~ServerProcess() {
  Stop();
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::vector<Json::Value> StoredReports(const std::string& database) {
  std::vector<Json::Value> reports;
  std::istringstream lines(RunCommand(ServerProcess::Executable() + " --reports --db " + database));
  std::string line;
  Json::CharReaderBuilder builder;
  while (std::getline(lines, line)) {
    Json::Value v;
    std::string errors;
    std::istringstream in(line);
    if (Json::parseFromStream(builder, in, &v, &errors)) reports.push_back(v);
  }
  return reports;
}

std::string ServerProcess::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::wstring ServerProcess::waddress() const {
  std::string a = address();
  return std::wstring(a.begin(), a.end());
}

}  // namespace rundix::test
