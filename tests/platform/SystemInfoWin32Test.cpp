// The real processor, library, version-resource and Windows Installer calls under Wine.
#include <gtest/gtest.h>

#include "engine/RuntimeDetection.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

class SystemInfoTest : public ::testing::Test {
 protected:
  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  ISystemInfo& sys = host->machine().System();
};

TEST_F(SystemInfoTest, NativeSystemInfoIsFoundByNameAndAgreesWithTheSystemDirectory) {
  // The program ships 32-bit; the tests also build 64-bit for machines that cannot run
  // 32-bit code, and a 64-bit program sees the system as it is.
  constexpr bool kProgram32 = sizeof(void*) == 4;
  SystemInfo native;
  ASSERT_TRUE(sys.GetNativeSystemInfo(&native));
  SystemInfo wow;
  sys.GetSystemInfo(&wow);
  bool native64 = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  if (kProgram32) {
    EXPECT_EQ(wow.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL) << "a 32-bit program is told x86";
  } else {
    EXPECT_EQ(wow.wProcessorArchitecture, native.wProcessorArchitecture);
  }
  EXPECT_EQ(IsNative64(host->machine()), native64);
  // SysNative exists for a 32-bit program exactly on a 64-bit system, never for a 64-bit one.
  std::wstring sysNative = host->machine().Files().GetWindowsDirectoryW() + L"\SysNative";
  EXPECT_EQ(IsExistingFolder(host->machine().Files(), sysNative), kProgram32 && native64);
}

TEST_F(SystemInfoTest, LibrariesExportsAndTheErrorMode) {
  sys.SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(sys.SetErrorMode(0) & SEM_FAILCRITICALERRORS, static_cast<UINT>(SEM_FAILCRITICALERRORS));
  LibraryHandle kernel = LoadLibraryHandle(sys, L"kernel32.dll");
  ASSERT_TRUE(kernel);
  EXPECT_NE(sys.GetProcAddress(kernel.get(), "GetNativeSystemInfo"), nullptr);
  EXPECT_EQ(sys.GetProcAddress(kernel.get(), "NoSuchExport"), nullptr);
  EXPECT_FALSE(LoadLibraryHandle(sys, L"rundix-no-such-library.dll"));
}

TEST_F(SystemInfoTest, WindowsInstallerAnswersThroughMsiDll) {
  LibraryHandle msi = LoadLibraryHandle(sys, L"msi.dll");
  ASSERT_TRUE(msi);
  LibraryProc query = sys.GetProcAddress(msi.get(), "MsiQueryProductStateW");
  ASSERT_NE(query, nullptr);
  EXPECT_NE(sys.MsiQueryProductStateW(query, L"{00000000-1111-2222-3333-444444444444}"), INSTALLSTATE_DEFAULT);
  EXPECT_FALSE(IsProductInstalled(host->machine(), L"00000000-1111-2222-3333-444444444444"));
}

TEST_F(SystemInfoTest, FileVersionsOfSystemLibraries) {
  FixedFileVersion version;
  ASSERT_TRUE(sys.GetFileVersion(L"kernel32.dll", &version));
  EXPECT_GE(version.dwFileVersionMS >> 16, 5u);
  std::wstring full = host->machine().Files().GetSystemDirectoryW() + L"\\kernel32.dll";
  FixedFileVersion same;
  ASSERT_TRUE(sys.GetFileVersion(full, &same));
  EXPECT_EQ(same.dwFileVersionMS, version.dwFileVersionMS);
  EXPECT_FALSE(sys.GetFileVersion(L"C:\\rundix\\no-such-file.dll", &version));
}

}  // namespace
}  // namespace rundix
