// Downloads over the real WinINet under Wine, from the rundix-server the test run started
// (RUNDIX_TEST_HTTP, serving tests/data/server-files).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "engine/InternetTransfer.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

// The content of tests/data/server-files/payload.bin.
std::string Payload() {
  std::string text;
  char line[64];
  for (int i = 0; i < 2000; ++i) {
    std::snprintf(line, sizeof(line), "line %05d of the rundix test payload\n", i);
    text += line;
  }
  return text;
}

class WinInetDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* server = std::getenv("RUNDIX_TEST_HTTP");
    if (server == nullptr || *server == '\0') GTEST_SKIP() << "no test server: RUNDIX_TEST_HTTP is not set (ctest's wine_environment fixture starts one)";
    base = std::string("http://") + server;
    folder = m.Files().GetTempPathW(MAX_PATH + 1) + L"rundix-download-test\\";
  }
  void TearDown() override {
    m.Files().DeleteFileW(folder + L"a\\b\\payload.bin");
    m.Files().DeleteFileW(folder + L"missing.bin");
  }

  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  Machine& m = host->machine();
  std::string base;
  std::wstring folder;
};

TEST_F(WinInetDownloadTest, AFileArrivesWholeInFoldersMadeForIt) {
  const std::wstring path = folder + L"a\\b\\payload.bin";
  ASSERT_TRUE(DownloadUrlToFile(m, WideFromUtf8(base + "/zq/rundix/payload.bin"), path));
  EXPECT_EQ(test::ReadWholeFile(m.Files(), path), Payload());
  // Again: the file is replaced, not appended to.
  ASSERT_TRUE(DownloadUrlToFile(m, WideFromUtf8(base + "/zq/rundix/payload.bin"), path));
  EXPECT_EQ(test::ReadWholeFile(m.Files(), path), Payload());
}

TEST_F(WinInetDownloadTest, A404MakesNoFile) {
  EXPECT_FALSE(DownloadUrlToFile(m, WideFromUtf8(base + "/zq/rundix/missing.bin"), folder + L"missing.bin"));
  EXPECT_FALSE(IsExistingFile(m.Files(), folder + L"missing.bin"));
}

TEST_F(WinInetDownloadTest, ARequestNeedsOnlyAResponse) {
  EXPECT_TRUE(RequestUrl(m, base + "/zq/rundix/hello.txt"));
  EXPECT_TRUE(RequestUrl(m, base + "/no/such/page"));
  EXPECT_FALSE(RequestUrl(m, "http://127.0.0.1:1/refused"));
}

}  // namespace
}  // namespace rundix
