// The service's URLs and the reading of its login replies.
#include <gtest/gtest.h>

#include "net/ServiceApi.h"

namespace rundix {
namespace {

TEST(ServiceUrls, FollowTheFourTemplatesWithTheFixedValues) {
  EXPECT_EQ(BuildActionReportUrl(L"svc.example:8080", L"page", L"start"),
            L"http://svc.example:8080/rundix/behavior/action?mac=&channel=rundix_vorb&version=1.0.0.1&main=page&sub=start");
  EXPECT_EQ(BuildBackhaulReportUrl(L"svc.example", L"appstart", L""),
            L"http://svc.example/rundix/behavior/backhaul?id=&action=appstart&channel=rundix_vorb&version=1.0.0.1&key1=");
  EXPECT_EQ(BuildLoginQrCodeUrl(L"h", 1700000000), L"http://h/rundix/api/loginqrcode?appid=&time=1700000000");
  EXPECT_EQ(BuildLoginQueryUrl(L"h", L"t1", 5), L"http://h/rundix/api/loginquery?ticket=t1&time=5");
}

TEST(ServiceUrls, ValuesGoInAsTheyStand) {
  // Nothing is escaped: '&', '=', blanks and non-ASCII text reach the URL unchanged.
  EXPECT_EQ(BuildActionReportUrl(L"h", L"a&b c", L"x=y 修复"),
            L"http://h/rundix/behavior/action?mac=&channel=rundix_vorb&version=1.0.0.1&main=a&b c&sub=x=y 修复");
  EXPECT_EQ(BuildBackhaulReportUrl(L"h", L"%41", L"k&1"),
            L"http://h/rundix/behavior/backhaul?id=&action=%41&channel=rundix_vorb&version=1.0.0.1&key1=k&1");
  std::wstring longValue(5000, L'v');
  EXPECT_EQ(BuildLoginQueryUrl(L"h", longValue, 0), L"http://h/rundix/api/loginquery?ticket=" + longValue + L"&time=0");
}

TEST(ServiceUrls, TimeIsASigned32BitNumber) {
  EXPECT_EQ(BuildLoginQrCodeUrl(L"h", INT32_MIN), L"http://h/rundix/api/loginqrcode?appid=&time=-2147483648");
  EXPECT_EQ(BuildLoginQueryUrl(L"h", L"t", -1), L"http://h/rundix/api/loginquery?ticket=t&time=-1");
  EXPECT_EQ(BuildLoginQueryUrl(L"h", L"t", INT32_MAX), L"http://h/rundix/api/loginquery?ticket=t&time=2147483647");
}

TEST(LoginReplies, AQrCodeReplyGivesTheImageAddressAndTicket) {
  auto qr = ReadLoginQrCodeReply(R"({"code":200,"data":{"code_url":"http://s/q.png","ticket":"abc"}})");
  ASSERT_TRUE(qr.has_value());
  EXPECT_EQ(qr->codeUrl, L"http://s/q.png");
  EXPECT_EQ(qr->ticket, L"abc");

  // Without a ticket the image address still counts; the ticket stays empty.
  qr = ReadLoginQrCodeReply(R"({"code":200,"data":{"code_url":"http://s/q.png"}})");
  ASSERT_TRUE(qr.has_value());
  EXPECT_EQ(qr->codeUrl, L"http://s/q.png");
  EXPECT_EQ(qr->ticket, L"");

  // Comments are read past; text is UTF-8.
  qr = ReadLoginQrCodeReply("/* reply */ {\"code\":200, // ok\n \"data\":{\"code_url\":\"\xE4\xBF\xAE\"}}");
  ASSERT_TRUE(qr.has_value());
  EXPECT_EQ(qr->codeUrl, L"修");
}

TEST(LoginReplies, ALoginQueryAnswersOnlyWithAnOpenid) {
  EXPECT_EQ(ReadLoginQueryReply(R"({"code":200,"data":{"openid":"o_123"}})").value_or(L"-"), L"o_123");
  EXPECT_FALSE(ReadLoginQueryReply(R"({"code":200,"data":{}})").has_value());
  EXPECT_FALSE(ReadLoginQueryReply(R"({"code":202,"msg":"waiting for the scan"})").has_value());
  EXPECT_EQ(ReadLoginQueryReply(R"({"code":200.0,"data":{"openid":""}})").value_or(L"-"), L"");
}

TEST(LoginReplies, AnythingOffTheShapeIsNoAnswer) {
  const char* replies[] = {
      "",
      "not json",
      "[200]",
      "\"text\"",
      R"({"data":{"openid":"x"}})",                 // code absent reads as 0
      R"({"code":201,"data":{"openid":"x"}})",
      R"({"code":200})",                            // data absent
      R"({"code":200,"data":"x"})",
      R"({"code":200,"data":[{"openid":"x"}]})",
      // Values of another type: JsonCpp would throw when reading them.
      R"({"code":"200","data":{"openid":"x"}})",
      R"({"code":true,"data":{"openid":"x"}})",
      R"({"code":200.5,"data":{"openid":"x"}})",
      R"({"code":200,"data":{"openid":null}})",
      R"({"code":200,"data":{"openid":12}})",
      R"({"code":200,"data":{"openid":{"id":"x"}}})",
      R"({"code":99999999999999999999,"data":{"openid":"x"}})",
  };
  for (const char* reply : replies) {
    EXPECT_FALSE(ReadLoginQueryReply(reply).has_value()) << reply;
  }
  EXPECT_FALSE(ReadLoginQrCodeReply(R"({"code":200,"data":{"code_url":7}})").has_value());
  EXPECT_FALSE(ReadLoginQrCodeReply(R"({"code":200,"data":{"code_url":"u","ticket":null}})").has_value());
}

TEST(LoginReplies, HostileNestingIsNoAnswer) {
  std::string deep(100000, '[');
  EXPECT_FALSE(ReadLoginQueryReply(deep).has_value());
  std::string nested = "{\"code\":200,\"data\":{\"openid\":\"x\",\"n\":" + std::string(5000, '[') + "}}";
  EXPECT_FALSE(ReadLoginQueryReply(nested).has_value());
  // Sixty-four levels in all still read; one more is refused before parsing. Brackets in
  // strings (escaped quotes too) do not count.
  auto reply = [](int extra, const std::string& text) {
    return "{\"code\":200,\"data\":{\"openid\":\"" + text + "\",\"n\":" + std::string(extra, '[') +
           std::string(extra, ']') + "}}";
  };
  EXPECT_EQ(ReadLoginQueryReply(reply(62, "x")).value_or(L"-"), L"x");
  EXPECT_FALSE(ReadLoginQueryReply(reply(63, "x")).has_value());
  const std::string brackets = std::string(100, '[') + "\\\"" + std::string(100, '{');
  EXPECT_EQ(ReadLoginQueryReply(reply(62, brackets)).value_or(L"-"),
            std::wstring(100, L'[') + L"\"" + std::wstring(100, L'{'));
}

}  // namespace
}  // namespace rundix
