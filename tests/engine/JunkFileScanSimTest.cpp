// The junk-file scan over a simulated machine, whose drives are real folders: the folder list,
// the time cut-off, the size text, link cycles and folders that cannot be listed.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/JunkFileScan.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "tests/engine/ScanTestSupport.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using test::Texts;
using Strings = std::vector<std::wstring>;

class JunkFileScanSim : public ::testing::Test {
 protected:
  void Load(const std::string& json) {
    std::string error;
    machine_ = SimMachine::FromJson(json, dir_.path(), &error);
    ASSERT_TRUE(machine_) << error;
  }

  std::vector<PendingFinding> Scan(const std::wstring& folder, int32_t lastRepairTime = 0) {
    test::ScanHarness harness(*machine_, lastRepairTime);
    JunkFileScan(harness.context, folder, harness.panel, harness.category);
    auto findings = harness.Drain();
    for (const auto& f : findings) {
      EXPECT_EQ(f.kind, kJunkFileFinding);
      EXPECT_EQ(f.text1, folder);
      EXPECT_TRUE(f.text2.empty());
      EXPECT_EQ(f.category, harness.category);
    }
    EXPECT_EQ(machine_->SimFiles().OpenHandleCount(), 0u);
    return findings;
  }

  // A symbolic link in the sandbox, as a junction or directory link would be on Windows.
  void Link(const std::wstring& target, const std::wstring& link) {
    std::string to = machine_->SimFiles().HostPath(target, SimFileSystem::View::kNative);
    std::string at = machine_->SimFiles().HostPath(link, SimFileSystem::View::kNative);
    std::error_code ec;
    std::filesystem::create_directory_symlink(to, at, ec);
    ASSERT_FALSE(ec) << at << ": " << ec.message();
  }

  test::TempDir dir_;
  std::unique_ptr<SimMachine> machine_;
};

TEST_F(JunkFileScanSim, TheFolderListKeepsItsOrderAndLeavesOutEmptyPaths) {
  Load(R"({"windows_dir":"D:\\Win","temp_dir":"C:\\T"})");
  Strings tail = {L"D:\\Win\\Temp",
                  L"D:\\Win\\System32\\LogFiles",
                  L"D:\\Win\\ServiceProfiles\\NetworkService\\AppData\\Local\\Temp",
                  L"D:\\Win\\Logs",
                  L"D:\\Win\\debug",
                  L"D:\\Win\\SoftwareDistribution"};
  Strings expected = {L"C:\\T\\"};  // the temporary folder keeps its trailing separator
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(BuildJunkFolderList(machine_->Files()), expected);  // the recycle bin is virtual

  machine_->SimFiles().SetSpecialFolder(CSIDL_BITBUCKET, std::wstring(L"C:\\$Recycle.Bin"));
  expected.insert(expected.begin() + 1, L"C:\\$Recycle.Bin");
  EXPECT_EQ(BuildJunkFolderList(machine_->Files()), expected);

  // A temporary path longer than 260 characters does not fit the buffer: no entry.
  machine_->SimFiles().SetTempPath(L"C:\\" + std::wstring(260, L'x'));
  expected.erase(expected.begin());
  EXPECT_EQ(BuildJunkFolderList(machine_->Files()), expected);
}

TEST_F(JunkFileScanSim, AnEmptyOrFailingTemporaryPathLeavesTheTemporaryFolderOut) {
  for (const char* temp : {R"("")", "null"}) {
    Load(std::string(R"({"windows_dir":"D:\\Win","temp_dir":)") + temp + "}");
    Strings list = BuildJunkFolderList(machine_->Files());
    ASSERT_EQ(list.size(), 6u) << temp;
    EXPECT_EQ(list.front(), L"D:\\Win\\Temp");
  }
}

TEST_F(JunkFileScanSim, HiddenSystemAndReadOnlyFilesCountLikeOthers) {
  Load(R"({"files":[
      {"path":"C:\\J\\plain.log","text":"1"},
      {"path":"C:\\J\\hidden.log","text":"22","attributes":["hidden"]},
      {"path":"C:\\J\\sys\\system.dat","text":"333","attributes":["system","hidden"]},
      {"path":"C:\\J\\ro.txt","text":"4444","attributes":["readonly"]}]})");
  // The machine reports them as Windows would...
  IFileSystem& files = machine_->Files();
  EXPECT_EQ(files.GetFileAttributesW(L"C:\\J\\hidden.log"), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(files.GetFileAttributesW(L"C:\\J\\sys\\system.dat"),
            DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
  EXPECT_EQ(files.CreateFileW(L"C:\\J\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  FindData found;
  FindHandle find = OwnFind(files, files.FindFirstFileW(L"C:\\J\\ro.txt", &found));
  ASSERT_TRUE(find);
  EXPECT_EQ(found.attributes, DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
  find.reset();
  // ...and the walk passes none of them over.
  auto findings = Scan(L"C:\\J");
  EXPECT_EQ(Texts(findings, 3), (Strings{L"C:\\J\\hidden.log", L"C:\\J\\plain.log", L"C:\\J\\ro.txt",
                                         L"C:\\J\\sys\\system.dat"}));
  EXPECT_EQ(Texts(findings, 4), (Strings{L"2", L"1", L"4", L"3"}));
}

TEST_F(JunkFileScanSim, TimesBefore1970After2106AndWithinASecond) {
  const int32_t repair = 1700000000;
  Load(R"({"files":[
      {"path":"C:\\J\\ancient.log","text":"","mtime":-86400},
      {"path":"C:\\J\\far.log","text":"","mtime":5000000000},
      {"path":"C:\\J\\halfpast.log","text":"","mtime":1700000000.5},
      {"path":"C:\\J\\next.log","text":"","mtime":1700000001.25}]})");
  // Before 1970 never counts, even with no repair; beyond 32 bits always counts; a time
  // within the repair's second is not later than it.
  EXPECT_EQ(Texts(Scan(L"C:\\J"), 3), (Strings{L"C:\\J\\far.log", L"C:\\J\\halfpast.log", L"C:\\J\\next.log"}));
  EXPECT_EQ(Texts(Scan(L"C:\\J", repair), 3), (Strings{L"C:\\J\\far.log", L"C:\\J\\next.log"}));
  // The listing carries the sub-second part, in 100-nanosecond units since 1601.
  FindData found;
  FindHandle find = OwnFind(machine_->Files(), machine_->Files().FindFirstFileW(L"C:\\J\\halfpast.log", &found));
  ASSERT_TRUE(find);
  uint64_t ticks = (static_cast<uint64_t>(found.lastWriteTime.dwHighDateTime) << 32) | found.lastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks, (1700000000ULL + 11644473600ULL) * 10000000ULL + 5000000ULL);
}

TEST_F(JunkFileScanSim, DescribedLinksAndJunctionsAreWalkedOnceEach) {
  Load(R"({"files":[
      {"path":"C:\\J\\own.log","text":""},
      {"path":"C:\\Elsewhere\\far.log","text":""}],
      "links":[
      {"path":"C:\\J\\loop","target":"C:\\J","type":"junction"},
      {"path":"C:\\J\\out","target":"C:\\Elsewhere","type":"symlink"},
      {"path":"C:\\J\\dangling","target":"C:\\Gone","type":"junction"}]})");
  IFileSystem& files = machine_->Files();
  EXPECT_EQ(files.GetFileAttributesW(L"C:\\J\\loop") & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
  // The junction back to the start ends there; the link out is followed once.
  EXPECT_EQ(Texts(Scan(L"C:\\J"), 3), (Strings{L"C:\\J\\out\\far.log", L"C:\\J\\own.log"}));
  std::string error;
  EXPECT_FALSE(SimMachine::FromJson(R"({"links":[{"path":"C:\\a","target":"C:\\b","type":"hard"}]})",
                                    dir_.path() + "/bad", &error));
}

TEST_F(JunkFileScanSim, EveryFileAtAnyDepthCountsWithoutARepair) {
  Load(R"({"files":[
      {"path":"C:\\Windows\\Temp\\a.log","text":"12345"},
      {"path":"C:\\Windows\\Temp\\B\\one.tmp","text":""},
      {"path":"C:\\Windows\\Temp\\B\\deeper\\two.tmp","text":"xx"},
      {"path":"C:\\Windows\\Temp\\B\\deeper\\three.tmp","text":""},
      {"path":"C:\\Windows\\Temp\\c\\four.dmp","text":""},
      {"path":"C:\\Windows\\Temp\\d.txt","text":"","mtime":1}],
      "folders":["C:\\Windows\\Temp\\empty"]})");
  auto findings = Scan(L"C:\\Windows\\Temp\\");  // every one named after the junk folder
  // Depth first in listing order: a sub-folder's files come before the entries after it.
  EXPECT_EQ(Texts(findings, 3), (Strings{L"C:\\Windows\\Temp\\a.log", L"C:\\Windows\\Temp\\B\\deeper\\three.tmp",
                                         L"C:\\Windows\\Temp\\B\\deeper\\two.tmp", L"C:\\Windows\\Temp\\B\\one.tmp",
                                         L"C:\\Windows\\Temp\\c\\four.dmp", L"C:\\Windows\\Temp\\d.txt"}));
  EXPECT_EQ(findings[0].text4, L"5");
  EXPECT_EQ(findings[2].text4, L"2");
  // Scanning changes nothing: the same findings again, and nothing in the journal.
  EXPECT_EQ(Texts(Scan(L"C:\\Windows\\Temp\\"), 3), Texts(findings, 3));
  EXPECT_TRUE(machine_->Journal().Events().empty());
}

TEST_F(JunkFileScanSim, OnlyFilesWrittenStrictlyAfterTheRepairCount) {
  const int64_t t = 1700000000;
  Load(R"({"files":[
      {"path":"C:\\J\\at.log","text":"","mtime":1700000000},
      {"path":"C:\\J\\before.log","text":"","mtime":1699999999},
      {"path":"C:\\J\\after.log","text":"","mtime":1700000001},
      {"path":"C:\\J\\sub\\later.log","text":"","mtime":1800000000},
      {"path":"C:\\J\\y2038.log","text":"","mtime":2200000000},
      {"path":"C:\\J\\y2200.log","text":"","mtime":7258118400},
      {"path":"C:\\J\\y1960.log","text":"","mtime":-315619200}]})");
  EXPECT_EQ(Texts(Scan(L"C:\\J", static_cast<int32_t>(t)), 3),
            (Strings{L"C:\\J\\after.log", L"C:\\J\\sub\\later.log", L"C:\\J\\y2038.log", L"C:\\J\\y2200.log"}));
  // Without a repair every file since 1970 counts; one from before 1970 never does.
  EXPECT_EQ(Scan(L"C:\\J", 0).size(), 6u);
  // A repair time that reads as negative is a time after 2038 when compared unsigned.
  EXPECT_EQ(Texts(Scan(L"C:\\J", static_cast<int32_t>(2150000000u)), 3),
            (Strings{L"C:\\J\\y2038.log", L"C:\\J\\y2200.log"}));
}

TEST_F(JunkFileScanSim, SizesAreTheLow32BitsAsASignedNumber) {
  Load(R"({"files":[
      {"path":"C:\\J\\a.big","size":3000000000},
      {"path":"C:\\J\\b.huge","size":4294967301},
      {"path":"C:\\J\\c.max","size":2147483647},
      {"path":"C:\\J\\d.min","size":2147483648},
      {"path":"C:\\J\\e.empty","size":0}]})");
  EXPECT_EQ(Texts(Scan(L"C:\\J\\"), 4),
            (Strings{L"-1294967296", L"5", L"2147483647", L"-2147483648", L"0"}));
}

TEST_F(JunkFileScanSim, ALinkCycleIsWalkedOnce) {
  Load(R"({"files":[
      {"path":"C:\\Windows\\Temp\\a\\one.tmp","text":""},
      {"path":"C:\\Windows\\Temp\\a\\b\\two.tmp","text":""},
      {"path":"C:\\Other\\three.tmp","text":""}]})");
  Link(L"C:\\Windows\\Temp", L"C:\\Windows\\Temp\\a\\b\\up");    // back to the start folder
  Link(L"C:\\Windows\\Temp\\a", L"C:\\Windows\\Temp\\a\\b\\self");  // back to a parent
  Link(L"C:\\Other", L"C:\\Windows\\Temp\\z-elsewhere");          // out of the tree, once
  Link(L"C:\\Other", L"C:\\Windows\\Temp\\z-elsewhere-again");
  EXPECT_EQ(Texts(Scan(L"C:\\Windows\\Temp"), 3),
            (Strings{L"C:\\Windows\\Temp\\a\\b\\two.tmp", L"C:\\Windows\\Temp\\a\\one.tmp",
                     L"C:\\Windows\\Temp\\z-elsewhere\\three.tmp"}));
}

TEST_F(JunkFileScanSim, EachListEntryIsWalkedOnItsOwnEvenWhenTwoAreOneFolder) {
  Load(R"({"temp_dir":"C:\\Windows\\Temp\\","files":[{"path":"C:\\Windows\\Temp\\x.tmp","text":""}]})");
  test::ScanHarness harness(*machine_);
  JunkFolderScan(harness.context, harness.panel, harness.category);
  auto findings = harness.Drain();
  EXPECT_EQ(Texts(findings, 1), (Strings{L"C:\\Windows\\Temp\\", L"C:\\Windows\\Temp"}));
  EXPECT_EQ(Texts(findings, 3), (Strings{L"C:\\Windows\\Temp\\x.tmp", L"C:\\Windows\\Temp\\x.tmp"}));
}

TEST_F(JunkFileScanSim, FoldersThatCannotBeListedArePassedOver) {
  Load(R"({"unlistable":["C:\\J\\b-secret","C:\\Gone"],"files":[
      {"path":"C:\\J\\a.log","text":""},
      {"path":"C:\\J\\b-secret\\hidden.log","text":""},
      {"path":"C:\\J\\c\\seen.log","text":""}]})");
  EXPECT_EQ(Texts(Scan(L"C:\\J"), 3), (Strings{L"C:\\J\\a.log", L"C:\\J\\c\\seen.log"}));
  EXPECT_TRUE(Scan(L"C:\\Gone").empty());
  EXPECT_TRUE(Scan(L"C:\\Missing").empty());
}

}  // namespace
}  // namespace rundix
