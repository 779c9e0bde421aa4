// The WinHTTP-shaped operations that need no server: URL splitting, handle kinds and states,
// option values, header lines and the cookie store's answer for a URL without cookies.
#include <gtest/gtest.h>

#include "platform/WinHttp.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

class WinHttpTest : public ::testing::Test {
 protected:
  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  IWinHttp& http = host->machine().WinHttp();
};

TEST_F(WinHttpTest, CrackUrlSplitsSchemeHostPortAndTheRestOfTheUrl) {
  WinHttpUrlParts parts;
  ASSERT_TRUE(http.WinHttpCrackUrl(L"http://svc.example/rundix/api/loginquery?ticket=a&time=1", 0, &parts));
  EXPECT_EQ(parts.scheme, kWinHttpSchemeHttp);
  EXPECT_EQ(parts.hostName, L"svc.example");
  EXPECT_EQ(parts.port, 80);
  EXPECT_EQ(parts.urlPath, L"/rundix/api/loginquery?ticket=a&time=1");

  ASSERT_TRUE(http.WinHttpCrackUrl(L"HTTPS://127.0.0.1:8443", 0, &parts));
  EXPECT_EQ(parts.scheme, kWinHttpSchemeHttps);
  EXPECT_EQ(parts.hostName, L"127.0.0.1");
  EXPECT_EQ(parts.port, 8443);
  EXPECT_EQ(parts.urlPath, L"");

  ASSERT_TRUE(http.WinHttpCrackUrl(L"https://h/p", 0, &parts));
  EXPECT_EQ(parts.port, 443);

  EXPECT_FALSE(http.WinHttpCrackUrl(L"ftp://h/file", 0, &parts));
  EXPECT_FALSE(http.WinHttpCrackUrl(L"no url at all", 0, &parts));
  EXPECT_FALSE(http.WinHttpCrackUrl(L"http://h:99999/", 0, &parts));
}

TEST_F(WinHttpTest, HandlesKeepTheirKindAndOrder) {
  WinHttpIeProxyConfig proxy;
  ASSERT_TRUE(http.WinHttpGetIEProxyConfigForCurrentUser(&proxy));
  WinHttpHandle session = OwnWinHttpHandle(
      http, http.WinHttpOpen(L"agent", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L"", L"", 0));
  ASSERT_TRUE(session);
  WinHttpHandle connection = OwnWinHttpHandle(http, http.WinHttpConnect(session.get(), L"127.0.0.1", 9));
  ASSERT_TRUE(connection);
  // A session is no connection.
  EXPECT_EQ(http.WinHttpOpenRequest(session.get(), L"GET", L"/", 0), nullptr);
  WinHttpHandle request =
      OwnWinHttpHandle(http, http.WinHttpOpenRequest(connection.get(), L"GET", L"/x", WINHTTP_FLAG_SECURE));
  ASSERT_TRUE(request);

  // Nothing to query before a response.
  DWORD bytes = 0;
  EXPECT_FALSE(http.WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE, nullptr, &bytes, nullptr));
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
  EXPECT_FALSE(http.WinHttpReceiveResponse(request.get()));
}

TEST_F(WinHttpTest, OptionsAndHeaderLines) {
  WinHttpHandle session = OwnWinHttpHandle(
      http, http.WinHttpOpen(L"agent", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L"", L"", 0));
  WinHttpHandle connection = OwnWinHttpHandle(http, http.WinHttpConnect(session.get(), L"127.0.0.1", 9));
  WinHttpHandle request =
      OwnWinHttpHandle(http, http.WinHttpOpenRequest(connection.get(), L"GET", L"/", WINHTTP_FLAG_SECURE));
  ASSERT_TRUE(request);
  EXPECT_TRUE(http.WinHttpSetOption(request.get(), WINHTTP_OPTION_CONNECT_TIMEOUT, 1234));
  DWORD value = 0;
  ASSERT_TRUE(http.WinHttpQueryOption(request.get(), WINHTTP_OPTION_CONNECT_TIMEOUT, &value));
  EXPECT_EQ(value, 1234u);
  const DWORD ignoreAll = kSecurityFlagIgnoreUnknownCa | kSecurityFlagIgnoreCertWrongUsage |
                          kSecurityFlagIgnoreCertCnInvalid | kSecurityFlagIgnoreCertDateInvalid;
  EXPECT_TRUE(http.WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, ignoreAll));
  EXPECT_TRUE(http.WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS));

  const DWORD addOrReplace = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;
  EXPECT_TRUE(http.WinHttpAddRequestHeaders(request.get(), L"Accept:text/html", addOrReplace));
  EXPECT_TRUE(http.WinHttpAddRequestHeaders(request.get(), L"X-A: 1\r\nX-B: 2", addOrReplace));
  EXPECT_FALSE(http.WinHttpAddRequestHeaders(request.get(), L"no colon here", addOrReplace));
}

TEST_F(WinHttpTest, AUrlWithoutCookiesHasNone) {
  DWORD size = 0;
  EXPECT_FALSE(http.InternetGetCookieW(L"http://no-cookies.invalid/", nullptr, nullptr, &size));
  EXPECT_EQ(http.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

}  // namespace
}  // namespace rundix
