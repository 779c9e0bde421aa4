// The HTTP client's own logic: the cookie jar, body decoding and what happens before a
// request reaches a server. Both builds: the simulated machine on Linux, the real WinHTTP
// under Wine.
#include <gtest/gtest.h>

#include <vector>

#include "net/NyWinHttp.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/TestMachine.h"

namespace KUM {
namespace {

using rundix::test::BufferOf;
using rundix::test::StringOf;

class NyWinHttpTest : public ::testing::Test {
 protected:
  std::unique_ptr<rundix::test::TestMachine> host = rundix::test::MakeTestMachine();
  NyWinHttp http{host->machine()};

  // A received body as Request leaves it.
  void Receive(const std::string& bytes, const std::wstring& encoding) {
    http.body = BufferOf(bytes);
    http.contentEncoding = encoding;
    http.decoded = false;
  }
};

TEST_F(NyWinHttpTest, StartsWithTheDefaults) {
  EXPECT_NE(http.CancelEvent(), nullptr);
  EXPECT_EQ(http.userAgent,
            L"Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.31 (KHTML, like Gecko) Chrome/26.0.1410.64 Safari/537.31");
  EXPECT_EQ(http.accept, L"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
  EXPECT_EQ(http.connection, L"Keep-Alive");
  EXPECT_EQ(http.acceptEncoding, L"gzip,deflate");
  EXPECT_TRUE(http.followRedirects);
  EXPECT_EQ(http.connectTimeout, 10000);
  EXPECT_EQ(http.receiveTimeout, 10000);
  EXPECT_EQ(http.sendTimeout, 10000);
  EXPECT_EQ(http.retryLimit, 0);
  EXPECT_TRUE(http.body.IsEmpty());
  EXPECT_TRUE(http.statusText.empty());
}

TEST_F(NyWinHttpTest, SetCookieWithAttributesGivesOneEntryPerPairUnderItsDomain) {
  http.host = L"www.example.com";
  http.ParseCookieString(L"sid=abc123; path=/; domain=example.com");
  ASSERT_EQ(http.cookieJar.size(), 3u);
  EXPECT_EQ(http.cookieJar[0].name, L"sid");
  EXPECT_EQ(http.cookieJar[0].value, L"abc123");
  EXPECT_EQ(http.cookieJar[1].name, L"path");
  EXPECT_EQ(http.cookieJar[1].value, L"/");
  EXPECT_EQ(http.cookieJar[2].name, L"domain");
  for (const NyCookie& c : http.cookieJar) EXPECT_EQ(c.domain, L"example.com");

  // All three go out in one line to a host that contains the domain.
  EXPECT_EQ(http.AddCookieHeader(nullptr), L"Cookie: sid=abc123; path=/; domain=example.com");
}

TEST_F(NyWinHttpTest, CookieTextIsTrimmedAndEmptyNamesAreSkipped) {
  http.host = L"h";
  http.ParseCookieString(L" a = 1 ;\t;=orphan; \r\nb=;c\n");
  ASSERT_EQ(http.cookieJar.size(), 3u);
  EXPECT_EQ(http.cookieJar[0].name, L"a");
  EXPECT_EQ(http.cookieJar[0].value, L"1");
  EXPECT_EQ(http.cookieJar[1].name, L"b");
  EXPECT_EQ(http.cookieJar[1].value, L"");
  EXPECT_EQ(http.cookieJar[2].name, L"c");
  // No domain named: the request host.
  EXPECT_EQ(http.cookieJar[2].domain, L"h");
}

TEST_F(NyWinHttpTest, OnlyADomainAttributeNamesTheDomain) {
  http.host = L"api.example.com";
  // A value that merely contains "domain=" must not steal the domain.
  http.ParseCookieString(L"q=mydomain=x; sid=1");
  ASSERT_EQ(http.cookieJar.size(), 2u);
  EXPECT_EQ(http.cookieJar[0].value, L"mydomain=x");
  EXPECT_EQ(http.cookieJar[0].domain, L"api.example.com");
  EXPECT_EQ(http.cookieJar[1].domain, L"api.example.com");

  // Servers write "Domain=" too.
  http.cookieJar.clear();
  http.ParseCookieString(L"t=2; Domain=.example.com; Path=/");
  for (const NyCookie& c : http.cookieJar) EXPECT_EQ(c.domain, L".example.com");

  // "/" and "\" stand for no domain.
  http.cookieJar.clear();
  http.ParseCookieString(L"u=3; domain=/");
  for (const NyCookie& c : http.cookieJar) EXPECT_EQ(c.domain, L"api.example.com");
  http.cookieJar.clear();
  http.ParseCookieString(L"u=3; domain=\\");
  for (const NyCookie& c : http.cookieJar) EXPECT_EQ(c.domain, L"api.example.com");
}

TEST_F(NyWinHttpTest, ACookieWithoutADomainGoesToNoHost) {
  http.host = L"a.example";
  http.AddCookie(L"", L"stray", L"1");
  http.AddCookie(L"a.example", L"sid", L"2");
  EXPECT_EQ(http.AddCookieHeader(nullptr), L"Cookie: sid=2");
  http.host.clear();  // a URL that named no host
  EXPECT_EQ(http.AddCookieHeader(nullptr), L"");
}

TEST_F(NyWinHttpTest, CookiesAreUniqueByDomainAndNameExactly) {
  http.AddCookie(L"a.com", L"sid", L"1");
  http.AddCookie(L"a.com", L"sid", L"2");
  http.AddCookie(L"A.com", L"sid", L"3");
  http.AddCookie(L"a.com", L"SID", L"4");
  ASSERT_EQ(http.cookieJar.size(), 3u);
  EXPECT_EQ(http.cookieJar[0].value, L"2");
}

TEST_F(NyWinHttpTest, AHostileSetCookieCannotGrowTheJarWithoutEnd) {
  http.host = L"example.com";
  // One reply line of 100,000 cookies: the jar keeps the first kMaxCookies.
  std::wstring flood;
  for (int i = 0; i < 100000; ++i) flood += L"c" + std::to_wstring(i) + L"=v;";
  http.ParseCookieString(flood);
  ASSERT_EQ(http.cookieJar.size(), NyWinHttp::kMaxCookies);
  EXPECT_EQ(http.cookieJar.back().name, L"c" + std::to_wstring(NyWinHttp::kMaxCookies - 1));
  // A full jar still updates what it holds, and refuses an oversized cookie outright.
  http.ParseCookieString(L"c0=new");
  EXPECT_EQ(http.cookieJar[0].value, L"new");
  NyWinHttp fresh(host->machine());
  fresh.host = L"example.com";
  fresh.ParseCookieString(L"big=" + std::wstring(NyWinHttp::kMaxCookieChars, L'x') + L"; small=1");
  ASSERT_EQ(fresh.cookieJar.size(), 1u);
  EXPECT_EQ(fresh.cookieJar[0].name, L"small");
}

TEST_F(NyWinHttpTest, CookieLinePicksRecordsByDomainAndHostContainment) {
  http.AddCookie(L"", L"any", L"0");                         // no domain: no host's
  http.AddCookie(L"Example.COM", L"inHost", L"1");         // the host contains the domain
  http.AddCookie(L"shop.example.com.cn", L"inDomain", L"2");  // the domain contains the host
  http.AddCookie(L"other.org", L"elsewhere", L"3");
  http.host = L"SHOP.example.com";
  EXPECT_EQ(http.AddCookieHeader(nullptr), L"Cookie: inHost=1; inDomain=2");

  NyWinHttp fresh(host->machine());
  fresh.host = L"example.com";
  EXPECT_EQ(fresh.AddCookieHeader(nullptr), L"");
}

TEST_F(NyWinHttpTest, GzipAndRawDeflateBodiesComeBackWhole) {
  // The last bytes of a raw deflate stream are still inside the decoder when its input runs
  // out; a JSON reply must keep its closing brace.
  // out; a JSON reply must keep its closing brace. Which replies end that way depends on
  // the bytes, so many sizes are tried.
  std::vector<size_t> sizes;
  for (size_t n = 1; n <= 300; ++n) sizes.push_back(n);
  for (size_t n : {4096, 70000}) sizes.push_back(n);
  for (size_t size : sizes) {
    std::string plain = rundix::test::ReplyText(size);
    Receive(rundix::test::Gzip(plain), L"gzip");
    ASSERT_EQ(http.GetResponseText(), plain) << "gzip, " << size << " bytes";
    Receive(rundix::test::RawDeflate(plain), L"deflate");
    ASSERT_EQ(http.GetResponseText(), plain) << "deflate, " << size << " bytes";
  }
  std::string reply = "{\"code\":200,\"data\":{\"code_url\":\"http://x/qr/1.png\",\"ticket\":\"1\"}}";
  Receive(rundix::test::RawDeflate(reply), L"Deflate");
  EXPECT_EQ(http.GetResponseText(), reply);
}

TEST_F(NyWinHttpTest, ZlibWrappedBodiesInflateUnderEitherName) {
  std::string plain = rundix::test::ReplyText(5000);
  Receive(rundix::test::ZlibWrapped(plain), L"gzip");
  EXPECT_EQ(http.GetResponseText(), plain);
  // The common form of "deflate": the decoder starts again with a zlib header.
  Receive(rundix::test::ZlibWrapped(plain), L"deflate");
  EXPECT_EQ(http.GetResponseText(), plain);
}

TEST_F(NyWinHttpTest, ARepliesLargerThanTheFirstBufferComesBackWhole) {
  std::string plain = rundix::test::ReplyText(NyWinHttp::kInitialInflateCapacity * 2 + 12345);
  Receive(rundix::test::Gzip(plain), L"gzip");
  std::string text = http.GetResponseText();
  EXPECT_EQ(text.size(), plain.size());
  EXPECT_EQ(text, plain);
  // Exactly the first capacity.
  plain = rundix::test::ReplyText(NyWinHttp::kInitialInflateCapacity);
  Receive(rundix::test::RawDeflate(plain), L"deflate");
  EXPECT_EQ(http.GetResponseText(), plain);
}

TEST_F(NyWinHttpTest, ABodyCutShortStaysAsReceived) {
  std::string plain = rundix::test::ReplyText(3000);
  for (auto [packed, encoding] : {std::pair{rundix::test::Gzip(plain), L"gzip"},
                                  std::pair{rundix::test::RawDeflate(plain), L"deflate"},
                                  std::pair{rundix::test::ZlibWrapped(plain), L"deflate"}}) {
    // Without its trailer a gzip stream has all its data yet never ends; the others lose data.
    for (size_t cut : {size_t{1}, size_t{8}, packed.size() / 2}) {
      std::string received = packed.substr(0, packed.size() - cut);
      Receive(received, encoding);
      EXPECT_EQ(StringOf(http.DecodeBody()), received) << "cut " << cut;
      EXPECT_TRUE(http.decoded);
    }
  }
}

TEST_F(NyWinHttpTest, GarbageUnderAnEncodingStaysAsReceived) {
  std::string junk = "this is not compressed at all";
  Receive(junk, L"gzip");
  EXPECT_EQ(http.GetResponseText(), junk);
  Receive(junk, L"deflate");
  EXPECT_EQ(http.GetResponseText(), junk);
}

TEST_F(NyWinHttpTest, InflatingStopsAtTheCap) {
  // The growth and the cap of a hostile reply, on a small scale (the service's own cap is
  // exercised against the server).
  const unsigned cap = 1u << 20;
  std::string bomb = rundix::test::Gzip(std::string(cap + 1, '0'));
  KuBuffer<unsigned char> output(64 * 1024);
  unsigned length = 1;
  EXPECT_FALSE(NyWinHttp::InflateHttpBody(BufferOf(bomb), output, false, &length, cap));
  EXPECT_EQ(length, 0u);
  EXPECT_LE(output.GetSize(), cap);

  // What fits the cap exactly still comes back, through every doubling on the way.
  std::string plain = rundix::test::ReplyText(cap);
  KuBuffer<unsigned char> fits(64 * 1024 - 1);
  ASSERT_TRUE(NyWinHttp::InflateHttpBody(BufferOf(rundix::test::RawDeflate(plain)), fits, true, &length, cap));
  EXPECT_EQ(length, cap);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(fits.GetData()), length), plain);
  KuBuffer<unsigned char> gzipFits(64 * 1024);
  ASSERT_TRUE(NyWinHttp::InflateHttpBody(BufferOf(rundix::test::Gzip(plain)), gzipFits, false, &length, cap));
  EXPECT_EQ(length, cap);
}

TEST_F(NyWinHttpTest, DecodingRunsOncePerBody) {
  std::string plain = "{\"code\":200}";
  std::string packed = rundix::test::Gzip(plain);
  Receive(packed, L"gzip");
  EXPECT_EQ(http.GetResponseText(), plain);
  // A second call must not try to inflate the inflated text.
  EXPECT_EQ(http.GetResponseText(), plain);
  EXPECT_EQ(StringOf(http.DecodeBody()), plain);
}

TEST_F(NyWinHttpTest, PlainBodiesEndAtTheirFirstZeroByte) {
  Receive(std::string("abc\0def", 7), L"");
  EXPECT_EQ(http.GetResponseText(), "abc");
  EXPECT_EQ(http.body.GetSize(), 7u);  // the body itself keeps every byte
  Receive(std::string("\0x", 2), L"identity");
  EXPECT_EQ(http.GetResponseText(), "");
  Receive("", L"gzip");
  EXPECT_EQ(http.GetResponseText(), "");
  // Bytes go through untouched: no code-page conversion.
  Receive("\xE4\xBF\xAE\xFF", L"");
  EXPECT_EQ(http.GetResponseText(), "\xE4\xBF\xAE\xFF");
}

TEST(NyWinHttpProgress, PercentageHoldsForBodiesAbove42Megabytes) {
  EXPECT_EQ(NyWinHttp::ReceivePercent(0, 100), 0);
  EXPECT_EQ(NyWinHttp::ReceivePercent(50, 200), 25);
  // bytes x 100 passes 2^32 from 42,949,673 bytes on.
  EXPECT_EQ(NyWinHttp::ReceivePercent(45000000u, 45000000u), 100);
  EXPECT_EQ(NyWinHttp::ReceivePercent(43000000u, 86000000u), 50);
  EXPECT_EQ(NyWinHttp::ReceivePercent(4000000000u, 4000000000u), 100);
  EXPECT_EQ(NyWinHttp::ReceivePercent(4000000000u, 40000000u), 10000);
  EXPECT_EQ(NyWinHttp::ReceivePercent(123, 0), 0);
}

TEST_F(NyWinHttpTest, ASignalledCancelEventStopsTheRequestAtOnce) {
  ASSERT_TRUE(rundix::SetEventHandle(http.CancelEvent()));
  http.extraHeaders = L"X-One-Shot: 1";
  EXPECT_FALSE(http.Request(http.CancelEvent(), L"http://127.0.0.1:9/nothing@a=1"));
  EXPECT_EQ(http.statusText, L"已停止");
  EXPECT_EQ(http.statusCode, 0);
  EXPECT_TRUE(http.extraHeaders.empty());
  // The body rule ran before the cancellation was seen.
  EXPECT_EQ(http.url, L"http://127.0.0.1:9/nothing");
  EXPECT_EQ(http.postData, L"a=1");
  // The event is never reset here: the next request stops too.
  EXPECT_FALSE(http.Request(http.CancelEvent(), L"http://127.0.0.1:9/"));
  EXPECT_EQ(http.statusText, L"已停止");
}

TEST_F(NyWinHttpTest, AnUnreachableServerFailsEveryAttempt) {
  http.connectTimeout = 2000;
  http.retryLimit = 2;
  EXPECT_FALSE(http.Request(nullptr, L"http://127.0.0.1:9/nothing"));
  EXPECT_EQ(http.statusText, L"已停止");
  EXPECT_EQ(http.retryCount, 2);
  EXPECT_EQ(http.host, L"127.0.0.1");
}

TEST_F(NyWinHttpTest, AnUnknownSchemeNeverConnects) {
  EXPECT_FALSE(http.Request(nullptr, L"ftp://127.0.0.1/file"));
  EXPECT_EQ(http.statusText, L"已停止");
  EXPECT_TRUE(http.host.empty());
  EXPECT_FALSE(http.Request(nullptr, L"not a url"));
  EXPECT_EQ(http.statusText, L"已停止");
}

}  // namespace
}  // namespace KUM
