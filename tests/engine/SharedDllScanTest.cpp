// The shared-DLL scan against the registry of the simulated machine on Linux and of the Wine
// prefix under Windows, with values written into each view.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "engine/SharedDllScan.h"
#include "tests/engine/ScanTestSupport.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

constexpr wchar_t kProbeKey[] = L"SOFTWARE\\RundixTest\\Views";
constexpr wchar_t k64Name[] = L"C:\\rundix-test\\msvcp120.dll";
constexpr wchar_t k32Name[] = L"C:\\rundix-test\\msvcr110.dll";

RegKey CreateInView(IRegistry& reg, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (reg.RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view, &key,
                          &disposition) != ERROR_SUCCESS) {
    key = nullptr;
  }
  return RegKey(key, RegKeyCloser{&reg});
}

TEST(SharedDllScan, ReadsTheTableOfTheFirstViewThatHasValues) {
  auto host = test::MakeTestMachine();
  Machine& machine = host->machine();
  IRegistry& reg = machine.Registry();

  // Does this machine keep two views? A value written in the 64-bit view is then not seen
  // in the 32-bit one (a 32-bit Wine prefix has only one).
  {
    RegKey key = CreateInView(reg, kProbeKey, KEY_WOW64_64KEY);
    ASSERT_TRUE(key);
    ASSERT_EQ(SetRegDword(reg, key.get(), L"marker", 1), ERROR_SUCCESS);
  }
  bool twoViews = true;
  if (RegKey key = OpenRegKey(reg, HKEY_LOCAL_MACHINE, kProbeKey, KEY_READ | KEY_WOW64_32KEY)) {
    twoViews = !QueryRegDword(reg, key.get(), L"marker").has_value();
  }
  std::cout << "[ registry ] " << (twoViews ? "separate 32- and 64-bit views" : "one view") << "\n";

  RegKey table64 = CreateInView(reg, kSharedDllsKey, KEY_WOW64_64KEY);
  RegKey table32 = CreateInView(reg, kSharedDllsKey, KEY_WOW64_32KEY);
  ASSERT_TRUE(table64 && table32);
  ASSERT_EQ(SetRegDword(reg, table64.get(), k64Name, 1), ERROR_SUCCESS);
  ASSERT_EQ(SetRegDword(reg, table32.get(), k32Name, 1), ERROR_SUCCESS);

  test::ScanHarness harness(machine);
  SharedDllScan(harness.context, harness.panel, harness.category);
  auto findings = harness.Drain();
  auto find = [&](const std::wstring& name) {
    return std::find_if(findings.begin(), findings.end(),
                        [&](const PendingFinding& f) { return f.text1 == name; });
  };
  auto p120 = find(L"msvcp120.dll");
  ASSERT_NE(p120, findings.end());
  EXPECT_EQ(p120->category, harness.category);  // a runtime, no repair recorded
  EXPECT_EQ(find(L"msvcr110.dll") != findings.end(), !twoViews);

  reg.RegDeleteValueW(table64.get(), k64Name);
  reg.RegDeleteValueW(table32.get(), k32Name);
}

}  // namespace
}  // namespace rundix
