// The HTTP client against a real rundix-server on loopback (HTTP and HTTPS with a
// self-signed certificate, and the test replies of --test-routes), over the simulated WinHTTP.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/NyWinHttp.h"
#include "platform/Text.h"
#include "platform/sim/SimMachine.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

namespace KUM {
namespace {


class NyWinHttpServerTest : public rundix::test::TestRoutesServerTest {
 protected:
  static std::string Narrow(const std::wstring& text) { return rundix::Utf8FromWide(text); }
  rundix::SimMachine& Sim() { return dynamic_cast<rundix::SimMachine&>(host->machine()); }

  std::unique_ptr<rundix::test::TestMachine> host = rundix::test::MakeTestMachine();
  NyWinHttp http{host->machine()};
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(NyWinHttpServerTest, AGetSendsTheFixedHeaderSetAndKeepsTheExchange) {
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/echo?x=1&y=two")));
  EXPECT_EQ(http.statusCode, 200);
  std::string echo = http.GetResponseText();
  EXPECT_TRUE(Contains(echo, "GET /rundix-test/echo?x=1&y=two\n")) << echo;
  EXPECT_TRUE(Contains(echo, "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\n")) << echo;
  EXPECT_TRUE(Contains(echo, "Accept-Encoding: gzip,deflate\n"));
  EXPECT_TRUE(Contains(echo, "Accept-Language: zh-cn\n"));
  EXPECT_TRUE(Contains(echo, "Connection: Keep-Alive\n"));
  EXPECT_TRUE(Contains(echo, "User-Agent: Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.31"));
  // The empty Host line leaves the platform's own Host header in place.
  EXPECT_TRUE(Contains(echo, "Host: " + server_->address() + "\n")) << echo;
  EXPECT_FALSE(Contains(echo, "Referer"));
  EXPECT_FALSE(Contains(echo, "Authorization"));
  EXPECT_FALSE(Contains(echo, "Content-Type"));

  EXPECT_EQ(http.requestTarget, L"/rundix-test/echo?x=1&y=two");
  EXPECT_EQ(http.requestHeaders.rfind(L"GET /rundix-test/echo?x=1&y=two HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(http.requestHeaders.find(L"\r\nAccept-Language: zh-cn\r\n"), std::wstring::npos);
  EXPECT_EQ(http.responseHeaders.rfind(L"HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(http.responseHeaders, http.responseHeadersWork);
  EXPECT_EQ(http.contentType, L"text/plain");
  EXPECT_EQ(http.host, L"127.0.0.1");
  EXPECT_EQ(http.statusText, L"正在接收数据(100%) ...");
}

TEST_F(NyWinHttpServerTest, FormTextAfterAtIsPostedToTheUrlBeforeIt) {
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/echo@name=修复&x=1 2")));
  EXPECT_EQ(http.url, Http(L"/rundix-test/echo"));
  EXPECT_EQ(http.postData, L"name=修复&x=1 2");
  std::string echo = http.GetResponseText();
  EXPECT_TRUE(Contains(echo, "POST /rundix-test/echo\n")) << echo;
  EXPECT_TRUE(Contains(echo, "Content-Type: application/x-www-form-urlencoded\n"));
  // The body goes out in the ANSI code page (936 on this machine), byte for byte.
  EXPECT_TRUE(Contains(echo, "\n\nname=\xD0\xDE\xB8\xB4&x=1 2")) << echo;

  // With post data given, an '@' in the URL stays where it is.
  NyWinHttp second(host->machine());
  ASSERT_TRUE(second.Request(second.CancelEvent(), Http(L"/rundix-test/echo?mail=a@b"), L"k=v"));
  echo = second.GetResponseText();
  EXPECT_TRUE(Contains(echo, "POST /rundix-test/echo?mail=a@b\n")) << echo;
  EXPECT_TRUE(Contains(echo, "\n\nk=v"));

  NyWinHttp multipart(host->machine());
  multipart.multipartBoundary = L"XyZ";
  ASSERT_TRUE(multipart.Request(multipart.CancelEvent(), Http(L"/rundix-test/echo"),
                                L"--XyZ\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--XyZ--\r\n"));
  EXPECT_TRUE(Contains(multipart.GetResponseText(), "Content-Type: multipart/form-data; boundary=XyZ\n"));
}

TEST_F(NyWinHttpServerTest, UnsafeCharactersInTheUrlAreEscapedAsWinHttpDoes) {
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/echo?v=a b&w=修\"<>")));
  std::string echo = http.GetResponseText();
  EXPECT_TRUE(Contains(echo, "GET /rundix-test/echo?v=a%20b&w=%E4%BF%AE%22%3C%3E\n")) << echo;
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/echo?c=[\\]^`{|}%25~'!$()*,;:")));
  echo = http.GetResponseText();
  EXPECT_TRUE(Contains(echo, "GET /rundix-test/echo?c=%5B%5C%5D%5E%60%7B%7C%7D%25~'!$()*,;:\n")) << echo;
}

TEST_F(NyWinHttpServerTest, HttpsWithASelfSignedCertificateSucceeds) {
  ASSERT_GT(server_->httpsPort(), 0);
  ASSERT_TRUE(http.Request(http.CancelEvent(), Https(L"/rundix-test/echo?secure=1")));
  EXPECT_TRUE(Contains(http.GetResponseText(), "GET /rundix-test/echo?secure=1\n"));
}

TEST_F(NyWinHttpServerTest, WithoutContentLengthThePercentageStaysAtZero) {
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/body?text=abcdefgh&repeat=20000&length=0")));
  EXPECT_EQ(http.contentLength, 0u);
  EXPECT_EQ(http.statusText, L"正在接收数据(0%) ...");
  EXPECT_EQ(http.body.GetSize(), 160000u);

  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/body?text=abcdefgh&repeat=20000")));
  EXPECT_EQ(http.contentLength, 160000u);
  EXPECT_EQ(http.statusText, L"正在接收数据(100%) ...");
}

TEST_F(NyWinHttpServerTest, EncodedRepliesComeBackInflated) {
  std::string reply = "{\"code\":200,\"data\":{\"code_url\":\"http://x/qr/1.png\",\"ticket\":\"1\"}}";
  std::wstring text = rundix::WideFromUtf8(reply);
  for (const wchar_t* encoding : {L"gzip", L"deflate", L"zlib-as-gzip", L"zlib-as-deflate"}) {
    NyWinHttp client(host->machine());
    ASSERT_TRUE(client.Request(client.CancelEvent(),
                               Http(L"/rundix-test/body?text=" + text + L"&encoding=" + encoding)))
        << Narrow(encoding);
    EXPECT_NE(client.contentEncoding, L"");
    EXPECT_EQ(client.GetResponseText(), reply) << Narrow(encoding);
  }
}

TEST_F(NyWinHttpServerTest, APlainBodyEndsAtItsFirstZeroByte) {
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/body?text=abc%00def")));
  EXPECT_EQ(http.contentEncoding, L"");
  EXPECT_EQ(http.body.GetSize(), 7u);
  EXPECT_EQ(http.GetResponseText(), "abc");
}

TEST_F(NyWinHttpServerTest, AnInflatedReplyLargerThanTheFirstBufferComesBackWhole) {
  // 16 x 30000 = 480,000 bytes: the decoder restarts with 655,360 bytes.
  ASSERT_TRUE(http.Request(http.CancelEvent(),
                           Http(L"/rundix-test/body?text=0123456789abcdef&repeat=30000&encoding=gzip")));
  std::string text = http.GetResponseText();
  ASSERT_EQ(text.size(), 480000u);
  for (size_t i = 0; i < text.size(); i += 16) ASSERT_EQ(text.compare(i, 16, "0123456789abcdef"), 0) << i;
}

TEST_F(NyWinHttpServerTest, AnInflateBombStaysAsReceived) {
  // 65 MiB of one character gzipped to some 65 KB: past the cap, the body is not inflated.
  http.receiveTimeout = 60000;  // the server takes its time to make it
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/body?text=0&repeat=68157440&encoding=gzip")));
  unsigned received = http.body.GetSize();
  ASSERT_GT(received, 0u);
  ASSERT_LT(received, 1000000u);
  EXPECT_EQ(http.DecodeBody().GetSize(), received);
  EXPECT_TRUE(http.decoded);
}

TEST_F(NyWinHttpServerTest, ATruncatedCompressedBodyStaysAsReceived) {
  // The server's own Content-Length matches the cut body: only the stream is broken.
  ASSERT_TRUE(http.Request(http.CancelEvent(),
                           Http(L"/rundix-test/body?text=0123456789&repeat=100&encoding=gzip&cut=6")));
  std::string received = rundix::test::StringOf(http.body);
  EXPECT_EQ(rundix::test::StringOf(http.DecodeBody()), received);
  ASSERT_TRUE(http.Request(http.CancelEvent(),
                           Http(L"/rundix-test/body?text=0123456789&repeat=100&encoding=deflate&cut=3")));
  received = rundix::test::StringOf(http.body);
  EXPECT_EQ(rundix::test::StringOf(http.DecodeBody()), received);
}

TEST_F(NyWinHttpServerTest, ASetCookieWithPathAndDomainGoesBackInOneLine) {
  ASSERT_TRUE(http.Request(http.CancelEvent(),
                           Http(L"/rundix-test/cookie?set=sid%3Dabc%3B%20path%3D%2F%3B%20domain%3D127.0.0.1")));
  EXPECT_EQ(http.setCookie, L"sid=abc; path=/; domain=127.0.0.1");
  ASSERT_EQ(http.cookieJar.size(), 3u);
  for (const NyCookie& c : http.cookieJar) EXPECT_EQ(c.domain, L"127.0.0.1");

  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/cookie")));
  EXPECT_EQ(http.GetResponseText(), "cookie: sid=abc; path=/; domain=127.0.0.1");
  // The line also went to the debugger output.
  auto lines = Sim().Journal().EventsOfKind("debug_output");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().subject, L"Cookie: sid=abc; path=/; domain=127.0.0.1");
}

TEST_F(NyWinHttpServerTest, EverySetCookieOfAReplyIsCaptured) {
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/cookie?set=a%3D1&set=b%3D2&set=a%3D3")));
  // The first value is kept as the set-cookie member; the jar has one record per name.
  EXPECT_EQ(http.setCookie, L"a=1");
  ASSERT_EQ(http.cookieJar.size(), 2u);
  EXPECT_EQ(http.cookieJar[0].name, L"a");
  EXPECT_EQ(http.cookieJar[0].value, L"3");
  EXPECT_EQ(http.cookieJar[1].name, L"b");
  EXPECT_EQ(http.cookieJar[1].domain, L"127.0.0.1");
}

TEST_F(NyWinHttpServerTest, ThePlatformCookieStoreIsReadOnTheFirstAttempt) {
  auto machine = rundix::test::MakeTestMachine(
      R"({"cookies": [{"domain": "127.0.0.1", "name": "store", "value": "v1"},
                      {"domain": "other.example", "name": "foreign", "value": "x"}]})");
  NyWinHttp client(machine->machine());
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/cookie")));
  EXPECT_EQ(client.GetResponseText(), "cookie: store=v1");
}

TEST_F(NyWinHttpServerTest, PlatformCookiesBelongToTheHostTheyWereReadFor) {
  auto machine = rundix::test::MakeTestMachine(
      R"({"cookies": [{"domain": "127.0.0.1", "name": "store", "value": "v1"}]})");
  NyWinHttp client(machine->machine());
  ASSERT_TRUE(client.Request(client.CancelEvent(), Http(L"/rundix-test/cookie")));
  ASSERT_EQ(client.cookieJar.size(), 1u);
  EXPECT_EQ(client.cookieJar[0].domain, L"127.0.0.1");
  // The same object asks another host: the store's cookie of 127.0.0.1 stays home.
  ASSERT_TRUE(client.Request(client.CancelEvent(),
                             L"http://localhost:" + std::to_wstring(server_->port()) + L"/rundix-test/cookie"));
  EXPECT_EQ(client.GetResponseText(), "cookie: ");
}

TEST_F(NyWinHttpServerTest, A302WithRedirectsDisabledFailsAndKeepsTheLocation) {
  http.followRedirects = false;
  EXPECT_FALSE(http.Request(http.CancelEvent(), Http(L"/rundix-test/redirect?to=/rundix-test/echo%3Fmoved%3D1")));
  EXPECT_EQ(http.statusCode, 302);
  EXPECT_EQ(http.location, L"/rundix-test/echo?moved=1");
  EXPECT_EQ(http.statusText, L"已停止");
  EXPECT_TRUE(http.body.IsEmpty());

  // Followed (the default), the same address ends at the target.
  NyWinHttp follows(host->machine());
  ASSERT_TRUE(follows.Request(follows.CancelEvent(), Http(L"/rundix-test/redirect?to=/rundix-test/echo%3Fmoved%3D1")));
  EXPECT_TRUE(Contains(follows.GetResponseText(), "GET /rundix-test/echo?moved=1\n"));
  EXPECT_EQ(follows.location, L"");
}

TEST_F(NyWinHttpServerTest, OtherStatusesFailWithoutReadingTheBody) {
  EXPECT_FALSE(http.Request(http.CancelEvent(), Http(L"/rundix-test/no-such-thing")));
  EXPECT_EQ(http.statusCode, 404);
  EXPECT_EQ(http.statusText, L"已停止");
  EXPECT_TRUE(http.body.IsEmpty());
  EXPECT_TRUE(http.responseHeaders.empty());
}

TEST_F(NyWinHttpServerTest, HeadersOnlyStopsBeforeTheBody) {
  http.headersOnly = true;
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/body?text=abc&repeat=1000")));
  EXPECT_EQ(http.contentLength, 3000u);
  EXPECT_TRUE(http.body.IsEmpty());
  EXPECT_EQ(http.statusText, L"开始数据接收 ...");
}

TEST_F(NyWinHttpServerTest, ExtraHeadersGoOutOnceAndOptionsShapeTheRequest) {
  http.extraHeaders = L"X-Once: 1\r\nX-Twice: 2";
  http.referer = L"http://ref.example/";
  http.authorization = L"Basic dTpw";
  http.hostHeader = L"service.example";
  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/echo")));
  std::string echo = http.GetResponseText();
  EXPECT_TRUE(Contains(echo, "X-Once: 1\n")) << echo;
  EXPECT_TRUE(Contains(echo, "X-Twice: 2\n"));
  EXPECT_TRUE(Contains(echo, "Referer: http://ref.example/\n"));
  EXPECT_TRUE(Contains(echo, "Authorization: Basic dTpw\n"));
  EXPECT_TRUE(Contains(echo, "Host: service.example\n"));
  EXPECT_TRUE(http.extraHeaders.empty());

  ASSERT_TRUE(http.Request(http.CancelEvent(), Http(L"/rundix-test/echo")));
  EXPECT_FALSE(Contains(http.GetResponseText(), "X-Once"));
}

TEST_F(NyWinHttpServerTest, CancellingWhileTheBodyArrivesStopsAtTheNextChunk) {
  // 300 chunks of 1 KiB, 20 ms apart: six seconds if nothing stops it. The cancel comes late
  // enough that the head has arrived even on a loaded machine (at 300 ms it once had not).
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    rundix::SetEventHandle(http.CancelEvent());
    done = true;
  });
  bool ok = http.Request(http.CancelEvent(), Http(L"/rundix-test/drip?chunks=300&ms=20"));
  canceller.join();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(done.load());
  EXPECT_EQ(http.statusText, L"已停止");
  EXPECT_EQ(http.statusCode, 200);
  EXPECT_LT(http.body.GetSize(), 300u * 1024u);
}

TEST_F(NyWinHttpServerTest, OneObjectServesRequestAfterRequest) {
  for (int i = 0; i < 5; ++i) {
    std::wstring path = L"/rundix-test/echo?round=" + std::to_wstring(i);
    ASSERT_TRUE(http.Request(http.CancelEvent(), Http(path)));
    EXPECT_EQ(http.requestTarget, path);
    EXPECT_TRUE(Contains(http.GetResponseText(), "GET " + Narrow(path) + "\n"));
  }
}

}  // namespace
}  // namespace KUM
