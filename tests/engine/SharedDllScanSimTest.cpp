// The shared-DLL scan over a simulated registry: the runtime filter and its length rule, the
// two views, and the findings after a repair.
#include <gtest/gtest.h>

#include "engine/SharedDllScan.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegistry.h"
#include "tests/engine/ScanTestSupport.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using test::Texts;
using Strings = std::vector<std::wstring>;

constexpr wchar_t k64[] = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr wchar_t k32[] = L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

class SharedDllScanSim : public ::testing::Test {
 protected:
  void Load(const std::string& json = "{}") {
    std::string error;
    machine_ = SimMachine::FromJson(json, dir_.path(), &error);
    ASSERT_TRUE(machine_) << error;
  }

  void Add(const wchar_t* key, const std::wstring& name) { machine_->SimReg().SetDword(key, name, 1); }

  std::vector<PendingFinding> Scan(int32_t lastRepairTime = 0) {
    test::ScanHarness harness(*machine_, lastRepairTime);
    SharedDllScan(harness.context, harness.panel, harness.category);
    auto findings = harness.Drain();
    for (const auto& f : findings) {
      EXPECT_EQ(f.kind, kSharedDllFinding);
      EXPECT_EQ(f.panel, harness.panel);
      EXPECT_TRUE(f.category == nullptr || f.category == harness.category);
      EXPECT_TRUE(f.text2.empty() && f.text3.empty() && f.text4.empty());
    }
    EXPECT_EQ(machine_->SimReg().OpenHandleCount(), 0u);
    return findings;
  }

  static Strings Matching(const std::vector<PendingFinding>& findings) {
    Strings out;
    for (const auto& f : findings) {
      if (f.category != nullptr) out.push_back(f.text1);
    }
    return out;
  }

  test::TempDir dir_;
  std::unique_ptr<SimMachine> machine_;
};

TEST_F(SharedDllScanSim, RuntimeNamesMatchByWordAndExactLength) {
  std::vector<std::wstring> filter = RuntimeFilter(0);
  struct Case {
    const wchar_t* name;
    bool matches;
  } cases[] = {
      {L"MSVCR100.dll", true},           // letter case ignored
      {L"msvcr100_clr0400.dll", false},  // contains the word, wrong length
      {L"mfc140u.dll", false},           // 11 characters, not 10
      {L"mfc140.dll", true},
      {L"msvcp140.dll", true},
      {L"vcruntime140.dll", true},
      {L"vccorlib140.dll", true},
      {L"VCOMP120.DLL", true},
      {L"xmsvcr10.dll", true},  // the word may stand anywhere
      {L"msvcr10.dll", false},
      {L"kernel32.dll", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesRuntimeFilter(c.name, filter), c.matches) << c.name;
  EXPECT_TRUE(RuntimeFilter(1).empty());
  EXPECT_FALSE(MatchesRuntimeFilter(L"msvcr100.dll", RuntimeFilter(1)));
}

TEST_F(SharedDllScanSim, EveryValueIsAFindingAndRuntimesCarryTheCategory) {
  Load();
  Add(k64, L"C:\\Windows\\system32\\MSVCR100.dll");
  Add(k64, L"C:\\Program Files\\Common Files\\msvcr100_clr0400.dll");
  Add(k64, L"C:\\Windows\\system32\\mfc140u.dll");
  Add(k64, L"C:/Tools/vcruntime140.dll");
  Add(k64, L"plain.dll");
  auto findings = Scan();
  EXPECT_EQ(Texts(findings, 1), (Strings{L"MSVCR100.dll", L"msvcr100_clr0400.dll", L"mfc140u.dll",
                                         L"vcruntime140.dll", L"plain.dll"}));
  EXPECT_EQ(Matching(findings), (Strings{L"MSVCR100.dll", L"vcruntime140.dll"}));

  // After a repair the values are still all listed, none as a runtime.
  auto after = Scan(1700000000);
  EXPECT_EQ(Texts(after, 1), Texts(findings, 1));
  EXPECT_TRUE(Matching(after).empty());
}

TEST_F(SharedDllScanSim, ADescribedValueOrderIsTheEnumerationOrder) {
  // An array keeps the order a key enumerates in; an object would be read sorted by name.
  Load(R"({"registry":{"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls":[
      ["C:\\w\\zlib1.dll", 1], ["C:\\w\\MSVCP140.dll", 2], ["C:\\w\\a.dll", {"dword": 3}]]}})");
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"zlib1.dll", L"MSVCP140.dll", L"a.dll"}));
  std::string error;
  EXPECT_FALSE(SimMachine::FromJson(R"({"registry":{"HKLM\\X":[["only a name"]]}})", dir_.path() + "/bad", &error));
  EXPECT_NE(error.find("[name, value]"), std::string::npos) << error;
}

TEST_F(SharedDllScanSim, The64BitViewHidesThe32BitOne) {
  Load();
  Add(k64, L"C:\\Windows\\system32\\msvcp140.dll");
  Add(k32, L"C:\\Windows\\SysWOW64\\msvcr120.dll");
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"msvcp140.dll"}));

  // An empty 64-bit table (or none at all) lets the 32-bit view speak.
  Load();
  Add(k32, L"C:\\Windows\\SysWOW64\\msvcr120.dll");
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"msvcr120.dll"}));
  machine_->SimReg().CreateKey(k64);
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"msvcr120.dll"}));
}

TEST_F(SharedDllScanSim, A32BitMachineHasOneTable) {
  Load(R"({"native_arch":"x86"})");
  Add(k64, L"C:\\Windows\\system32\\msvcr90.dll");
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"msvcr90.dll"}));  // read once, not twice
}

TEST_F(SharedDllScanSim, ANameTooLongForTheBufferEndsItsPass) {
  Load();
  Add(k64, L"C:\\a\\msvcr100.dll");
  Add(k64, L"C:\\" + std::wstring(520, L'x') + L"\\long.dll");
  Add(k64, L"C:\\a\\msvcp100.dll");
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"msvcr100.dll"}));

  // When the first value is the long one, the pass saw nothing and the 32-bit view is read.
  Load();
  Add(k64, L"C:\\" + std::wstring(520, L'x') + L"\\long.dll");
  Add(k32, L"C:\\b\\msvcr80.dll");
  EXPECT_EQ(Texts(Scan(), 1), (Strings{L"msvcr80.dll"}));
}

}  // namespace
}  // namespace rundix
