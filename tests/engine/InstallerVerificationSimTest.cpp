// Verifying, copying and running a downloaded installer on the simulated machine: only the
// pinned bytes run, from a fresh folder that only administrators and the system can change,
// on handles that let nobody swap them, and the folder is gone afterwards.
#include <gtest/gtest.h>

#include "engine/InstallerVerification.h"
#include "platform/Crypto.h"
#include "platform/Text.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimSystemInfo.h"
#include "tests/engine/ServedFiles.h"
#include "tests/support/SimMachineFactory.h"

namespace rundix {
namespace {

constexpr wchar_t kAppData[] = L"C:\\Users\\user\\AppData\\Roaming\\RUNDIX\\";
constexpr wchar_t kName[] = L"2010_vcredist_x86.exe";

InstallerPin PinOf(const std::wstring& name, const std::string& bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return InstallerPin{name, bytes.size(), hash.FinishHex()};
}

class InstallerVerificationSim : public ::testing::Test {
 protected:
  void SetUp() override { Load("{}"); }
  void Load(const std::string& description) {
    machine = test::LoadSimMachine(sandbox, description);
    ASSERT_TRUE(machine);
  }
  // The downloaded file, as DownloadUrlToFile would have left it.
  std::wstring Downloaded(const std::string& bytes) {
    std::wstring path = std::wstring(kAppData) + kName;
    EXPECT_TRUE(machine->SimFiles().PutFile(path, bytes));
    return path;
  }
  std::vector<SimSystemInfo::Execution> Executions() { return machine->SimSystem().Executions(); }
  // What the program-data folder holds besides what a fresh machine has.
  std::vector<std::wstring> RunFolders() { return machine->SimFiles().FolderEntries(L"C:\\ProgramData"); }

  const std::string intact = test::PatternBytes(70000, 7);
  const InstallerPin pin = PinOf(kName, intact);
  test::TempDir sandbox;
  std::unique_ptr<SimMachine> machine;
};

TEST_F(InstallerVerificationSim, AnIntactInstallerRunsAloneInAFolderOnlyAdministratorsCanChange) {
  std::wstring local = Downloaded(intact);
  std::vector<SimFileSystem::OpenHandle> copyHandles;
  std::vector<SimFileSystem::OpenHandle> downloadHandles;
  machine->SimSystem().OnExecute([&](const std::wstring& path) {
    copyHandles = machine->SimFiles().OpenHandles(path);
    downloadHandles = machine->SimFiles().OpenHandles(local);
  });
  EXPECT_EQ(InstallVerified(*machine, local, L"/q", &pin), InstallOutcome::kStarted);

  auto runs = Executions();
  ASSERT_EQ(runs.size(), 1u);
  const auto& run = runs[0];
  // Started by its absolute path in a fresh, randomly named folder under the program data.
  const std::wstring prefix = L"C:\\ProgramData\\Rundix-";
  ASSERT_EQ(run.path.rfind(prefix, 0), 0u) << Utf8FromWide(run.path);
  std::wstring folder = run.path.substr(0, run.path.rfind(L'\\'));
  EXPECT_EQ(folder.size(), prefix.size() + 16);
  EXPECT_EQ(folder.substr(prefix.size()).find_first_not_of(L"0123456789abcdef"), std::wstring::npos);
  EXPECT_EQ(run.path, folder + L"\\" + kName);
  EXPECT_EQ(run.directory, folder);
  EXPECT_EQ(run.parameters, L"/q");
  EXPECT_TRUE(run.content == intact);
  EXPECT_EQ(run.folderEntries, (std::vector<std::wstring>{kName}));
  EXPECT_EQ(run.folderAccess, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  // At the start both the copy and the download were held for reading, shared with readers only.
  ASSERT_EQ(copyHandles.size(), 1u);
  EXPECT_EQ(copyHandles[0].access, GENERIC_READ);
  EXPECT_EQ(copyHandles[0].share, static_cast<DWORD>(FILE_SHARE_READ));
  ASSERT_EQ(downloadHandles.size(), 1u);
  EXPECT_EQ(downloadHandles[0].share, static_cast<DWORD>(FILE_SHARE_READ));

  // Afterwards the folder is gone; the download stays in the application data folder.
  EXPECT_TRUE(RunFolders().empty());
  EXPECT_TRUE(machine->SimFiles().GetFile(local) == intact);
  EXPECT_EQ(machine->SimFiles().OpenHandleCount(), 0u);
}

TEST_F(InstallerVerificationSim, WrongBytesNeverRunAndAreDeleted) {
  std::string tampered = intact;
  tampered[31337] ^= 0x01;
  struct Case {
    const char* what;
    std::string bytes;
  };
  for (const Case& c : {Case{"a tampered byte", tampered}, Case{"a short file", intact.substr(0, intact.size() - 1)},
                        Case{"a long file", intact + "x"}, Case{"an empty file", ""}}) {
    std::wstring local = Downloaded(c.bytes);
    EXPECT_EQ(InstallVerified(*machine, local, L"/q", &pin), InstallOutcome::kRejected) << c.what;
    EXPECT_FALSE(machine->SimFiles().GetFile(local)) << c.what << ": the wrong file is not kept";
    EXPECT_TRUE(RunFolders().empty()) << c.what;
  }
  EXPECT_TRUE(Executions().empty());
  EXPECT_EQ(machine->SimFiles().OpenHandleCount(), 0u);
}

TEST_F(InstallerVerificationSim, AFileWithoutAPinIsDeletedAndNothingIsMade) {
  std::wstring local = Downloaded(intact);
  machine->Journal().Clear();
  EXPECT_EQ(InstallVerified(*machine, local, L"/q", nullptr), InstallOutcome::kNoPin);
  EXPECT_FALSE(machine->SimFiles().GetFile(local));
  EXPECT_TRUE(Executions().empty());
  EXPECT_TRUE(machine->Journal().EventsOfKind("create_directory").empty());
}

TEST_F(InstallerVerificationSim, NothingCanReplaceTheInstallerBetweenVerificationAndLaunch) {
  std::wstring local = Downloaded(intact);
  std::vector<DWORD> errors;
  machine->SimSystem().OnExecute([&](const std::wstring& path) {
    IFileSystem& files = machine->Files();
    for (const std::wstring& target : {path, local}) {
      // Overwrite in place, replace whole, delete: each refused while the handles are held.
      HANDLE h = files.CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
      errors.push_back(h == INVALID_HANDLE_VALUE ? files.GetLastError() : 0);
      if (h != INVALID_HANDLE_VALUE) {
        files.WriteFile(h, "evil", 4, nullptr);
        files.CloseFile(h);
      }
      h = files.CreateFileW(target, GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
      errors.push_back(h == INVALID_HANDLE_VALUE ? files.GetLastError() : 0);
      if (h != INVALID_HANDLE_VALUE) files.CloseFile(h);
      errors.push_back(files.DeleteFileW(target) ? 0 : files.GetLastError());
    }
  });
  EXPECT_EQ(InstallVerified(*machine, local, L"", &pin), InstallOutcome::kStarted);
  EXPECT_EQ(errors, std::vector<DWORD>(6, static_cast<DWORD>(ERROR_SHARING_VIOLATION)));
  auto runs = Executions();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(runs[0].content == intact) << "the verified bytes are what ran";
  EXPECT_TRUE(RunFolders().empty());
}

TEST_F(InstallerVerificationSim, WithoutAProgramDataFolderNothingRuns) {
  Load(R"({"special_folders":{"common_appdata":null}})");
  std::wstring local = Downloaded(intact);
  EXPECT_EQ(InstallVerified(*machine, local, L"/q", &pin), InstallOutcome::kNoRunFolder);
  EXPECT_TRUE(Executions().empty());
  EXPECT_TRUE(machine->SimFiles().GetFile(local) == intact) << "a verified download is kept";
}

TEST_F(InstallerVerificationSim, ALockedDownloadIsNotRunAndTheFolderGoes) {
  std::wstring local = Downloaded(intact);
  // Another process writes to the download: it cannot be locked for readers only.
  HANDLE writer = machine->Files().CreateFileW(local, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(InstallVerified(*machine, local, L"/q", &pin), InstallOutcome::kUnreadable);
  machine->Files().CloseFile(writer);
  EXPECT_TRUE(Executions().empty());
  EXPECT_TRUE(RunFolders().empty());
}

TEST_F(InstallerVerificationSim, LeftoversOfAnInstallerGoWithTheFolder) {
  Load(R"({"installers":[{"file":"2010_vcredist_x86.exe",
      "files":[{"path":"C:\\ProgramData\\placeholder.txt","text":"not in the run folder"}]}]})");
  std::wstring local = Downloaded(intact);
  std::wstring runFolder;
  machine->SimSystem().OnExecute([&](const std::wstring& path) {
    runFolder = path.substr(0, path.rfind(L'\\'));
    // What an installer might unpack next to itself.
    machine->SimFiles().PutFile(runFolder + L"\\unpacked\\setup.dll", "MZ", std::nullopt,
                                SimFileSystem::View::kProgram);
  });
  EXPECT_EQ(InstallVerified(*machine, local, L"/q", &pin), InstallOutcome::kStarted);
  EXPECT_EQ(RunFolders(), (std::vector<std::wstring>{L"placeholder.txt"}));
}

}  // namespace
}  // namespace rundix
