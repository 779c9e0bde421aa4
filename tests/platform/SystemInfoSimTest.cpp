// The simulated processor, libraries, version resources, Windows Installer products and
// programs: what the presence tests and the repair run read must behave as Windows does.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Threads.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimSystemInfo.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

std::unique_ptr<SimMachine> Load(const test::TempDir& dir, const std::string& json) {
  std::string error;
  auto machine = SimMachine::FromJson(json, dir.path(), &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

TEST(SimSystemInfo, NativeArchitectureAndTheMissingFunction) {
  struct Case {
    const char* arch;
    bool hasNative;
    WORD native;
  } cases[] = {{"x86", true, 0}, {"x64", true, 9}, {"ia64", true, 6}, {"none", false, 0}};
  for (const Case& c : cases) {
    test::TempDir dir;
    auto m = Load(dir, std::string(R"({"native_arch":")") + c.arch + "\"}");
    SystemInfo info;
    info.wProcessorArchitecture = 77;
    EXPECT_EQ(m->System().GetNativeSystemInfo(&info), c.hasNative) << c.arch;
    EXPECT_EQ(info.wProcessorArchitecture, c.hasNative ? c.native : 77) << c.arch;
    SystemInfo wow;
    wow.wProcessorArchitecture = 77;
    m->System().GetSystemInfo(&wow);
    EXPECT_EQ(wow.wProcessorArchitecture, 0) << "a 32-bit program is told x86";
    HMODULE kernel = m->System().LoadLibraryW(L"kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(m->System().GetProcAddress(kernel, "GetNativeSystemInfo") != nullptr, c.hasNative);
    EXPECT_TRUE(m->System().FreeLibrary(kernel));
  }
}

TEST(SimSystemInfo, LibrariesLoadByNameAndExportExactNames) {
  test::TempDir dir;
  auto m = Load(dir, R"({"libraries":{"PhysXLoader.dll":["NxCreatePhysicsSDK"],"Broken.dll":null,
                         "msi.dll":[]}})");
  ISystemInfo& sys = m->System();
  HMODULE physx = sys.LoadLibraryW(L"C:\\Somewhere\\physxloader.DLL");  // the name decides
  ASSERT_NE(physx, nullptr);
  EXPECT_NE(sys.GetProcAddress(physx, "NxCreatePhysicsSDK"), nullptr);
  EXPECT_EQ(sys.GetProcAddress(physx, "nxcreatephysicssdk"), nullptr);
  EXPECT_EQ(sys.GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(m->SimSystem().LoadedLibraryCount(), 1u);
  EXPECT_TRUE(sys.FreeLibrary(physx));
  EXPECT_FALSE(sys.FreeLibrary(physx));
  EXPECT_EQ(sys.LoadLibraryW(L"Broken.dll"), nullptr);
  EXPECT_EQ(sys.GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(sys.LoadLibraryW(L"Unknown.dll"), nullptr);
  // msi.dll overridden: it loads but offers no query.
  HMODULE msi = sys.LoadLibraryW(L"msi.dll");
  ASSERT_NE(msi, nullptr);
  EXPECT_EQ(sys.GetProcAddress(msi, "MsiQueryProductStateW"), nullptr);
  sys.FreeLibrary(msi);
  EXPECT_EQ(m->SimSystem().LoadedLibraryCount(), 0u);
}

TEST(SimSystemInfo, LibraryLoadsAreJournalledWithTheErrorMode) {
  test::TempDir dir;
  auto m = Load(dir, "{}");
  ISystemInfo& sys = m->System();
  EXPECT_EQ(sys.SetErrorMode(1), 0u);
  HMODULE h = sys.LoadLibraryW(L"msi.dll");
  EXPECT_EQ(sys.SetErrorMode(0), 1u);
  sys.FreeLibrary(h);
  auto loads = m->Journal().EventsOfKind("load_library");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].subject, L"msi.dll");
  EXPECT_EQ(loads[0].detail, L"error_mode=1");
}

TEST(SimSystemInfo, ProductStatesComeThroughTheMsiExport) {
  test::TempDir dir;
  auto m = Load(dir, R"({"msi_products":{"{AAAA}":5,"{BBBB}":2}})");
  ISystemInfo& sys = m->System();
  HMODULE msi = sys.LoadLibraryW(L"msi.dll");
  LibraryProc query = sys.GetProcAddress(msi, "MsiQueryProductStateW");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(sys.MsiQueryProductStateW(query, L"{aaaa}"), 5);  // codes ignore case
  EXPECT_EQ(sys.MsiQueryProductStateW(query, L"{BBBB}"), 2);
  EXPECT_EQ(sys.MsiQueryProductStateW(query, L"{CCCC}"), -1);
  EXPECT_EQ(sys.MsiQueryProductStateW(nullptr, L"{AAAA}"), -1);
  sys.FreeLibrary(msi);
}

TEST(SimSystemInfo, VersionResourcesAreFoundWhereTheLibrarySearchLooks) {
  test::TempDir dir;
  // A 64-bit machine: a 32-bit program's system folder is SysWOW64.
  auto m = Load(dir, R"({"native_arch":"x64","files":[
      {"path":"C:\\Windows\\SysWOW64\\OpenAL32.dll","version":"6.14.357.24"},
      {"path":"C:\\Windows\\System32\\PhysXLoader.dll","version":"2.8"},
      {"path":"C:\\Windows\\System32\\NoResource.dll"},
      {"path":"C:\\Games\\XnaNative.dll","version":"4.0.20823.0"}]})");
  ISystemInfo& sys = m->System();
  FixedFileVersion v;
  ASSERT_TRUE(sys.GetFileVersion(L"OpenAL32.dll", &v));
  EXPECT_EQ(v.dwFileVersionMS, (6u << 16) | 14u);
  EXPECT_EQ(v.dwFileVersionLS, (357u << 16) | 24u);
  EXPECT_TRUE(sys.GetFileVersion(L"C:\\Windows\\System32\\openal32.dll", &v)) << "redirected to SysWOW64";
  EXPECT_FALSE(sys.GetFileVersion(L"PhysXLoader.dll", &v)) << "the native System32 is not searched";
  EXPECT_TRUE(sys.GetFileVersion(L"C:\\Windows\\SysNative\\PhysXLoader.dll", &v));
  EXPECT_EQ(v.dwFileVersionMS, (2u << 16) | 8u);
  EXPECT_EQ(v.dwFileVersionLS, 0u);
  EXPECT_FALSE(sys.GetFileVersion(L"C:\\Windows\\SysNative\\NoResource.dll", &v));
  EXPECT_TRUE(sys.GetFileVersion(L"C:\\GAMES\\xnanative.dll", &v));
  EXPECT_FALSE(sys.GetFileVersion(L"C:\\Games\\Missing.dll", &v));
}

TEST(SimSystemInfo, BadDescriptionsAreRefusedWithAReason) {
  test::TempDir dir;
  const char* bad[] = {
      R"({"libraries":{"a.dll":"NxCreate"}})",
      R"({"libraries":[1]})",
      R"({"msi_products":"{A}"})",
      R"({"msi_products":{"{A}":"yes"}})",
      R"({"files":[{"path":"C:\\a.dll","version":"1.2.3.4.5"}]})",
      R"({"files":[{"path":"C:\\a.dll","version":"1.70000"}]})",
      R"({"installers":{"file":"a.exe"}})",
      R"({"installers":[{"parameters":"/q"}]})",
      R"({"installers":[{"file":"a.exe","registry":{"HKXX\\A":{}}}]})",
      R"({"installers":[{"file":"a.exe","files":[{"text":"no path"}]}]})",
      R"({"installers":[{"file":"a.exe","exit_code":"0"}]})",
  };
  for (const char* json : bad) {
    std::string error;
    EXPECT_EQ(SimMachine::FromJson(json, dir.path(), &error), nullptr) << json;
    EXPECT_FALSE(error.empty()) << json;
  }
}

class SimInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m = Load(dir, R"({"native_arch":"x86","installers":[
        {"file":"OpenALv2070.exe","parameters":"/S","exit_code":3,
         "files":[{"path":"C:\\Windows\\System32\\OpenAL32.dll","version":"6.14.357.24"}],
         "libraries":{"OpenAL32.dll":[]},
         "registry":{"HKLM\\SOFTWARE\\OpenAL":{"Installed":1}},
         "msi_products":["{1234}"]}]})");
    ASSERT_TRUE(m);
    ASSERT_TRUE(m->SimFiles().PutFile(L"C:\\Downloads\\OpenALv2070.exe", "MZ"));
  }
  BOOL Start(const std::wstring& file, const std::wstring& parameters, HANDLE* process) {
    ShellExecuteInfo info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.file = file;
    info.parameters = parameters;
    BOOL ok = m->System().ShellExecuteExW(&info);
    *process = info.hProcess;
    return ok;
  }

  test::TempDir dir;
  std::unique_ptr<SimMachine> m;
};

TEST_F(SimInstallerTest, RunningTheInstallerInstallsThePackage) {
  FixedFileVersion v;
  EXPECT_FALSE(m->System().GetFileVersion(L"OpenAL32.dll", &v));
  HANDLE process = nullptr;
  ASSERT_TRUE(Start(L"C:\\Downloads\\openalv2070.exe", L"/S", &process));
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForHandle(process, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetThreadExitCode(process, &code));
  EXPECT_EQ(code, 3u);
  CloseKernelHandle(process);

  EXPECT_TRUE(m->System().GetFileVersion(L"OpenAL32.dll", &v));
  HMODULE openAL = m->System().LoadLibraryW(L"OpenAL32.dll");
  EXPECT_NE(openAL, nullptr);
  m->System().FreeLibrary(openAL);
  EXPECT_TRUE(m->SimReg().KeyExists(L"HKLM\\SOFTWARE\\OpenAL"));
  HMODULE msi = m->System().LoadLibraryW(L"msi.dll");
  EXPECT_EQ(m->System().MsiQueryProductStateW(m->System().GetProcAddress(msi, "MsiQueryProductStateW"), L"{1234}"), 5);
  m->System().FreeLibrary(msi);

  auto runs = m->SimSystem().Executions();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].path, L"C:\\Downloads\\openalv2070.exe");
  EXPECT_EQ(runs[0].parameters, L"/S");
  auto journal = m->Journal().EventsOfKind("execute");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].detail, L"/S");
}

TEST_F(SimInstallerTest, OtherParametersOrAMissingFileInstallNothing) {
  HANDLE process = nullptr;
  ASSERT_TRUE(Start(L"C:\\Downloads\\OpenALv2070.exe", L"", &process));
  WaitForHandle(process, 10000);
  DWORD code = 99;
  GetThreadExitCode(process, &code);
  EXPECT_EQ(code, 0u);
  CloseKernelHandle(process);
  FixedFileVersion v;
  EXPECT_FALSE(m->System().GetFileVersion(L"OpenAL32.dll", &v));

  EXPECT_FALSE(Start(L"C:\\Downloads\\Nothing.exe", L"/S", &process));
  EXPECT_EQ(m->System().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(process, nullptr);
  EXPECT_EQ(m->SimSystem().Executions().size(), 1u);
}

TEST_F(SimInstallerTest, AHeldInstallerRunsUntilReleased) {
  m->SimSystem().HoldInstaller(L"OPENALV2070.EXE");
  HANDLE process = nullptr;
  ASSERT_TRUE(Start(L"C:\\Downloads\\OpenALv2070.exe", L"/S", &process));
  EXPECT_TRUE(m->SimSystem().WaitUntilHeld(L"OpenALv2070.exe", 10000));
  EXPECT_EQ(WaitForHandle(process, 100), WAIT_TIMEOUT);
  EXPECT_EQ(m->SimSystem().RunningProcesses(), 1u);
  FixedFileVersion v;
  EXPECT_FALSE(m->System().GetFileVersion(L"OpenAL32.dll", &v)) << "nothing installed while it runs";
  m->SimSystem().ReleaseInstaller(L"OpenALv2070.exe");
  EXPECT_EQ(WaitForHandle(process, 10000), WAIT_OBJECT_0);
  CloseKernelHandle(process);
  EXPECT_TRUE(m->System().GetFileVersion(L"OpenAL32.dll", &v));
  EXPECT_EQ(m->SimSystem().RunningProcesses(), 0u);
}

TEST_F(SimInstallerTest, AMachineGoingAwayLetsHeldInstallersEnd) {
  m->SimSystem().HoldInstaller(L"OpenALv2070.exe");
  ShellExecuteInfo info;  // without SEE_MASK_NOCLOSEPROCESS: no handle comes back
  info.file = L"C:\\Downloads\\OpenALv2070.exe";
  ASSERT_TRUE(m->System().ShellExecuteExW(&info));
  EXPECT_EQ(info.hProcess, nullptr);
  EXPECT_TRUE(m->SimSystem().WaitUntilHeld(L"OpenALv2070.exe", 10000));
  m.reset();  // must not hang, and the held run must not touch the machine afterwards
}

TEST(SimLibrarySearch, TheRestrictionIsRecordedAndAProgramHeldForWritingDoesNotStart) {
  test::TempDir dir;
  auto machine = Load(dir, R"({"files":[{"path":"C:\\D\\setup.exe","text":"MZ"}]})");
  EXPECT_FALSE(machine->SimSystem().LibrarySearchRestricted());
  EXPECT_TRUE(machine->System().RestrictLibrarySearch());
  EXPECT_TRUE(machine->SimSystem().LibrarySearchRestricted());
  EXPECT_EQ(machine->Journal().EventsOfKind("library_search").size(), 1u);

  // The loader cannot read a program another handle is writing.
  HANDLE writer = machine->Files().CreateFileW(L"C:\\D\\setup.exe", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  ShellExecuteInfo info;
  info.file = L"C:\\D\\setup.exe";
  EXPECT_FALSE(machine->System().ShellExecuteExW(&info));
  EXPECT_EQ(machine->System().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  machine->Files().CloseFile(writer);
  EXPECT_TRUE(machine->System().ShellExecuteExW(&info));
}

}  // namespace
}  // namespace rundix
