// Whole repair runs over simulated machines, downloading from a real rundix-server: what is
// downloaded and started, with which switch, and the nineteen step reports and the end
// report in order whatever becomes of each entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/Messages.h"
#include "engine/InstallerVerification.h"
#include "engine/RepairRun.h"
#include "platform/Crypto.h"
#include "platform/MessagePost.h"
#include "platform/Text.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimSystemInfo.h"
#include "tests/engine/ServedFiles.h"
#include "tests/support/ServerProcess.h"

namespace rundix {
namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));
constexpr wchar_t kAppData[] = L"C:\\Users\\user\\AppData\\Roaming\\RUNDIX\\";

std::vector<std::wstring> FileNames() {
  std::vector<std::wstring> names;
  for (const RuntimePackage& p : BuildCatalogue()) names.push_back(p.fileName);
  return names;
}

struct Started {
  std::wstring file;
  std::wstring parameters;
  bool operator==(const Started&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Started& s) {
  return out << Utf8FromWide(s.file) << " [" << Utf8FromWide(s.parameters) << "]";
}

class RepairRunTest : public ::testing::Test {
 protected:
  // Serves every installer, with the faults given ("NAME=MODE").
  // Serves every installer, each pinned as served, with the faults given ("NAME=MODE").
  void Serve(const std::vector<std::string>& faults = {}, const std::vector<std::string>& absent = {}) {
    unsigned seed = 1;
    for (const std::wstring& name : FileNames()) {
      std::string n = Utf8FromWide(name);
      if (std::find(absent.begin(), absent.end(), n) == absent.end()) Put(n, test::PatternBytes(5000 + seed, seed));
      ++seed;
    }
    std::vector<std::string> args{"--files", files.folder()};
    for (const std::string& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
    server = std::make_unique<test::ServerProcess>(args);
    ASSERT_TRUE(server->running());
  }
  // A served installer and its pin, as the tests' pins file would have it.
  void Put(const std::string& name, const std::string& bytes) {
    files.Put(name, bytes);
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    pins.Set(InstallerPin{WideFromUtf8(name), bytes.size(), hash.FinishHex()});
  }
  void Load(const std::string& json) {
    std::string error;
    machine = SimMachine::FromJson(json, sandbox.path(), &error);
    ASSERT_TRUE(machine) << error;
  }
  void LoadFixture(const std::string& name) {
    std::string error;
    machine = SimMachine::FromFile(std::string(RUNDIX_TEST_DATA_DIR) + "/repair/" + name, sandbox.path(), &error);
    ASSERT_TRUE(machine) << error;
  }
  RepairRunContext Context(std::wstring appData = kAppData) {
    RepairRunContext c;
    c.machine = machine.get();
    c.poster = &poster;
    c.window = kWindow;
    c.appDataFolder = std::move(appData);
    c.server = server->waddress();
    c.pins = &pins;
    return c;
  }
  // The installers started, by file name: each runs from a run folder of its own.
  std::vector<Started> Executions() {
    std::vector<Started> out;
    for (const auto& e : machine->SimSystem().Executions()) {
      out.push_back(Started{e.path.substr(e.path.rfind(L'\\') + 1), e.parameters});
    }
    return out;
  }
  static Started Installer(const std::wstring& name, const std::wstring& parameters) {
    return Started{name, parameters};
  }
  // The six x86 Visual C++ runtimes, run first on any machine with their own switches.
  static std::vector<Started> X86VisualCpp() {
    return {Installer(L"2005_vcredist_x86.exe", L"/Q"),
            Installer(L"2008_vcredist_x86.exe", L"/q"),
            Installer(L"2010_vcredist_x86.exe", L"/q"),
            Installer(L"2012_vcredist_x86.exe", L"/quiet /norestart"),
            Installer(L"2013_vcredist_x86.exe", L"/quiet /norestart"),
            Installer(L"2015_VC_redist.x86.exe", L"/quiet /norestart")};
  }
  size_t Downloads() { return machine->Journal().EventsOfKind("open_url").size(); }
  // Nineteen entry reports and one end report, in that order, all to the main window.
  void ExpectReports(size_t runs = 1) {
    std::vector<PostedMessage> messages = poster.Messages();
    ASSERT_EQ(messages.size(), 20u * runs);
    for (size_t i = 0; i < messages.size(); ++i) {
      EXPECT_EQ(messages[i].window, kWindow);
      EXPECT_EQ(messages[i].message, i % 20 == 19 ? UM_REPAIR_DONE : UM_REPAIR_STEP) << i;
      EXPECT_EQ(messages[i].wParam, 0u);
      EXPECT_EQ(messages[i].lParam, 0);
    }
  }

  test::ServedFiles files;
  InstallerPins pins;
  std::unique_ptr<test::ServerProcess> server;
  test::TempDir sandbox;
  std::unique_ptr<SimMachine> machine;
  RecordingMessagePoster poster;
};

TEST_F(RepairRunTest, On64BitWithEverythingTheX86VisualCppIsStillDownloadedAndRun) {
  Serve();
  LoadFixture("everything-x64.json");
  RunRepair(Context());
  ExpectReports();
  EXPECT_EQ(Executions(), X86VisualCpp());
  EXPECT_EQ(Downloads(), 6u);
  for (const auto& e : machine->SimSystem().Executions()) {
    EXPECT_EQ(e.apartment, ComApartment::kSingleThreaded) << "started without COM on the thread";
  }
  EXPECT_TRUE(machine->SimFiles().GetFile(std::wstring(kAppData) + L"2008_vcredist_x86.exe") ==
              test::PatternBytes(5002, 2));
}

TEST_F(RepairRunTest, On32BitTheX64EntriesArePassedOverAndTheRestRunWithTheirSwitches) {
  Serve();
  Load(R"({"native_arch":"x86"})");
  RunRepair(Context());
  ExpectReports();
  std::vector<Started> expected = X86VisualCpp();
  expected.insert(expected.end(), {Installer(L"dotnetfx35.exe", L""),
                                   Installer(L"dotNetFx40_Full_x86_x64.exe", L"/q"),
                                   Installer(L"xnafx31_redist.msi", L"/quiet /norestart"),
                                   Installer(L"xnafx40_redist.msi", L"/quiet /norestart"),
                                   Installer(L"directx_Jun2010_redist.exe", L"/Q"),
                                   Installer(L"OpenALv2070.exe", L"/S"),
                                   Installer(L"PhysX-9.16.0318.exe", L"")});
  EXPECT_EQ(Executions(), expected);
  EXPECT_EQ(Downloads(), 13u) << "no x64 installer is even downloaded";
}

TEST_F(RepairRunTest, FailedDownloadsRunNothingAndTheRunGoesOn) {
  Serve({"2008_vcredist_x86.exe=short", "2010_vcredist_x86.exe=no-length", "2012_vcredist_x86.exe=error500",
         "2013_vcredist_x86.exe=zero-length", "2015_VC_redist.x86.exe=stall"},
        {"2005_vcredist_x86.exe"});
  LoadFixture("everything-x64.json");
  RunRepair(Context());
  ExpectReports();
  // 2005: 404; 2008: short; 2012: 500; 2013: empty; 2015: stalled. Only the body without a
  // length arrived whole.
  EXPECT_EQ(Executions(), (std::vector<Started>{Installer(L"2010_vcredist_x86.exe", L"/q")}));
  EXPECT_EQ(Downloads(), 6u);
}

TEST_F(RepairRunTest, TheRunWaitsForAnInstallerThatIsStillRunning) {
  Serve();
  LoadFixture("everything-x64.json");
  machine->SimSystem().HoldInstaller(L"2012_vcredist_x86.exe");
  std::thread run([&] { RunRepair(Context()); });
  ASSERT_TRUE(machine->SimSystem().WaitUntilHeld(L"2012_vcredist_x86.exe", 20000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(poster.Messages().size(), 3u) << "entries 0-2 finished, entry 3 waits for its installer";
  EXPECT_EQ(Downloads(), 4u);
  machine->SimSystem().ReleaseInstaller(L"2012_vcredist_x86.exe");
  run.join();
  ExpectReports();
  EXPECT_EQ(Executions().size(), 6u);
}

TEST_F(RepairRunTest, ASecondRunReplacesTheInstallerFiles) {
  Serve();
  LoadFixture("everything-x64.json");
  RunRepair(Context());
  const std::wstring local = std::wstring(kAppData) + L"2013_vcredist_x86.exe";
  EXPECT_TRUE(machine->SimFiles().GetFile(local) == test::PatternBytes(5005, 5));
  Put("2013_vcredist_x86.exe", "a shorter installer");
  RunRepair(Context());
  EXPECT_EQ(machine->SimFiles().GetFile(local), "a shorter installer");
  EXPECT_TRUE(machine->SimSystem().Executions().back().content.size() > 0);
  ExpectReports(2);
  EXPECT_EQ(Executions().size(), 12u);
}

TEST_F(RepairRunTest, OnlyPinnedBytesRunAndEveryEntryStillReports) {
  Serve();
  // The server's 2008 installer is not the pinned one; 2012 has no pin at all.
  files.Put("2008_vcredist_x86.exe", test::PatternBytes(5002, 99));
  InstallerPins partial;
  for (const RuntimePackage& p : BuildCatalogue()) {
    if (p.fileName != L"2012_vcredist_x86.exe" && pins.Find(p.fileName)) partial.Set(*pins.Find(p.fileName));
  }
  pins = partial;
  LoadFixture("everything-x64.json");
  RunRepair(Context());
  ExpectReports();
  EXPECT_EQ(Executions(), (std::vector<Started>{Installer(L"2005_vcredist_x86.exe", L"/Q"),
                                                Installer(L"2010_vcredist_x86.exe", L"/q"),
                                                Installer(L"2013_vcredist_x86.exe", L"/quiet /norestart"),
                                                Installer(L"2015_VC_redist.x86.exe", L"/quiet /norestart")}));
  EXPECT_EQ(Downloads(), 6u);
  // What failed verification is not kept; what passed stays in the application data folder.
  EXPECT_FALSE(machine->SimFiles().GetFile(std::wstring(kAppData) + L"2008_vcredist_x86.exe"));
  EXPECT_FALSE(machine->SimFiles().GetFile(std::wstring(kAppData) + L"2012_vcredist_x86.exe"));
  EXPECT_TRUE(machine->SimFiles().GetFile(std::wstring(kAppData) + L"2005_vcredist_x86.exe"));
  EXPECT_TRUE(machine->SimFiles().FolderEntries(L"C:\\ProgramData").empty()) << "no run folder is left";
  for (const auto& e : machine->SimSystem().Executions()) {
    EXPECT_EQ(e.folderAccess, kRunFolderAccess);
    EXPECT_EQ(e.folderEntries.size(), 1u);
  }
}

TEST_F(RepairRunTest, WithoutAnApplicationDataFolderNothingIsDownloaded) {
  Serve();
  Load(R"({"native_arch":"x86"})");
  RunRepair(Context(L""));
  ExpectReports();
  EXPECT_EQ(Downloads(), 0u);
  EXPECT_TRUE(Executions().empty());
  EXPECT_TRUE(machine->Journal().EventsOfKind("create_file").empty());
}

TEST_F(RepairRunTest, WhatAnInstallerInstalledIsFoundByTheNextRun) {
  Serve();
  Load(R"({"native_arch":"x86","installers":[
      {"file":"2010_vcredist_x86.exe","parameters":"/q",
       "files":[{"path":"C:\\Windows\\System32\\MSVCR100.dll"}],
       "msi_products":["{196BB40D-1578-3D01-B289-BEFC77A11A1E}"]},
      {"file":"OpenALv2070.exe","parameters":"/S",
       "files":[{"path":"C:\\Windows\\System32\\OpenAL32.dll","version":"6.14.357.24"}],
       "libraries":{"OpenAL32.dll":[]}}]})");
  RunRepair(Context());
  EXPECT_EQ(Executions().size(), 13u) << "the masks are not refreshed within a run";
  RunRepair(Context());
  ExpectReports(2);
  auto second = Executions();
  ASSERT_EQ(second.size(), 24u);
  second.erase(second.begin(), second.begin() + 13);
  for (const Started& s : second) {
    EXPECT_EQ(s.file.find(L"2010_vcredist_x86.exe"), std::wstring::npos);
    EXPECT_EQ(s.file.find(L"OpenALv2070.exe"), std::wstring::npos);
  }
}

}  // namespace
}  // namespace rundix
