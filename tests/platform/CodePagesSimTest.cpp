// The simulated machine's ANSI code page.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePages.h"
#include "platform/sim/SimMachine.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

TEST(SimCodePages, TheDescriptionChoosesTheAnsiCodePage) {
  auto gbk = test::MakeTestMachine();
  EXPECT_EQ(gbk->machine().CodePages().GetACP(), 936u);
  EXPECT_EQ(AnsiFromWide(gbk->machine().CodePages(), L"修复"), "\xD0\xDE\xB8\xB4");

  auto western = test::MakeTestMachine(R"({"ansi_code_page": 1252})");
  EXPECT_EQ(western->machine().CodePages().GetACP(), 1252u);
  EXPECT_EQ(AnsiFromWide(western->machine().CodePages(), L"café 修"), "caf\xE9 ?");
  EXPECT_EQ(WideFromAnsi(western->machine().CodePages(), "\x81\x8D"), L"\u0081\u008D");
}

TEST(SimCodePages, AnUnsupportedCodePageIsABadDescription) {
  test::TempDir sandbox;
  std::string error;
  EXPECT_EQ(SimMachine::FromJson(R"({"ansi_code_page": 437})", sandbox.path(), &error), nullptr);
  EXPECT_NE(error.find("ansi_code_page"), std::string::npos);
  EXPECT_EQ(SimMachine::FromJson(R"({"ansi_code_page": "936"})", sandbox.path(), &error), nullptr);
}

TEST(SimCodePages, BrokenGbkBytesBecomeDefaultCharacters) {
  auto host = test::MakeTestMachine();
  ICodePages& cp = host->machine().CodePages();
  // A lead byte at the end, and a lead byte followed by a byte no trail may be.
  EXPECT_EQ(cp.MultiByteToWideChar(936, "a\x81").value_or(L"-"), L"a?");
  EXPECT_EQ(cp.MultiByteToWideChar(936, "\x81\x20x").value_or(L"-"), L"? x");
  // Characters outside GBK.
  EXPECT_EQ(cp.WideCharToMultiByte(936, L"a\U0001F600b").value_or("-"), "a?b");
  // A broken sequence leaves nothing behind for the next conversion.
  EXPECT_EQ(cp.MultiByteToWideChar(936, "\xD0\xDE\xB8\xB4").value_or(L"-"), L"修复");
}

TEST(SimCodePages, ThreadsConvertAtOnceWithoutMixingTheirText) {
  auto host = test::MakeTestMachine();
  ICodePages& cp = host->machine().CodePages();
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&cp, &wrong, t] {
      const std::wstring text = L"修复 DLL " + std::to_wstring(t) + L" 运行库";
      for (int i = 0; i < 500; ++i) {
        std::optional<std::string> gbk = cp.WideCharToMultiByte(936, text);
        if (!gbk || cp.MultiByteToWideChar(936, *gbk).value_or(L"") != text) ++wrong;
        if (cp.MultiByteToWideChar(936, "\x81\x20").value_or(L"") != L"? ") ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace rundix
