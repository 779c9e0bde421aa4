// The HTTP client over the real WinHTTP under Wine, against the rundix-server the test run
// started (RUNDIX_TEST_HTTP, RUNDIX_TEST_HTTPS). The cases that need the server's test
// replies run when it serves them (--test-routes).
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/NyWinHttp.h"
#include "net/ServiceApi.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace KUM {
namespace {

std::wstring FromEnv(const char* name) {
  const char* value = std::getenv(name);
  return value ? rundix::WideFromUtf8(value) : std::wstring();
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class NyWinHttpWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    http_ = FromEnv("RUNDIX_TEST_HTTP");
    https_ = FromEnv("RUNDIX_TEST_HTTPS");
    if (http_.empty()) GTEST_SKIP() << "no test server: RUNDIX_TEST_HTTP is not set (ctest's wine_environment fixture starts one)";
  }
  std::wstring Http(const std::wstring& path) const { return L"http://" + http_ + path; }
  bool HaveTestRoutes() {
    NyWinHttp probe(m);
    return probe.Request(nullptr, Http(L"/rundix-test/echo"));
  }

  std::unique_ptr<rundix::test::TestMachine> host = rundix::test::MakeTestMachine();
  rundix::Machine& m = host->machine();
  NyWinHttp client{m};
  std::wstring http_;
  std::wstring https_;
};

TEST_F(NyWinHttpWin32Test, TheQrLoginRunsEndToEnd) {
  std::optional<rundix::LoginQrCode> qr = rundix::RequestLoginQrCode(m, http_);
  ASSERT_TRUE(qr.has_value());
  ASSERT_EQ(qr->ticket.size(), 32u);
  EXPECT_EQ(qr->codeUrl, L"http://" + http_ + L"/rundix/qrcode/" + qr->ticket + L".png");
  EXPECT_FALSE(rundix::RequestLoginQuery(m, qr->ticket, http_).has_value());

  // The image is a PNG.
  ASSERT_TRUE(client.Request(client.CancelEvent(), qr->codeUrl));
  EXPECT_EQ(client.contentType, L"image/png");
  ASSERT_GT(client.body.GetSize(), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(client.body.GetData()), 8), std::string("\x89PNG\r\n\x1a\n", 8));

  // The phone's scan, then the query answers with the account id.
  NyWinHttp phone(m);
  ASSERT_TRUE(phone.Request(phone.CancelEvent(),
                            Http(L"/rundix/api/loginconfirm?ticket=" + qr->ticket + L"&openid=wine_user_1")));
  std::optional<std::wstring> openid = rundix::RequestLoginQuery(m, qr->ticket, http_);
  ASSERT_TRUE(openid.has_value());
  EXPECT_EQ(*openid, L"wine_user_1");
}

TEST_F(NyWinHttpWin32Test, ServiceRepliesArriveGzippedAndAreInflated) {
  // The service compresses its JSON for a client that accepts gzip, as this one does.
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix/api/loginqrcode?appid=&time=1")));
  EXPECT_EQ(client.contentEncoding, L"gzip");
  std::string text = client.GetResponseText();
  EXPECT_EQ(text.rfind("{\"code\":200,", 0), 0u) << text;
  EXPECT_EQ(text.back(), '}');
}

TEST_F(NyWinHttpWin32Test, TheRequestGoesOutWithTheFixedHeaderSet) {
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix/api/loginqrcode?appid=&time=-7")));
  EXPECT_EQ(client.requestTarget, L"/rundix/api/loginqrcode?appid=&time=-7");
  EXPECT_EQ(client.requestHeaders.rfind(L"GET /rundix/api/loginqrcode?appid=&time=-7 HTTP/1.1\r\n", 0), 0u)
      << rundix::Utf8FromWide(client.requestHeaders);
  for (const wchar_t* line : {L"\r\nAccept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n",
                              L"\r\nAccept-Encoding: gzip,deflate\r\n", L"\r\nAccept-Language: zh-cn\r\n",
                              L"\r\nUser-Agent: Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.31"}) {
    EXPECT_NE(client.requestHeaders.find(line), std::wstring::npos)
        << rundix::Utf8FromWide(line) << " in " << rundix::Utf8FromWide(client.requestHeaders);
  }
  EXPECT_EQ(client.responseHeaders.rfind(L"HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(client.statusText, L"正在接收数据(100%) ...");
}

TEST_F(NyWinHttpWin32Test, HttpsWithASelfSignedCertificateSucceeds) {
  ASSERT_FALSE(https_.empty()) << "RUNDIX_TEST_HTTPS names no listener";
  ASSERT_TRUE(client.Request(client.CancelEvent(), L"https://" + https_ + L"/rundix/api/loginqrcode?appid=&time=1"))
      << rundix::Utf8FromWide(client.statusText);
  EXPECT_EQ(client.GetResponseText().rfind("{\"code\":200,", 0), 0u);
}

TEST_F(NyWinHttpWin32Test, CancelAndConnectionFailuresStop) {
  ASSERT_TRUE(rundix::SetEventHandle(client.CancelEvent()));
  EXPECT_FALSE(client.Request(client.CancelEvent(), Http(L"/rundix/api/loginqrcode?appid=&time=1")));
  EXPECT_EQ(client.statusText, L"已停止");
  EXPECT_EQ(client.statusCode, 0);

  NyWinHttp unreachable(m);
  unreachable.connectTimeout = 2000;
  EXPECT_FALSE(unreachable.Request(nullptr, L"http://127.0.0.1:9/"));
  EXPECT_EQ(unreachable.statusText, L"已停止");
}

TEST_F(NyWinHttpWin32Test, BadRequestsGetNoAnswer) {
  EXPECT_FALSE(client.Request(client.CancelEvent(), Http(L"/rundix/api/loginquery?ticket=&time=1")));
  EXPECT_EQ(client.statusCode, 400);
  EXPECT_FALSE(rundix::RequestLoginQuery(m, L"0123456789abcdef0123456789abcdef", http_).has_value());
}

TEST_F(NyWinHttpWin32Test, BodyAfterAtIsPosted) {
  if (!HaveTestRoutes()) GTEST_SKIP() << "the server gives no test replies (start it with --test-routes)";
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/echo@a=1&b=2")));
  std::string echo = client.GetResponseText();
  EXPECT_TRUE(Contains(echo, "POST /rundix-test/echo\n")) << echo;
  EXPECT_TRUE(Contains(echo, "Content-Type: application/x-www-form-urlencoded\n")) << echo;
  EXPECT_TRUE(Contains(echo, "\n\na=1&b=2")) << echo;
  EXPECT_TRUE(Contains(echo, "Host: " + rundix::Utf8FromWide(http_) + "\n")) << echo;
}

TEST_F(NyWinHttpWin32Test, UnsafeCharactersInTheUrlAreEscaped) {
  if (!HaveTestRoutes()) GTEST_SKIP() << "the server gives no test replies (start it with --test-routes)";
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/echo?v=a b&w=\u4fee\"<>")));
  std::string echo = client.GetResponseText();
  EXPECT_TRUE(Contains(echo, "GET /rundix-test/echo?v=a%20b&w=%E4%BF%AE%22%3C%3E\n")) << echo;
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/echo?c=[\\]^`{|}%25~'!$()*,;:")));
  echo = client.GetResponseText();
  EXPECT_TRUE(Contains(echo, "GET /rundix-test/echo?c=%5B%5C%5D%5E%60%7B%7C%7D%25~'!$()*,;:\n")) << echo;
}

TEST_F(NyWinHttpWin32Test, EncodedBodiesAndCookies) {
  if (!HaveTestRoutes()) GTEST_SKIP() << "the server gives no test replies (start it with --test-routes)";
  std::string reply = "{\"code\":200,\"data\":{\"code_url\":\"http://x/qr/1.png\",\"ticket\":\"1\"}}";
  for (const wchar_t* encoding : {L"gzip", L"deflate", L"zlib-as-deflate", L"zlib-as-gzip"}) {
    NyWinHttp c(m);
    ASSERT_TRUE(c.Request(c.CancelEvent(), Http(L"/rundix-test/body?text=" + rundix::WideFromUtf8(reply) +
                                                L"&encoding=" + encoding)));
    EXPECT_EQ(c.GetResponseText(), reply) << rundix::Utf8FromWide(encoding);
  }
  NyWinHttp plain(m);
  ASSERT_TRUE(plain.Request(plain.CancelEvent(), Http(L"/rundix-test/body?text=abc%00def&length=0")));
  EXPECT_EQ(plain.GetResponseText(), "abc");
  EXPECT_EQ(plain.statusText, L"正在接收数据(0%) ...");

  ASSERT_TRUE(client.Request(client.CancelEvent(),
                             Http(L"/rundix-test/cookie?set=sid%3Dabc%3B%20path%3D%2F%3B%20domain%3D127.0.0.1&set=b%3D2")));
  EXPECT_EQ(client.cookieJar.size(), 4u);
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/cookie")));
  EXPECT_EQ(client.GetResponseText(), "cookie: sid=abc; path=/; domain=127.0.0.1; b=2");
}

TEST_F(NyWinHttpWin32Test, ReportsReachTheServiceUnescaped) {
  if (!HaveTestRoutes()) GTEST_SKIP() << "the server gives no test replies (start it with --test-routes)";
  rundix::ReportAction(m, L"wine", L"a&b c", http_);
  rundix::ReportBackhaul(m, L"appstart", L"", http_);
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/reports")));
  std::string reports = client.GetResponseText();
  EXPECT_TRUE(Contains(reports, "\"query\":\"mac=&channel=rundix_vorb&version=1.0.0.1&main=wine&sub=a&b%20c\"")) << reports;
  EXPECT_TRUE(Contains(reports, "\"query\":\"id=&action=appstart&channel=rundix_vorb&version=1.0.0.1&key1=\"")) << reports;
}

TEST_F(NyWinHttpWin32Test, A302WithRedirectsDisabledKeepsTheLocation) {
  if (!HaveTestRoutes()) GTEST_SKIP() << "the server gives no test replies (start it with --test-routes)";
  client.followRedirects = false;
  EXPECT_FALSE(client.Request(client.CancelEvent(), Http(L"/rundix-test/redirect?to=/rundix-test/echo")));
  EXPECT_EQ(client.statusCode, 302);
  EXPECT_EQ(client.location, L"/rundix-test/echo");
}

}  // namespace
}  // namespace KUM
