#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/CurlRequest.h"

namespace rundix {
namespace {

TEST(HeadValues, WholeNamesInAnyCaseTrimmedAndInOrder) {
  const std::string head =
      "Set-Cookie: status line is not a header\r\n"
      "set-cookie:  a=1 \r\n"
      "Set-Cookie2: not=this\r\n"
      "X-Set-Cookie: nor=this\r\n"
      "SET-COOKIE:\t\r\n"
      "Set-Cookie : spaced name is another name\r\n"
      "Set-Cookie: b=2";  // the last line may lack its CRLF
  EXPECT_EQ(HeadValues(head, "Set-Cookie"), (std::vector<std::string>{"a=1", "", "b=2"}));
  EXPECT_EQ(HeadValue(head, "set-cookie", 0), "a=1");
  EXPECT_EQ(HeadValue(head, "Set-Cookie", 1), "");
  EXPECT_EQ(HeadValue(head, "Set-Cookie", 2), "b=2");
  EXPECT_EQ(HeadValue(head, "Set-Cookie", 3), std::nullopt);
  EXPECT_EQ(HeadValue(head, "Location", 0), std::nullopt);
  EXPECT_EQ(HeadValue("", "Set-Cookie", 0), std::nullopt);
  EXPECT_EQ(HeadValue("HTTP/1.1 200 OK\r\n", "Set-Cookie", 0), std::nullopt);
}

TEST(HeadValues, EveryOccurrenceOfAHeadWithThousandsOfLines) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 5000; ++i) head += "Set-Cookie: c" + std::to_string(i) + "=v\r\nX: y\r\n";
  head += "\r\n";
  EXPECT_EQ(HeadValues(head, "set-cookie").size(), 5000u);
  for (size_t i = 0; i < 5000; i += 499) {
    EXPECT_EQ(HeadValue(head, "Set-Cookie", i), "c" + std::to_string(i) + "=v");
  }
  EXPECT_EQ(HeadValue(head, "Set-Cookie", 5000), std::nullopt);
}

}  // namespace
}  // namespace rundix
