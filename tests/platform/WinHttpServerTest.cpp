// The simulated WinHTTP against a real rundix-server: header buffers and indexes, the
// request headers as sent, certificate errors, redirects and the proxy settings.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Text.h"
#include "platform/WinHttp.h"
#include "platform/sim/SimMachine.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {


class WinHttpServerTest : public test::TestRoutesServerTest {
 protected:
  // Session, connection and request for one GET; the request is sent and answered.
  struct Exchange {
    WinHttpHandle session, connection, request;
    bool sent = false;
  };
  Exchange Get(IWinHttp& http, const std::wstring& host, WORD port, const std::wstring& path, bool secure,
               DWORD securityFlags = 0, bool redirects = true,
               DWORD access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, const std::wstring& proxy = L"",
               const std::wstring& bypass = L"") {
    Exchange e;
    e.session = OwnWinHttpHandle(http, http.WinHttpOpen(L"test-agent", access, proxy, bypass, 0));
    e.connection = OwnWinHttpHandle(http, http.WinHttpConnect(e.session.get(), host, port));
    e.request = OwnWinHttpHandle(
        http, http.WinHttpOpenRequest(e.connection.get(), L"GET", path, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!e.request) return e;
    if (securityFlags) http.WinHttpSetOption(e.request.get(), WINHTTP_OPTION_SECURITY_FLAGS, securityFlags);
    if (!redirects) http.WinHttpSetOption(e.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS);
    e.sent = http.WinHttpSendRequest(e.request.get(), nullptr, 0, 0) && http.WinHttpReceiveResponse(e.request.get());
    return e;
  }
  WORD Port() const { return static_cast<WORD>(server_->port()); }

  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  IWinHttp& http = host->machine().WinHttp();
};


TEST_F(WinHttpServerTest, HeaderOccurrencesAreFoundInAnyOrder) {
  std::wstring path = L"/rundix-test/cookie?";
  for (int i = 0; i < 200; ++i) path += L"set=c" + std::to_wstring(i) + L"%3Dv&";
  Exchange e = Get(http, L"127.0.0.1", Port(), path, false);
  ASSERT_TRUE(e.sent);
  HANDLE r = e.request.get();
  auto cookie = [&](DWORD n) {
    DWORD index = n;
    return QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_SET_COOKIE, &index).value_or(L"-");
  };
  // In order (as cookies are read), again, backwards, skipping, and past the end.
  for (DWORD i = 0; i < 200; ++i) ASSERT_EQ(cookie(i), L"c" + std::to_wstring(i) + L"=v");
  EXPECT_EQ(cookie(199), L"c199=v");
  EXPECT_EQ(cookie(200), L"-");
  EXPECT_EQ(cookie(7), L"c7=v");
  EXPECT_EQ(cookie(3), L"c3=v");
  EXPECT_EQ(cookie(150), L"c150=v");
  EXPECT_EQ(cookie(0), L"c0=v");
  EXPECT_EQ(QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_STATUS_CODE).value_or(L"-"), L"200");
  EXPECT_EQ(cookie(1), L"c1=v");
}

TEST_F(WinHttpServerTest, HeaderQueriesFollowTheBufferRules) {
  Exchange e = Get(http, L"127.0.0.1", Port(), L"/rundix-test/cookie?set=a%3D1&set=bb%3D22", false);
  ASSERT_TRUE(e.sent);
  HANDLE r = e.request.get();

  // The size query: ERROR_INSUFFICIENT_BUFFER and the bytes needed with the terminator.
  DWORD index = 0;
  DWORD bytes = 0;
  EXPECT_FALSE(http.WinHttpQueryHeaders(r, WINHTTP_QUERY_SET_COOKIE, nullptr, &bytes, &index));
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(bytes, 8u);  // "a=1" and a terminator
  EXPECT_EQ(index, 0u);
  std::vector<BYTE> buffer(bytes, 0xCC);
  ASSERT_TRUE(http.WinHttpQueryHeaders(r, WINHTTP_QUERY_SET_COOKIE, buffer.data(), &bytes, &index));
  EXPECT_EQ(bytes, 6u);
  EXPECT_EQ(buffer[6], 0);
  EXPECT_EQ(buffer[7], 0);
  EXPECT_EQ(WideFromUtf16Le(buffer.data(), bytes), L"a=1");
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_SET_COOKIE, &index).value_or(L"-"), L"bb=22");
  EXPECT_EQ(index, 2u);
  EXPECT_FALSE(QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_SET_COOKIE, &index).has_value());
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_HEADER_NOT_FOUND));

  EXPECT_EQ(QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_STATUS_CODE).value_or(L"-"), L"200");
  EXPECT_EQ(QueryWinHttpHeaderNumber(http, r, WINHTTP_QUERY_STATUS_CODE).value_or(0), 200u);
  EXPECT_FALSE(QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_LOCATION).has_value());
  std::wstring raw = QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_RAW_HEADERS_CRLF).value_or(L"");
  EXPECT_EQ(raw.rfind(L"HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(raw.substr(raw.size() - 4), L"\r\n\r\n");

  std::wstring sent =
      QueryWinHttpHeaderText(http, r, WINHTTP_QUERY_RAW_HEADERS_CRLF | WINHTTP_QUERY_FLAG_REQUEST_HEADERS).value_or(L"");
  EXPECT_EQ(sent.rfind(L"GET /rundix-test/cookie?set=a%3D1&set=bb%3D22 HTTP/1.1\r\n", 0), 0u)
      << Utf8FromWide(sent);
  EXPECT_NE(sent.find(L"\r\nHost: 127.0.0.1:" + std::to_wstring(Port()) + L"\r\n"), std::wstring::npos);
  EXPECT_NE(sent.find(L"\r\nUser-Agent: test-agent\r\n"), std::wstring::npos);
  // Neither of curl's own defaults.
  EXPECT_EQ(sent.find(L"Accept:"), std::wstring::npos);
}

TEST_F(WinHttpServerTest, TheBodyIsReadUntilNothingIsLeft) {
  Exchange e = Get(http, L"127.0.0.1", Port(), L"/rundix-test/body?text=0123456789&repeat=10000", false);
  ASSERT_TRUE(e.sent);
  EXPECT_EQ(QueryWinHttpHeaderNumber(http, e.request.get(), WINHTTP_QUERY_CONTENT_LENGTH).value_or(0), 100000u);
  std::string body;
  for (;;) {
    DWORD available = 0;
    ASSERT_TRUE(http.WinHttpQueryDataAvailable(e.request.get(), &available));
    if (available == 0) break;
    std::string chunk(available, '\0');
    DWORD got = 0;
    ASSERT_TRUE(http.WinHttpReadData(e.request.get(), chunk.data(), available, &got));
    body.append(chunk, 0, got);
  }
  EXPECT_EQ(body.size(), 100000u);
  EXPECT_EQ(body.substr(99990), "0123456789");
}

TEST_F(WinHttpServerTest, CertificateErrorsStopARequestUnlessIgnored) {
  WORD port = static_cast<WORD>(server_->httpsPort());
  Exchange strict = Get(http, L"127.0.0.1", port, L"/rundix-test/echo", true);
  EXPECT_FALSE(strict.sent);
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_SECURE_FAILURE));

  const DWORD ignoreAll = kSecurityFlagIgnoreUnknownCa | kSecurityFlagIgnoreCertWrongUsage |
                          kSecurityFlagIgnoreCertCnInvalid | kSecurityFlagIgnoreCertDateInvalid;
  Exchange tolerant = Get(http, L"127.0.0.1", port, L"/rundix-test/echo", true, ignoreAll);
  EXPECT_TRUE(tolerant.sent);

  // An unknown bit refuses the whole value, as WinHTTP does.
  WinHttpHandle session = OwnWinHttpHandle(http, http.WinHttpOpen(L"a", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L"", L"", 0));
  WinHttpHandle connection = OwnWinHttpHandle(http, http.WinHttpConnect(session.get(), L"127.0.0.1", port));
  WinHttpHandle request =
      OwnWinHttpHandle(http, http.WinHttpOpenRequest(connection.get(), L"GET", L"/", WINHTTP_FLAG_SECURE));
  EXPECT_FALSE(http.WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, ignoreAll | 0x80));
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(WinHttpServerTest, RedirectsAreFollowedUnlessDisabled) {
  Exchange followed = Get(http, L"127.0.0.1", Port(), L"/rundix-test/redirect?to=/rundix-test/echo", false);
  ASSERT_TRUE(followed.sent);
  EXPECT_EQ(QueryWinHttpHeaderNumber(http, followed.request.get(), WINHTTP_QUERY_STATUS_CODE).value_or(0), 200u);

  Exchange kept = Get(http, L"127.0.0.1", Port(), L"/rundix-test/redirect?to=/elsewhere", false, 0, false);
  ASSERT_TRUE(kept.sent);
  EXPECT_EQ(QueryWinHttpHeaderNumber(http, kept.request.get(), WINHTTP_QUERY_STATUS_CODE).value_or(0), 302u);
  EXPECT_EQ(QueryWinHttpHeaderText(http, kept.request.get(), WINHTTP_QUERY_LOCATION).value_or(L"-"), L"/elsewhere");
}

TEST_F(WinHttpServerTest, ANamedProxyCarriesTheRequestExceptForLocalNames) {
  // Nothing listens on port 9: a request through that proxy fails though the server is up.
  Exchange viaProxy = Get(http, L"127.0.0.1", Port(), L"/rundix-test/echo", false, 0, true,
                          WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"127.0.0.1:9", L"<local>");
  EXPECT_FALSE(viaProxy.sent);
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
  // A name without a dot is local and goes direct.
  Exchange local = Get(http, L"localhost", Port(), L"/rundix-test/echo", false, 0, true,
                       WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"127.0.0.1:9", L"<local>");
  EXPECT_TRUE(local.sent);

  // The current user's settings come from the machine description.
  auto configured = test::MakeTestMachine(R"({"ie_proxy": {"proxy": "127.0.0.1:9", "bypass": "<local>"}})");
  WinHttpIeProxyConfig config;
  ASSERT_TRUE(configured->machine().WinHttp().WinHttpGetIEProxyConfigForCurrentUser(&config));
  EXPECT_EQ(config.proxy, L"127.0.0.1:9");
  EXPECT_EQ(config.proxyBypass, L"<local>");
}

TEST_F(WinHttpServerTest, TheCookieStoreAnswersPerHostAndPath) {
  auto machine = test::MakeTestMachine(
      R"({"cookies": [{"domain": "example.com", "name": "a", "value": "1"},
                      {"domain": ".example.com", "path": "/shop", "name": "b", "value": "2"},
                      {"domain": "other.org", "name": "c", "value": "3"}]})");
  IWinHttp& store = machine->machine().WinHttp();
  DWORD size = 0;
  ASSERT_TRUE(store.InternetGetCookieW(L"http://www.example.com/shop/cart", nullptr, nullptr, &size));
  EXPECT_EQ(size, 2u * (8 + 1));  // "a=1; b=2" and a terminator, in bytes
  std::vector<BYTE> buffer((size + 1) * 2, 0);
  DWORD capacity = size;
  ASSERT_TRUE(store.InternetGetCookieW(L"http://www.example.com/shop/cart", nullptr, buffer.data(), &capacity));
  EXPECT_EQ(WideFromUtf16Le(buffer.data(), buffer.size()), L"a=1; b=2");
  EXPECT_EQ(capacity, 8u);
  ASSERT_TRUE(store.InternetGetCookieW(L"http://example.com/", nullptr, buffer.data(), &capacity));
  EXPECT_EQ(WideFromUtf16Le(buffer.data(), buffer.size()), L"a=1");
  EXPECT_FALSE(store.InternetGetCookieW(L"http://notexample.com/", nullptr, nullptr, &size));
  EXPECT_EQ(store.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  std::string error;
  test::TempDir sandbox;
  EXPECT_EQ(SimMachine::FromJson(R"({"cookies": [{"name": "x"}]})", sandbox.path(), &error), nullptr);
  EXPECT_NE(error.find("domain"), std::string::npos);
}

}  // namespace
}  // namespace rundix
