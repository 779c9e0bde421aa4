// The service calls against a real rundix-server: usage reports as the server stores them
// (read back with --reports), and the QR login end to end, the phone's scan included (the QR
// image is decoded with zbarimg and its address followed).
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "net/NyWinHttp.h"
#include "net/ServiceApi.h"
#include "platform/Text.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using test::RunCommand;
using test::ServerProcess;
using test::StoredReports;

class ServiceApiServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.running()); }

  test::TempDir dir;
  std::string database = dir.path() + "/reports.db";
  ServerProcess server{{"--db", database}};
  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine(R"({"time": 1700000000})");
  Machine& m = host->machine();
};

TEST_F(ServiceApiServerTest, StartUpReportsAreStoredAsSent) {
  ReportAction(m, L"page", L"start", server.waddress());
  ReportBackhaul(m, L"appstart", L"", server.waddress());
  std::vector<Json::Value> reports = StoredReports(database);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]["endpoint"].asString(), "action");
  EXPECT_EQ(reports[0]["query"].asString(), "mac=&channel=rundix_vorb&version=1.0.0.1&main=page&sub=start");
  EXPECT_EQ(reports[0]["params"][3][0].asString(), "main");
  EXPECT_EQ(reports[0]["params"][3][1].asString(), "page");
  EXPECT_EQ(reports[1]["endpoint"].asString(), "backhaul");
  EXPECT_EQ(reports[1]["query"].asString(), "id=&action=appstart&channel=rundix_vorb&version=1.0.0.1&key1=");
  EXPECT_GT(reports[1]["time"].asInt64(), 0);
}

TEST_F(ServiceApiServerTest, ReportValuesAreNotEscaped) {
  // '&' and '=' in a value make more parameters at the server; only the transport escapes a
  // blank, as WinINet does.
  ReportAction(m, L"a&b=1", L"x y", server.waddress());
  std::vector<Json::Value> reports = StoredReports(database);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0]["query"].asString(), "mac=&channel=rundix_vorb&version=1.0.0.1&main=a&b=1&sub=x%20y");
  const Json::Value& params = reports[0]["params"];
  ASSERT_EQ(params.size(), 6u);
  EXPECT_EQ(params[3][1].asString(), "a");
  EXPECT_EQ(params[4][0].asString(), "b");
  EXPECT_EQ(params[4][1].asString(), "1");
  EXPECT_EQ(params[5][1].asString(), "x y");
}

TEST_F(ServiceApiServerTest, AnUnreachableServiceCostsAReportNothing) {
  ReportAction(m, L"page", L"start", L"127.0.0.1:9");
  EXPECT_TRUE(StoredReports(database).empty());
}

TEST_F(ServiceApiServerTest, TheQrLoginRunsEndToEnd) {
  std::optional<LoginQrCode> qr = RequestLoginQrCode(m, server.waddress());
  ASSERT_TRUE(qr.has_value());
  ASSERT_EQ(qr->ticket.size(), 32u);
  ASSERT_FALSE(qr->codeUrl.empty());

  // Not scanned yet: no answer, however often asked.
  EXPECT_FALSE(RequestLoginQuery(m, qr->ticket, server.waddress()).has_value());
  EXPECT_FALSE(RequestLoginQuery(m, qr->ticket, server.waddress()).has_value());

  // The image, as the login window downloads it.
  std::wstring png = WideFromUtf8(dir.path()) + L"/code.png";
  KUM::NyWinHttp image(m);
  ASSERT_TRUE(image.Request(image.CancelEvent(), qr->codeUrl));
  EXPECT_EQ(image.contentType, L"image/png");
  {
    std::ofstream out(Utf8FromWide(png), std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.body.GetData()), image.body.GetSize());
  }
  // The phone reads the code and opens the address it holds.
  std::string scanned = RunCommand("zbarimg --quiet --raw " + Utf8FromWide(png) + " 2>/dev/null");
  while (!scanned.empty() && (scanned.back() == '\n' || scanned.back() == '\r')) scanned.pop_back();
  ASSERT_EQ(scanned, "http://" + server.address() + "/rundix/api/loginconfirm?ticket=" + Utf8FromWide(qr->ticket));
  KUM::NyWinHttp phone(m);
  ASSERT_TRUE(phone.Request(phone.CancelEvent(), WideFromUtf8(scanned)));
  std::optional<std::wstring> assigned = ReadLoginQueryReply(phone.GetResponseText());
  ASSERT_TRUE(assigned.has_value());
  EXPECT_FALSE(assigned->empty());

  std::optional<std::wstring> openid = RequestLoginQuery(m, qr->ticket, server.waddress());
  ASSERT_TRUE(openid.has_value());
  EXPECT_EQ(*openid, *assigned);
  // A second scan changes nothing.
  ASSERT_TRUE(phone.Request(phone.CancelEvent(), WideFromUtf8(scanned + "&openid=someone_else")));
  EXPECT_EQ(RequestLoginQuery(m, qr->ticket, server.waddress()).value_or(L"-"), *assigned);
}

TEST_F(ServiceApiServerTest, EveryQrCodeHasItsOwnTicket) {
  std::optional<LoginQrCode> a = RequestLoginQrCode(m, server.waddress());
  std::optional<LoginQrCode> b = RequestLoginQrCode(m, server.waddress());
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->ticket, b->ticket);
  EXPECT_NE(a->codeUrl, b->codeUrl);
}

TEST_F(ServiceApiServerTest, UnknownAndExpiredTicketsNeverLogIn) {
  EXPECT_FALSE(RequestLoginQuery(m, L"0123456789abcdef0123456789abcdef", server.waddress()).has_value());

  ServerProcess shortLived({"--ticket-lifetime", "1"});
  ASSERT_TRUE(shortLived.running());
  std::optional<LoginQrCode> qr = RequestLoginQrCode(m, shortLived.waddress());
  ASSERT_TRUE(qr.has_value());
  std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  KUM::NyWinHttp phone(m);
  EXPECT_FALSE(phone.Request(phone.CancelEvent(), L"http://" + shortLived.waddress() +
                                                      L"/rundix/api/loginconfirm?ticket=" + qr->ticket));
  EXPECT_EQ(phone.statusCode, 410);
  EXPECT_FALSE(RequestLoginQuery(m, qr->ticket, shortLived.waddress()).has_value());
}

TEST_F(ServiceApiServerTest, NoServiceNoAnswer) {
  EXPECT_FALSE(RequestLoginQrCode(m, L"127.0.0.1:9").has_value());
  EXPECT_FALSE(RequestLoginQuery(m, L"t", L"127.0.0.1:9").has_value());
}

}  // namespace
}  // namespace rundix
