// Starting an installer through the real shell under Wine: the switch arrives as the
// parameters, and the run waits until the installer has exited.
#include <gtest/gtest.h>

#include <vector>

#include "engine/RepairRun.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

class RunInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IFileSystem& files = m.Files();
    folder = files.GetTempPathW(MAX_PATH + 1) + L"rundix installer test\\";
    ASSERT_TRUE(CreateFolderTree(files, folder));
    auto program = test::ReadWholeFile(files, WideFromUtf8(RUNDIX_TEST_INSTALLER));
    ASSERT_TRUE(program) << "the stand-in installer was not built";
    installer = folder + L"setup one.exe";
    ASSERT_TRUE(test::WriteWholeFile(files, installer, *program));
    files.DeleteFileW(installer + L".args");
  }
  void TearDown() override {
    m.Files().DeleteFileW(installer + L".args");
    m.Files().DeleteFileW(installer);
  }

  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  Machine& m = host->machine();
  std::wstring folder;
  std::wstring installer;
};

TEST_F(RunInstallerTest, TheSwitchArrivesAndTheRunWaitsForTheExit) {
  ASSERT_TRUE(RunInstaller(m, installer, L"/quiet /norestart"));
  // The installer writes only after a pause: had the run not waited, there would be nothing.
  EXPECT_EQ(test::ReadWholeFile(m.Files(), installer + L".args"), "/quiet /norestart");
}

TEST_F(RunInstallerTest, AnInstallerWithoutASwitchGetsNoParameters) {
  ASSERT_TRUE(RunInstaller(m, installer, L""));
  EXPECT_EQ(test::ReadWholeFile(m.Files(), installer + L".args"), "");
}

}  // namespace
}  // namespace rundix
