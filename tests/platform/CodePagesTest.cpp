// Code-page conversions in the shape of WideCharToMultiByte and MultiByteToWideChar.
#include <gtest/gtest.h>

#include "platform/CodePages.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

class CodePagesTest : public ::testing::Test {
 protected:
  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  ICodePages& cp = host->machine().CodePages();
};

TEST_F(CodePagesTest, GbkAndWesternAndUtf8) {
  EXPECT_EQ(cp.WideCharToMultiByte(936, L"修复 DLL").value_or("-"), "\xD0\xDE\xB8\xB4 DLL");
  EXPECT_EQ(cp.MultiByteToWideChar(936, "\xD0\xDE\xB8\xB4 DLL").value_or(L"-"), L"修复 DLL");
  EXPECT_EQ(cp.WideCharToMultiByte(1252, L"€é\u0178").value_or("-"), "\x80\xE9\x9F");
  EXPECT_EQ(cp.MultiByteToWideChar(1252, "\x80\xE9\x9F").value_or(L"-"), L"€é\u0178");
  EXPECT_EQ(cp.WideCharToMultiByte(CP_UTF8, L"修").value_or("-"), "\xE4\xBF\xAE");
  EXPECT_EQ(cp.MultiByteToWideChar(CP_UTF8, "\xE4\xBF\xAE").value_or(L"-"), L"修");
  EXPECT_EQ(cp.WideCharToMultiByte(936, L"").value_or("-"), "");
}

TEST_F(CodePagesTest, WhatACodePageLacksBecomesItsDefaultCharacter) {
  EXPECT_EQ(cp.WideCharToMultiByte(1252, L"a修b").value_or("-"), "a?b");
}

TEST_F(CodePagesTest, TheAnsiCodePageCarriesAsciiUnchanged) {
  EXPECT_NE(cp.GetACP(), 0u);
  std::wstring url = L"http://127.0.0.1:18480/rundix/behavior/action?mac=&main=page&sub=start";
  EXPECT_EQ(AnsiFromWide(cp, url), "http://127.0.0.1:18480/rundix/behavior/action?mac=&main=page&sub=start");
  EXPECT_EQ(WideFromAnsi(cp, AnsiFromWide(cp, url)), url);
}

TEST_F(CodePagesTest, AnUnknownCodePageFails) {
  EXPECT_FALSE(cp.WideCharToMultiByte(12345, L"abc").has_value());
  EXPECT_FALSE(cp.MultiByteToWideChar(12345, "abc").has_value());
}

}  // namespace
}  // namespace rundix
