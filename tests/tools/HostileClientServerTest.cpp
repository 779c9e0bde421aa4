// rundix-server facing clients that do not play fair: heads sent slowly or without end,
// floods of login tickets, byte ranges, report parameters that are not UTF-8. Spoken to over
// plain sockets so the test controls every byte and every pause.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/ServedFiles.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct RawReply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class RawConnection {
 public:
  explicit RawConnection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~RawConnection() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return fd_ >= 0; }

  bool Send(const std::string& data) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < data.size()) {
      ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
  }

  // One reply with a Content-Length body; nothing on a time-out, a close or a bad reply.
  std::optional<RawReply> Read(milliseconds timeout) {
    Clock::time_point deadline = Clock::now() + timeout;
    size_t headEnd;
    while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
      if (!Receive(deadline)) return std::nullopt;
    }
    RawReply reply;
    std::string head = pending_.substr(0, headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string statusLine = head.substr(0, lineEnd);
    if (statusLine.size() < 12 || statusLine.compare(0, 5, "HTTP/") != 0) return std::nullopt;
    reply.status = std::atoi(statusLine.c_str() + 9);
    size_t pos = lineEnd;
    while (pos != std::string::npos && pos < head.size()) {
      size_t next = head.find("\r\n", pos + 2);
      std::string line = head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t start = line.find_first_not_of(' ', colon + 1);
        reply.headers[name] = start == std::string::npos ? "" : line.substr(start);
      }
      pos = next;
    }
    size_t length = reply.headers.count("content-length") ? std::stoul(reply.headers["content-length"]) : 0;
    pending_.erase(0, headEnd + 4);
    while (pending_.size() < length) {
      if (!Receive(deadline)) return std::nullopt;
    }
    reply.body = pending_.substr(0, length);
    pending_.erase(0, length);
    return reply;
  }

  // True when the server ends the connection within `timeout` (whatever it sends first).
  bool ClosedWithin(milliseconds timeout) {
    Clock::time_point deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
      if (!Receive(deadline)) return closed_;
    }
    return false;
  }

 private:
  bool Receive(Clock::time_point deadline) {
    if (fd_ < 0 || closed_) return false;
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[16384];
    ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool closed_ = false;
  std::string pending_;
};

std::string GetRequest(const std::string& target, const std::string& extraHeaders = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

std::optional<RawReply> Fetch(int port, const std::string& target, const std::string& extraHeaders = "") {
  RawConnection connection(port);
  if (!connection.Send(GetRequest(target, extraHeaders))) return std::nullopt;
  return connection.Read(milliseconds(5000));
}

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) return Json::Value();
  return value;
}

TEST(HostileClientServerTest, SixtyFourSlowClientsDoNotDelayANormalRequest) {
  test::ServerProcess server;
  ASSERT_TRUE(server.running());
  // Each slow client sends its head one line every half second, well inside any read time-out.
  std::vector<std::unique_ptr<RawConnection>> slow;
  for (int i = 0; i < 64; ++i) {
    slow.push_back(std::make_unique<RawConnection>(server.port()));
    ASSERT_TRUE(slow.back()->connected());
    slow.back()->Send("GET /rundix/api/loginqrcode?appid=1&time=1 HTTP/1.1\r\n");
  }
  std::atomic<bool> done{false};
  std::thread dribble([&] {
    for (int line = 0; !done; ++line) {
      for (auto& c : slow) c->Send("X-Slow-" + std::to_string(line) + ": 1\r\n");
      std::this_thread::sleep_for(milliseconds(500));
    }
  });
  std::this_thread::sleep_for(milliseconds(700));  // every slow client is being served by now
  for (int i = 0; i < 5; ++i) {
    Clock::time_point start = Clock::now();
    std::optional<RawReply> reply = Fetch(server.port(), "/rundix/api/loginqrcode?appid=1&time=1", "Connection: close\r\n");
    auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    ASSERT_TRUE(reply) << "request " << i;
    EXPECT_EQ(reply->status, 200);
    EXPECT_LT(took.count(), 1000) << "request " << i;
  }
  done = true;
  dribble.join();
}

TEST(HostileClientServerTest, AHeadThatNeverEndsIsCutAtItsDeadlineAndBySize) {
  test::ServerProcess server({"--head-timeout", "1"});
  ASSERT_TRUE(server.running());
  RawConnection dribbling(server.port());
  ASSERT_TRUE(dribbling.Send("GET / HTTP/1.1\r\n"));
  Clock::time_point start = Clock::now();
  bool closed = false;
  // Sends a line every 200 ms for up to 6 s; the server must hang up long before.
  for (int i = 0; i < 30 && !closed; ++i) {
    dribbling.Send("X-Line-" + std::to_string(i) + ": 1\r\n");
    closed = dribbling.ClosedWithin(milliseconds(200));
  }
  EXPECT_TRUE(closed);
  EXPECT_GE(Clock::now() - start, milliseconds(900));  // not before the deadline
  RawConnection huge(server.port());
  huge.Send("GET / HTTP/1.1\r\nX-Big: " + std::string(200000, 'a'));
  EXPECT_TRUE(huge.ClosedWithin(milliseconds(3000)));

  std::optional<RawReply> normal = Fetch(server.port(), "/rundix/behavior/action?a=1");
  ASSERT_TRUE(normal);
  EXPECT_EQ(normal->status, 200);
  // A keep-alive connection gets a fresh deadline for each request and serves several.
  RawConnection keepAlive(server.port());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(keepAlive.Send(GetRequest("/rundix/behavior/action?n=" + std::to_string(i))));
    std::optional<RawReply> reply = keepAlive.Read(milliseconds(3000));
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(reply->status, 200);
    std::this_thread::sleep_for(milliseconds(600));
  }
}

TEST(HostileClientServerTest, ATicketFloodDoesNotStopANewUsersLogin) {
  test::ServerProcess server;
  ASSERT_TRUE(server.running());
  // 10,000 tickets, more than the old table of open tickets held, over keep-alive connections.
  std::atomic<int> made{0};
  std::vector<std::thread> flood;
  for (int t = 0; t < 4; ++t) {
    flood.emplace_back([&] {
      for (int c = 0; c < 25; ++c) {
        RawConnection connection(server.port());
        for (int i = 0; i < 100; ++i) {
          if (!connection.Send(GetRequest("/rundix/api/loginqrcode?appid=x&time=1"))) break;
          std::optional<RawReply> reply = connection.Read(milliseconds(5000));
          if (!reply) break;
          if (reply->status == 200) ++made;
        }
      }
    });
  }
  for (auto& t : flood) t.join();
  EXPECT_EQ(made.load(), 10000);

  std::optional<RawReply> qr = Fetch(server.port(), "/rundix/api/loginqrcode?appid=x&time=2");
  ASSERT_TRUE(qr);
  ASSERT_EQ(qr->status, 200);
  std::string ticket = ParseJson(qr->body)["data"]["ticket"].asString();
  ASSERT_EQ(ticket.size(), 32u);
  std::optional<RawReply> image = Fetch(server.port(), "/rundix/qrcode/" + ticket + ".png");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->status, 200);
  std::optional<RawReply> confirm = Fetch(server.port(), "/rundix/api/loginconfirm?ticket=" + ticket + "&openid=new_user");
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->status, 200);
  std::optional<RawReply> query = Fetch(server.port(), "/rundix/api/loginquery?ticket=" + ticket + "&time=3");
  ASSERT_TRUE(query);
  EXPECT_EQ(ParseJson(query->body)["data"]["openid"].asString(), "new_user");

  // Tickets carry a signature: a changed digit, or a made-up ticket, is unknown.
  std::string altered = ticket;
  altered[3] = altered[3] == '0' ? '1' : '0';
  for (const std::string& forged : {altered, std::string(32, '0'), ticket.substr(0, 16) + std::string(16, 'f')}) {
    std::optional<RawReply> reply = Fetch(server.port(), "/rundix/api/loginconfirm?ticket=" + forged);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 404) << forged;
    reply = Fetch(server.port(), "/rundix/qrcode/" + forged + ".png");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 404) << forged;
  }
}

class RangeRequestServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.path() + "/files");
    std::ofstream(dir.path() + "/files/setup.exe", std::ios::binary) << content;
    std::ofstream(dir.path() + "/files/empty.exe", std::ios::binary);
    std::ofstream(dir.path() + "/files/cut.exe", std::ios::binary) << content;
    server = std::make_unique<test::ServerProcess>(
        std::vector<std::string>{"--files", dir.path() + "/files", "--fault", "cut.exe=short"});
    ASSERT_TRUE(server->running());
  }
  RawReply Ranged(const std::string& name, const std::string& range) {
    std::optional<RawReply> reply = Fetch(server->port(), "/zq/rundix/" + name, "Range: " + range + "\r\n");
    EXPECT_TRUE(reply) << range;
    return reply ? *reply : RawReply();
  }

  test::TempDir dir;
  std::string content = test::PatternBytes(100000);
  std::unique_ptr<test::ServerProcess> server;
};

TEST_F(RangeRequestServerTest, OneRangeIs206WithItsContentRange) {
  struct Case {
    const char* range;
    size_t first, last;
  } cases[] = {
      {"bytes=0-10", 0, 10},           {"bytes=99990-", 99990, 99999}, {"bytes=-5", 99995, 99999},
      {"bytes=500-200000", 500, 99999}, {"bytes=-200000", 0, 99999},    {"bytes=7-7", 7, 7},
  };
  for (const Case& c : cases) {
    RawReply reply = Ranged("setup.exe", c.range);
    EXPECT_EQ(reply.status, 206) << c.range;
    EXPECT_EQ(reply.headers["content-range"],
              "bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + "/100000")
        << c.range;
    EXPECT_EQ(reply.body, content.substr(c.first, c.last - c.first + 1)) << c.range;
  }
}

TEST_F(RangeRequestServerTest, OtherRangesGetTheWholeFileOrA416) {
  // Several ranges: the whole file, 200, no Content-Range.
  for (const char* range : {"bytes=0-10,20-30", "bytes=0-1,0-1,0-1", "bytes=0-1,-1"}) {
    RawReply reply = Ranged("setup.exe", range);
    EXPECT_EQ(reply.status, 200) << range;
    EXPECT_EQ(reply.headers.count("content-range"), 0u) << range;
    EXPECT_EQ(reply.body, content) << range;
  }
  for (const char* range : {"bytes=100000-", "bytes=200000-300000", "bytes=-0"}) {
    RawReply reply = Ranged("setup.exe", range);
    EXPECT_EQ(reply.status, 416) << range;
    EXPECT_EQ(reply.headers["content-range"], "bytes */100000") << range;
    EXPECT_TRUE(reply.body.empty()) << range;
  }
  EXPECT_EQ(Ranged("empty.exe", "bytes=0-").status, 416);
  // A header cpp-httplib cannot read (a reversed range, another unit) is refused before any
  // route sees it: 416, never a part passed off as the whole.
  for (const char* range : {"bytes=10-5", "items=0-1", "BYTES=1-2"}) {
    RawReply reply = Ranged("setup.exe", range);
    EXPECT_EQ(reply.status, 416) << range;
    EXPECT_TRUE(reply.body.empty()) << range;
  }
  // Ranges on anything else are ignored, not half-applied.
  RawReply missing = Ranged("nothing.exe", "bytes=2-3");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, "not found\n");
  RawReply report = *Fetch(server->port(), "/rundix/behavior/action?x=1", "Range: bytes=0-1\r\n");
  EXPECT_EQ(report.status, 200);
  EXPECT_EQ(ParseJson(report.body)["code"].asInt(), 200);
  // A test fault keeps its own behaviour: declared whole, half sent.
  RawConnection cut(server->port());
  cut.Send(GetRequest("/zq/rundix/cut.exe", "Range: bytes=0-10\r\n"));
  EXPECT_FALSE(cut.Read(milliseconds(3000)));
}

TEST(HostileClientServerTest, ReportParametersThatAreNotUtf8KeepTheirBytes) {
  test::TempDir dir;
  std::string database = dir.path() + "/reports.db";
  {
    test::ServerProcess server({"--db", database});
    ASSERT_TRUE(server.running());
    for (const std::string& query : {std::string("bad=%FF%FEx&%C3=ok&good=%E4%BF%AE&nul=a%00b&over=%C0%AF"),
                                     std::string("raw=\xFF\xFE&ok=1")}) {
      std::optional<RawReply> reply = Fetch(server.port(), "/rundix/behavior/action?" + query);
      ASSERT_TRUE(reply);
      EXPECT_EQ(reply->status, 200);
    }
    EXPECT_EQ(server.Stop(), 0);
  }
  std::vector<Json::Value> reports = test::StoredReports(database);
  ASSERT_EQ(reports.size(), 2u);
  const Json::Value& params = reports[0]["params"];
  ASSERT_EQ(params.size(), 5u);
  EXPECT_EQ(reports[0]["query"].asString(), "bad=%FF%FEx&%C3=ok&good=%E4%BF%AE&nul=a%00b&over=%C0%AF");
  // Not UTF-8: percent-encoded and marked.
  EXPECT_EQ(params[0], ParseJson(R"(["bad","%FF%FEx","percent-encoded"])"));
  EXPECT_EQ(params[1], ParseJson(R"(["%C3","ok","percent-encoded"])"));
  EXPECT_EQ(params[4], ParseJson(R"(["over","%C0%AF","percent-encoded"])"));
  // UTF-8 (a NUL included) stays a plain pair.
  EXPECT_EQ(params[2], ParseJson("[\"good\",\"\xE4\xBF\xAE\"]"));
  ASSERT_EQ(params[3].size(), 2u);
  EXPECT_EQ(params[3][1].asString(), std::string("a\0b", 3));
  // A raw query that is not UTF-8 is stored as sent and shown percent-encoded.
  EXPECT_EQ(reports[1]["query"].asString(), "raw%3D%FF%FE%26ok%3D1");
  EXPECT_EQ(reports[1]["query_encoding"].asString(), "percent-encoded");
  EXPECT_EQ(reports[1]["params"][0], ParseJson(R"(["raw","%FF%FE","percent-encoded"])"));
}

}  // namespace
}  // namespace rundix
