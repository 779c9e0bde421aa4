// Verified installers under Wine against rundix-server, which serves the stand-in installer
// as built and a tampered copy of it: only the pinned bytes ever start, from a run folder
// that is gone afterwards; run folders get an access list for SYSTEM and Administrators only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "engine/InstallerVerification.h"
#include "engine/InternetTransfer.h"
#include "platform/Crypto.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

class VerifiedInstallWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    IFileSystem& files = m.Files();
    temp = files.GetTempPathW(MAX_PATH + 1);
    folder = temp + L"rundix-verify-test\\";
    ASSERT_TRUE(CreateFolderTree(files, folder));
    runs = temp + L"rundix-test-installer-runs.log";
    files.DeleteFileW(runs);
    // The pin is made from the installer as it was built, never from what the server sends.
    auto built = test::ReadWholeFile(files, WideFromUtf8(RUNDIX_TEST_INSTALLER));
    ASSERT_TRUE(built) << "the stand-in installer was not built";
    Sha256 hash;
    hash.Update(built->data(), built->size());
    pin = InstallerPin{L"", built->size(), hash.FinishHex()};
  }
  void TearDown() override {
    m.Files().DeleteFileW(folder + L"intact-installer.exe");
    m.Files().DeleteFileW(runs);
  }
  bool Download(const std::string& name) {
    const char* server = std::getenv("RUNDIX_TEST_HTTP");
    if (server == nullptr || *server == '\0') return false;
    return DownloadUrlToFile(m, WideFromUtf8("http://" + std::string(server) + "/zq/rundix/" + name),
                             folder + WideFromUtf8(name));
  }
  // Run folders under the program data that are still there.
  std::vector<std::wstring> RunFolders() {
    std::vector<std::wstring> found;
    std::wstring programData;
    if (!m.Files().SHGetSpecialFolderPathW(CSIDL_COMMON_APPDATA, &programData, false)) return found;
    FindData entry;
    FindHandle find = OwnFind(m.Files(), m.Files().FindFirstFileW(programData + L"\\Rundix-*", &entry));
    if (find) {
      do found.push_back(entry.name);
      while (m.Files().FindNextFileW(find.get(), &entry));
    }
    return found;
  }

  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  Machine& m = host->machine();
  std::wstring temp;
  std::wstring folder;
  std::wstring runs;
  InstallerPin pin;
};

TEST_F(VerifiedInstallWin32Test, AnIntactInstallerRunsAndATamperedOneNeverStarts) {
  if (std::getenv("RUNDIX_TEST_HTTP") == nullptr) GTEST_SKIP() << "no test server: RUNDIX_TEST_HTTP is not set";
  ASSERT_TRUE(Download("intact-installer.exe"));
  ASSERT_TRUE(Download("tampered-installer.exe"));
  std::vector<std::wstring> before = RunFolders();

  pin.fileName = L"tampered-installer.exe";
  EXPECT_EQ(InstallVerified(m, folder + L"tampered-installer.exe", L"/S", &pin), InstallOutcome::kRejected);
  EXPECT_FALSE(IsExistingFile(m.Files(), folder + L"tampered-installer.exe")) << "wrong bytes are not kept";
  EXPECT_FALSE(test::ReadWholeFile(m.Files(), runs)) << "the tampered installer started";

  pin.fileName = L"intact-installer.exe";
  EXPECT_EQ(InstallVerified(m, folder + L"intact-installer.exe", L"/S", &pin), InstallOutcome::kStarted);
  // The installer waits a moment before it writes: the run waited for it.
  EXPECT_EQ(test::ReadWholeFile(m.Files(), runs), "intact-installer.exe /S\n");
  EXPECT_TRUE(IsExistingFile(m.Files(), folder + L"intact-installer.exe")) << "the download stays";
  EXPECT_EQ(RunFolders(), before) << "the run folder is removed";
}

TEST_F(VerifiedInstallWin32Test, AFolderMadeWithAnAccessListHasOnlyThatList) {
  std::wstring made = folder + L"access-list-test";
  m.Files().RemoveDirectoryW(made);
  ASSERT_TRUE(m.Files().CreateDirectoryWithAccessW(made, kRunFolderAccess)) << m.Files().GetLastError();
  std::wstring list = m.Files().GetAccessListW(made);
  // Wine keeps no access lists on its files (it makes one up from the Unix modes); where a
  // list of nobody but Everyone does not come back either, there is nothing to check.
  std::wstring probe = folder + L"access-list-probe";
  m.Files().RemoveDirectoryW(probe);
  ASSERT_TRUE(m.Files().CreateDirectoryWithAccessW(probe, L"D:P(A;OICI;FA;;;WD)"));
  std::wstring probed = m.Files().GetAccessListW(probe);
  m.Files().RemoveDirectoryW(probe);
  if (probed != L"D:P(A;OICI;FA;;;WD)") {
    m.Files().RemoveDirectoryW(made);
    GTEST_SKIP() << "this file system keeps no access lists (asked for D:P(A;OICI;FA;;;WD), read "
                 << Utf8FromWide(probed) << ")";
  }
  EXPECT_EQ(list.rfind(L"D:P", 0), 0u) << Utf8FromWide(list) << ": nothing inherited";
  EXPECT_NE(list.find(L"(A;OICI;FA;;;SY)"), std::wstring::npos) << Utf8FromWide(list);
  EXPECT_NE(list.find(L"(A;OICI;FA;;;BA)"), std::wstring::npos) << Utf8FromWide(list);
  EXPECT_EQ(std::count(list.begin(), list.end(), L'('), 2) << Utf8FromWide(list);
  EXPECT_TRUE(m.Files().RemoveDirectoryW(made));
  // A second folder of the same name is never taken over.
  ASSERT_TRUE(m.Files().CreateDirectoryW(made));
  EXPECT_FALSE(m.Files().CreateDirectoryWithAccessW(made, kRunFolderAccess));
  EXPECT_EQ(m.Files().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  m.Files().RemoveDirectoryW(made);
}

}  // namespace
}  // namespace rundix
