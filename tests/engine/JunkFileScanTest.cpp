// The junk-file walk over a real folder tree: the simulated machine's sandbox on Linux, the
// Wine prefix's file system under Windows.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/JunkFileScan.h"
#include "tests/engine/ScanTestSupport.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using Strings = std::vector<std::wstring>;

class JunkFileScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = files_.GetTempPathW(261);
    ASSERT_FALSE(temp_.empty());
    root_ = temp_ + L"rundix-junk-" + std::to_wstring(machine_.Runtime().GetTickCount()) + L"-" +
            std::to_wstring(machine_.Runtime().Time());
    ASSERT_TRUE(CreateFolderTree(files_, root_ + L"\\sub\\deeper"));
  }
  void TearDown() override {
    for (const auto& f : made_) files_.DeleteFileW(f);
  }

  void Write(const std::wstring& path, size_t bytes) {
    FileHandle file = OwnFile(files_, files_.CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(file) << "error " << files_.GetLastError();
    std::string data(bytes, 'j');
    DWORD written = 0;
    ASSERT_TRUE(files_.WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written));
    made_.push_back(path);
  }

  std::unique_ptr<test::TestMachine> host_ = test::MakeTestMachine();
  Machine& machine_ = host_->machine();
  IFileSystem& files_ = machine_.Files();
  std::wstring temp_;
  std::wstring root_;
  Strings made_;
};

TEST_F(JunkFileScanTest, ATreeDeeperThanMaxPathIsWalkedToItsEnd) {
  // Folders made through the "\\?\" form: their plain paths pass MAX_PATH characters.
  std::wstring deep = root_ + L"\\sub";
  std::vector<std::wstring> folders;
  while (deep.size() < MAX_PATH + 40) {
    deep += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(files_.CreateDirectoryW(ExtendedLengthPath(deep))) << "error " << files_.GetLastError();
    folders.push_back(deep);
  }
  const std::wstring file = deep + L"\\bottom.log";
  Write(ExtendedLengthPath(file), 5);
  Write(root_ + L"\\top.log", 1);

  test::ScanHarness harness(machine_);
  JunkFileScan(harness.context, root_, harness.panel, harness.category);
  Strings paths = test::Texts(harness.Drain(), 3);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (Strings{file, root_ + L"\\top.log"})) << "the finding shows the plain path";

  for (const auto& f : made_) files_.DeleteFileW(f);
  made_.clear();
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) files_.RemoveDirectoryW(ExtendedLengthPath(*it));
}

TEST_F(JunkFileScanTest, WalksARealTreeAndReportsEachFileWithItsSize) {
  Write(root_ + L"\\top.log", 3);
  Write(root_ + L"\\sub\\mid.tmp", 0);
  Write(root_ + L"\\sub\\deeper\\low.dmp", 1234);

  test::ScanHarness harness(machine_);
  JunkFileScan(harness.context, root_ + L"\\", harness.panel, harness.category);
  auto findings = harness.Drain();
  ASSERT_EQ(findings.size(), 3u);
  Strings seen;
  for (const auto& f : findings) {
    EXPECT_EQ(f.text1, root_ + L"\\");
    EXPECT_EQ(f.kind, kJunkFileFinding);
    seen.push_back(f.text3 + L"=" + f.text4);
  }
  // The host's listing order is its own; the set is what counts here.
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (Strings{root_ + L"\\sub\\deeper\\low.dmp=1234", root_ + L"\\sub\\mid.tmp=0",
                           root_ + L"\\top.log=3"}));

  // Files written before the last repair do not count.
  test::ScanHarness later(machine_, static_cast<int32_t>(machine_.Runtime().Time() + 86400));
  JunkFileScan(later.context, root_, later.panel, later.category);
  EXPECT_TRUE(later.Drain().empty());
}

TEST_F(JunkFileScanTest, FolderIdentitiesTellFoldersApartWhateverThePath) {
  FolderIdentity a, again, b;
  ASSERT_TRUE(files_.GetFolderIdentity(root_ + L"\\sub", &a));
  ASSERT_TRUE(files_.GetFolderIdentity(root_ + L"\\SUB\\deeper\\..", &again));
  ASSERT_TRUE(files_.GetFolderIdentity(root_ + L"\\sub\\deeper", &b));
  EXPECT_EQ(a, again);
  EXPECT_NE(a, b);
  Write(root_ + L"\\plain.txt", 1);
  EXPECT_FALSE(files_.GetFolderIdentity(root_ + L"\\plain.txt", &a));
  EXPECT_FALSE(files_.GetFolderIdentity(root_ + L"\\missing", &a));
}

TEST_F(JunkFileScanTest, TheListStartsWithTheTemporaryFolderAndEndsUnderWindows) {
  Strings list = BuildJunkFolderList(files_);
  ASSERT_GE(list.size(), 7u);
  EXPECT_EQ(list.front(), temp_);
  std::wstring windows;
  ASSERT_TRUE(files_.SHGetSpecialFolderPathW(CSIDL_WINDOWS, &windows, false));
  EXPECT_EQ(list[list.size() - 6], windows + L"\\Temp");
  EXPECT_EQ(list.back(), windows + L"\\SoftwareDistribution");
}

}  // namespace
}  // namespace rundix
