// rundix-server's service half at the HTTP level: reports, the QR login protocol, bad
// requests, the HTTPS listener and --reports.
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/sim/CurlRequest.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using test::RunCommand;

using test::ServerProcess;

struct Reply {
  bool ok = false;
  long status = 0;
  std::string contentType;
  std::string body;
  Json::Value json;
};

Reply Get(const std::string& url, bool verifyTls = false) {
  Reply reply;
  CurlRequest request;
  CurlRequestOptions options;
  options.url = url;
  options.verifyTls = verifyTls;
  options.connectTimeoutMs = 5000;
  if (!request.Open(options)) return reply;
  reply.status = request.Status();
  auto types = request.HeaderValues("Content-Type");
  if (!types.empty()) reply.contentType = types.front();
  char buffer[16384];
  long n;
  while ((n = request.Read(buffer, sizeof(buffer))) > 0) reply.body.append(buffer, static_cast<size_t>(n));
  if (n < 0) return reply;
  reply.ok = true;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(reply.body);
  if (!Json::parseFromStream(builder, in, &reply.json, &errors)) reply.json = Json::Value();
  return reply;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

class ServiceServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.running()); }
  std::string Url(const std::string& path) const { return "http://" + server.address() + path; }
  std::vector<Json::Value> Reports() { return test::StoredReports(database); }

  test::TempDir dir;
  std::string database = dir.path() + "/service.db";
  ServerProcess server{{"--db", database, "--https-port", "0"}};
};

TEST_F(ServiceServerTest, EveryReportIsAnswered200AndStoredWhole) {
  const std::string queries[] = {
      "mac=&channel=rundix_vorb&version=1.0.0.1&main=page&sub=start",
      "",
      "%zz&&=x&a=%&b=%4",
      "dup=1&dup=2&plus=a+b&enc=%E4%BF%AE",
      "long=" + std::string(4000, 'v'),
  };
  for (const std::string& q : queries) {
    Reply r = Get(Url("/rundix/behavior/backhaul" + (q.empty() ? "" : "?" + q)));
    ASSERT_TRUE(r.ok) << q;
    EXPECT_EQ(r.status, 200) << q;
    EXPECT_EQ(r.json["code"].asInt(), 200) << q;
  }
  std::vector<Json::Value> reports = Reports();
  ASSERT_EQ(reports.size(), 5u);
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i]["endpoint"].asString(), "backhaul");
    EXPECT_EQ(reports[i]["query"].asString(), queries[i]);
    EXPECT_EQ(reports[i]["id"].asInt64(), static_cast<Json::Int64>(i + 1));
  }
  // Parameters: empty parts skipped, broken escapes kept as written, '+' a plus.
  const Json::Value& odd = reports[2]["params"];
  ASSERT_EQ(odd.size(), 4u);
  EXPECT_EQ(odd[0][0].asString(), "%zz");
  EXPECT_EQ(odd[1][0].asString(), "");
  EXPECT_EQ(odd[1][1].asString(), "x");
  EXPECT_EQ(odd[2][1].asString(), "%");
  EXPECT_EQ(odd[3][1].asString(), "%4");
  const Json::Value& dup = reports[3]["params"];
  ASSERT_EQ(dup.size(), 4u);
  EXPECT_EQ(dup[1][1].asString(), "2");
  EXPECT_EQ(dup[2][1].asString(), "a+b");
  EXPECT_EQ(dup[3][1].asString(), "\xE4\xBF\xAE");
}

TEST_F(ServiceServerTest, BadLoginRequestsGetAJsonErrorAndTheServerKeepsServing) {
  const char* bad[] = {
      "/rundix/api/loginqrcode",
      "/rundix/api/loginqrcode?appid=",
      "/rundix/api/loginqrcode?time=1",
      "/rundix/api/loginqrcode?appid=&time=12x",
      "/rundix/api/loginqrcode?appid=&time=2147483648",
      "/rundix/api/loginqrcode?appid=&time=-",
      "/rundix/api/loginqrcode?appid=&time=",
      "/rundix/api/loginquery?time=1",
      "/rundix/api/loginquery?ticket=abc",
      "/rundix/api/loginquery?ticket=%3Cscript%3E&time=1",
      "/rundix/api/loginquery?ticket=&time=1",
      "/rundix/api/loginconfirm",
      "/rundix/api/loginconfirm?ticket=a%20b",
      "/rundix/api/loginconfirm?ticket=abc&openid=x%00y",
  };
  for (const char* path : bad) {
    Reply r = Get(Url(path));
    ASSERT_TRUE(r.ok) << path;
    EXPECT_EQ(r.status, 400) << path;
    EXPECT_EQ(r.json["code"].asInt(), 400) << path << " " << r.body;
    EXPECT_TRUE(r.json["msg"].isString()) << path;
  }
  // None of them is a report, and the service still answers.
  EXPECT_TRUE(Reports().empty());
  Reply r = Get(Url("/rundix/api/loginqrcode?appid=&time=-2147483648"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.json["code"].asInt(), 200);
}

TEST_F(ServiceServerTest, TheQrLoginProtocol) {
  Reply qr = Get(Url("/rundix/api/loginqrcode?appid=&time=1700000000"));
  ASSERT_EQ(qr.status, 200);
  EXPECT_EQ(qr.contentType, "application/json");
  std::string ticket = qr.json["data"]["ticket"].asString();
  ASSERT_EQ(ticket.size(), 32u);
  EXPECT_EQ(qr.json["data"]["code_url"].asString(), Url("/rundix/qrcode/" + ticket + ".png"));

  Reply waiting = Get(Url("/rundix/api/loginquery?ticket=" + ticket + "&time=1"));
  EXPECT_EQ(waiting.status, 200);
  EXPECT_NE(waiting.json["code"].asInt(), 200);
  EXPECT_FALSE(waiting.json.isMember("data"));

  Reply confirmed = Get(Url("/rundix/api/loginconfirm?ticket=" + ticket + "&openid=user_42"));
  EXPECT_EQ(confirmed.status, 200);
  EXPECT_EQ(confirmed.json["data"]["openid"].asString(), "user_42");
  Reply answer = Get(Url("/rundix/api/loginquery?ticket=" + ticket + "&time=2"));
  EXPECT_EQ(answer.json["code"].asInt(), 200);
  EXPECT_EQ(answer.json["data"]["openid"].asString(), "user_42");

  Reply unknown = Get(Url("/rundix/api/loginconfirm?ticket=0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(unknown.status, 404);
  EXPECT_EQ(unknown.json["code"].asInt(), 404);
  Reply unknownImage = Get(Url("/rundix/qrcode/0123456789abcdef0123456789abcdef.png"));
  EXPECT_EQ(unknownImage.status, 404);
}

TEST_F(ServiceServerTest, TheQrImageIsAPngOfTheConfirmAddress) {
  Reply qr = Get(Url("/rundix/api/loginqrcode?appid=&time=1"));
  std::string ticket = qr.json["data"]["ticket"].asString();
  Reply image = Get(qr.json["data"]["code_url"].asString());
  ASSERT_EQ(image.status, 200);
  EXPECT_EQ(image.contentType, "image/png");
  ASSERT_GT(image.body.size(), 33u);
  EXPECT_EQ(image.body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(image.body.substr(12, 4), "IHDR");
  EXPECT_EQ(image.body.substr(16, 4), image.body.substr(20, 4));  // square
  std::string file = dir.path() + "/qr.png";
  std::ofstream(file, std::ios::binary) << image.body;
  EXPECT_EQ(Trimmed(RunCommand("zbarimg --quiet --raw " + file + " 2>/dev/null")),
            Url("/rundix/api/loginconfirm?ticket=" + ticket));
}

TEST_F(ServiceServerTest, ThePublicBaseNamesTheImageAndTheConfirmAddress) {
  ServerProcess behindProxy({"--public-base", "https://login.example.com/"});
  ASSERT_TRUE(behindProxy.running());
  Reply qr = Get("http://" + behindProxy.address() + "/rundix/api/loginqrcode?appid=&time=1");
  std::string ticket = qr.json["data"]["ticket"].asString();
  EXPECT_EQ(qr.json["data"]["code_url"].asString(), "https://login.example.com/rundix/qrcode/" + ticket + ".png");
  Reply image = Get("http://" + behindProxy.address() + "/rundix/qrcode/" + ticket + ".png");
  std::string file = dir.path() + "/proxied.png";
  std::ofstream(file, std::ios::binary) << image.body;
  EXPECT_EQ(Trimmed(RunCommand("zbarimg --quiet --raw " + file + " 2>/dev/null")),
            "https://login.example.com/rundix/api/loginconfirm?ticket=" + ticket);
}

TEST_F(ServiceServerTest, ExpiredTicketsNeverConfirm) {
  ServerProcess shortLived({"--ticket-lifetime", "1"});
  ASSERT_TRUE(shortLived.running());
  std::string base = "http://" + shortLived.address();
  Reply qr = Get(base + "/rundix/api/loginqrcode?appid=&time=1");
  std::string ticket = qr.json["data"]["ticket"].asString();
  std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  Reply late = Get(base + "/rundix/api/loginconfirm?ticket=" + ticket);
  EXPECT_EQ(late.status, 410);
  EXPECT_EQ(late.json["code"].asInt(), 410);
  EXPECT_NE(Get(base + "/rundix/api/loginquery?ticket=" + ticket + "&time=1").json["code"].asInt(), 200);
  EXPECT_EQ(Get(base + "/rundix/qrcode/" + ticket + ".png").status, 410);
}

TEST_F(ServiceServerTest, TheHttpsListenerServesTheSameRoutesWithASelfSignedCertificate) {
  ASSERT_GT(server.httpsPort(), 0);
  std::string base = "https://127.0.0.1:" + std::to_string(server.httpsPort());
  Reply qr = Get(base + "/rundix/api/loginqrcode?appid=&time=1");
  ASSERT_TRUE(qr.ok);
  EXPECT_EQ(qr.json["code"].asInt(), 200);
  EXPECT_TRUE(Get(base + "/rundix/behavior/action?mac=&main=tls").ok);
  EXPECT_EQ(Reports().size(), 1u);
  // A client that checks certificates refuses it: it is self-signed.
  EXPECT_FALSE(Get(base + "/rundix/api/loginqrcode?appid=&time=1", true).ok);
  // And it speaks TLS only.
  EXPECT_FALSE(Get("http://127.0.0.1:" + std::to_string(server.httpsPort()) + "/rundix/api/loginqrcode?appid=&time=1").ok);
}

TEST_F(ServiceServerTest, ACertificateAndKeyCanBeGiven) {
  std::string cert = dir.path() + "/cert.pem";
  std::string key = dir.path() + "/key.pem";
  int status = -1;
  RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout " + key + " -out " +
                 cert + " 2>/dev/null",
             &status);
  ASSERT_EQ(status, 0);
  ServerProcess given({"--https-port", "0", "--cert", cert, "--key", key});
  ASSERT_TRUE(given.running());
  ASSERT_GT(given.httpsPort(), 0);
  EXPECT_TRUE(Get("https://127.0.0.1:" + std::to_string(given.httpsPort()) + "/rundix/api/loginqrcode?appid=&time=1").ok);

  // Half a pair, or files that are none, stop the server at once.
  RunCommand(ServerProcess::Executable() + " --port 0 --https-port 0 --cert " + cert + " 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  RunCommand(ServerProcess::Executable() + " --port 0 --https-port 0 --cert " + key + " --key " + cert + " 2>/dev/null",
             &status);
  EXPECT_EQ(status, 2);
}

TEST_F(ServiceServerTest, ReportsNeedADatabaseFile) {
  int status = -1;
  RunCommand(ServerProcess::Executable() + " --reports 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  RunCommand(ServerProcess::Executable() + " --reports --db " + dir.path() + "/missing.db 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  std::ifstream missing(dir.path() + "/missing.db");
  EXPECT_FALSE(missing.good());  // looking does not create it
  std::ofstream(dir.path() + "/other.db") << "not a database";
  RunCommand(ServerProcess::Executable() + " --reports --db " + dir.path() + "/other.db 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
}

TEST_F(ServiceServerTest, ConcurrentLoginsGetDistinctTickets) {
  std::vector<std::thread> threads;
  std::mutex mutex;
  std::set<std::string> tickets;
  int failures = 0;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 15; ++i) {
        Reply r = Get(Url("/rundix/api/loginqrcode?appid=&time=1"));
        std::lock_guard<std::mutex> lock(mutex);
        if (r.status != 200) ++failures;
        tickets.insert(r.json["data"]["ticket"].asString());
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(tickets.size(), 90u);
}

TEST_F(ServiceServerTest, ASecondServerOnAPortInUseRefusesToStart) {
  // Were it to start, `timeout` would end it with 124; it must refuse at once with 1.
  int status = -1;
  std::string output = RunCommand("timeout 10 " + ServerProcess::Executable() + " --port " +
                                      std::to_string(server.port()) + " --db " + dir.path() + "/second.db 2>&1",
                                  &status);
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("cannot listen"), std::string::npos) << output;
  EXPECT_EQ(Get(Url("/rundix/api/loginqrcode?appid=&time=1")).status, 200);  // the first still serves
}

TEST_F(ServiceServerTest, StopsCleanlyOnSigterm) { EXPECT_EQ(server.Stop(), 0); }

}  // namespace
}  // namespace rundix
