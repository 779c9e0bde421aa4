// The start-up restriction of the library search under Wine: a DLL planted beside the
// program (or in the current directory) is found before it and never after; system DLLs load
// as before.
#include <gtest/gtest.h>

#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

TEST(LibrarySearch, AfterTheRestrictionOnlyTheSystemFolderIsSearched) {
  auto host = test::MakeTestMachine();
  Machine& m = host->machine();
  // The tests run in the folder of their executables, where the stand-in installer is built:
  // a copy of it there under a DLL's name is what a planted library would be.
  std::wstring installer = WideFromUtf8(RUNDIX_TEST_INSTALLER);
  std::wstring planted = installer.substr(0, installer.find_last_of(L"\\/") + 1) + L"rundix-planted.dll";
  auto bytes = test::ReadWholeFile(m.Files(), installer);
  ASSERT_TRUE(bytes);
  ASSERT_TRUE(test::WriteWholeFile(m.Files(), planted, *bytes));

  ISystemInfo& system = m.System();
  HMODULE before = system.LoadLibraryW(L"rundix-planted.dll");
  EXPECT_NE(before, nullptr) << "the program's own folder is searched by default";
  if (before) system.FreeLibrary(before);

  EXPECT_TRUE(system.RestrictLibrarySearch());
  HMODULE after = system.LoadLibraryW(L"rundix-planted.dll");
  EXPECT_EQ(after, nullptr) << "a planted library loaded after the restriction";
  if (after) system.FreeLibrary(after);
  HMODULE msi = system.LoadLibraryW(L"msi.dll");
  EXPECT_NE(msi, nullptr);
  if (msi) system.FreeLibrary(msi);
  m.Files().DeleteFileW(planted);
}

}  // namespace
}  // namespace rundix
