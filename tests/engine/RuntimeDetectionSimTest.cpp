// The presence tests against simulated machines: 32- and 64-bit views, the Windows Installer
// and its fallback, the file tests, and every key and library let go again.
#include <gtest/gtest.h>

#include "engine/RuntimeDetection.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimSystemInfo.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

constexpr uint32_t kAllX86Vc = 0x1 | 0x8 | 0x40 | 0x200 | 0x1000 | 0x8000 | 0x40000 | 0x100000 | 0x400000;
constexpr uint32_t kAllX64Vc = 0x2 | 0x10 | 0x80 | 0x400 | 0x2000 | 0x10000 | 0x80000 | 0x200000 | 0x800000;

class DetectionTest : public ::testing::Test {
 protected:
  SimMachine& Load(const std::string& json) {
    std::string error;
    machine_ = SimMachine::FromJson(json, sandbox_.path(), &error);
    EXPECT_TRUE(machine_) << error;
    return *machine_;
  }
  SimMachine& LoadFixture(const std::string& name) {
    std::string error;
    machine_ = SimMachine::FromFile(std::string(RUNDIX_TEST_DATA_DIR) + "/repair/" + name, sandbox_.path(), &error);
    EXPECT_TRUE(machine_) << error;
    return *machine_;
  }
  void TearDown() override {
    if (!machine_) return;
    // Every key and every library is let go on every path.
    EXPECT_EQ(machine_->SimReg().OpenHandleCount(), 0u);
    EXPECT_EQ(machine_->SimSystem().LoadedLibraryCount(), 0u);
  }
  size_t CountEvents(const std::string& kind, const std::wstring& subject) {
    size_t n = 0;
    for (const auto& e : machine_->Journal().EventsOfKind(kind)) n += EqualsNoCaseSubject(e.subject, subject);
    return n;
  }
  static bool EqualsNoCaseSubject(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (towlower(a[i]) != towlower(b[i])) return false;
    }
    return true;
  }
  EntryDecision Decide(const RuntimeDetection& d, uint32_t index) {
    return DecideEntry(*machine_, d, BuildCatalogue()[index]);
  }

  test::TempDir sandbox_;
  std::unique_ptr<SimMachine> machine_;
};

TEST_F(DetectionTest, A64BitMachineWithEverythingFindsOnlyTheX64VisualCpp) {
  SimMachine& m = LoadFixture("everything-x64.json");
  RuntimeDetection d = DetectRuntimes(m);
  EXPECT_TRUE(d.native64);
  EXPECT_EQ(d.vcMask, kAllX64Vc);
  EXPECT_EQ(d.netMask, 0x4u | 0x20 | 0x80 | 0x100 | 0x200);
  EXPECT_EQ(d.xnaMask, 0x18u);
  for (uint32_t i = 0; i < kCatalogueSize; ++i) {
    EXPECT_EQ(Decide(d, i), i < 6 ? EntryDecision::kMissing : EntryDecision::kPresent) << i;
  }
}

TEST_F(DetectionTest, A32BitMachineWithEverythingPassesOverTheX64Entries) {
  SimMachine& m = LoadFixture("everything-x86.json");
  RuntimeDetection d = DetectRuntimes(m);
  EXPECT_FALSE(d.native64);
  EXPECT_EQ(d.vcMask, kAllX86Vc);
  for (uint32_t i = 0; i < kCatalogueSize; ++i) {
    EntryDecision expected = (i >= 6 && i < 12) ? EntryDecision::kPassedOver : EntryDecision::kPresent;
    EXPECT_EQ(Decide(d, i), expected) << i;
  }
}

TEST_F(DetectionTest, WithoutGetNativeSystemInfoTheMachineIsX86) {
  Load(R"({"native_arch":"none","msi_products":["{A49F249F-0C91-497F-86DF-B2585E8E76B7}"]})");
  RuntimeDetection d = DetectRuntimes(*machine_);
  EXPECT_FALSE(d.native64);
  EXPECT_EQ(GetNativePlatform(*machine_), NativePlatform::kX86);
  EXPECT_EQ(d.vcMask, 0x1u);
}

TEST_F(DetectionTest, TheRuntimeDllIsLookedForInTheNativeSystemFolder) {
  // x64: SysNative, so a DLL only in the 32-bit folder (SysWOW64) does not count.
  Load(R"({"native_arch":"x64","msi_products":["{DA5E371C-6333-3D8A-93A4-6FD5B20BCC6E}"],
           "files":[{"path":"C:\\Windows\\SysWOW64\\MSVCR100.dll"}]})");
  EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX64), 0u);
  ASSERT_TRUE(machine_->SimFiles().PutFile(L"C:\\Windows\\System32\\msvcr100.DLL", "MZ"));
  EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX64), 0x2000u);
}

TEST_F(DetectionTest, AProductWhoseDllIsMissingIsAbsentAndNotEvenQueried) {
  Load(R"({"native_arch":"x86","msi_products":["{196BB40D-1578-3D01-B289-BEFC77A11A1E}"]})");
  EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX86), 0u);
  EXPECT_EQ(CountEvents("msi_query", L"{196BB40D-1578-3D01-B289-BEFC77A11A1E}"), 0u);
  // The 2005 and 2008 codes (ten of them) were asked, each with msi.dll loaded afresh.
  EXPECT_EQ(machine_->Journal().EventsOfKind("msi_query").size(), 10u);
  EXPECT_EQ(CountEvents("load_library", L"msi.dll"), 10u);
}

TEST_F(DetectionTest, AnX86MaskLoadsMsiOncePerCodeUpToFifteenTimes) {
  Load(R"({"native_arch":"x86","files":[
      {"path":"C:\\Windows\\System32\\MSVCR100.dll"},{"path":"C:\\Windows\\System32\\MSVCR110.dll"},
      {"path":"C:\\Windows\\System32\\MSVCR120.dll"},{"path":"C:\\Windows\\System32\\MSVCR140.dll"}]})");
  EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX86), 0u);
  EXPECT_EQ(CountEvents("load_library", L"msi.dll"), 15u);
  // 2015 asks with the 2013 codes: both are found together.
  machine_->SimSystem().SetProductState(L"{ce085a78-074e-4823-8dc1-8a721b94b76d}", INSTALLSTATE_DEFAULT);
  EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX86), 0x100000u | 0x400000u);
}

TEST_F(DetectionTest, TheFirstInstalledCodeOfAListPassesAndOtherStatesDoNot) {
  Load(R"({"native_arch":"x86","msi_products":{"{9BE518E6-ECC6-35A9-88E4-87755C07200F}":5,
                                                "{A49F249F-0C91-497F-86DF-B2585E8E76B7}":2}})");
  EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX86), 0x200u);  // 2008 SP1's last code
}

TEST_F(DetectionTest, IA64HasNoCodesFrom2012On) {
  Load(R"({"native_arch":"ia64","msi_products":["{88C73C1C-2DE5-3B01-AFB8-B46EF4AB41CD}",
           "{33d1fd90-4274-48a1-9bc1-97e33d9c2d6f}","{ca67548a-5ebe-413a-b50c-4b9ceb6d66c6}"],
           "files":[{"path":"C:\\Windows\\SysWOW64\\MSVCR100.dll"},{"path":"C:\\Windows\\SysWOW64\\MSVCR110.dll"}]})");
  // A 32-bit program's System32 is the 32-bit folder on IA64 too.
  RuntimeDetection d = DetectRuntimes(*machine_);
  EXPECT_TRUE(d.native64);
  EXPECT_EQ(d.vcMask, 0x20000u);
}

TEST_F(DetectionTest, WithoutMsiTheUninstallKeyDecides) {
  // On a 64-bit machine the 32-bit view reads the Wow6432Node branch.
  const char* uninstall = R"("HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A}":{})";
  for (const char* msi : {R"("msi.dll":null)", R"("msi.dll":["MsiGetProductInfoW"])"}) {
    Load(std::string(R"({"native_arch":"x64","libraries":{)") + msi + R"(},"registry":{)" + uninstall + "}}");
    EXPECT_EQ(ComputeVcMask(*machine_, NativePlatform::kX64), 0x2u) << msi;
    EXPECT_TRUE(IsProductInstalled(*machine_, L"6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A"));
    EXPECT_FALSE(IsProductInstalled(*machine_, L"071C9B48-7C32-4621-A0AC-3F809523288F"));
    EXPECT_EQ(machine_->SimReg().OpenHandleCount(), 0u);
  }
  // With Windows Installer at hand, the key alone proves nothing.
  Load(std::string(R"({"native_arch":"x64","registry":{)") + uninstall + "}}");
  EXPECT_FALSE(IsProductInstalled(*machine_, L"6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A"));
}

TEST_F(DetectionTest, DotNetBitsFollowTheServicePackLevel) {
  const std::string ndp = R"(HKLM\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\)";
  struct Case {
    std::string values;
    std::string key;
    uint32_t mask;
  } cases[] = {
      {R"({"Install":1})", "v3.5", 0x40},
      {R"({"Install":1,"SP":1})", "v3.5", 0x80},
      {R"({"Install":1,"SP":2})", "v3.5", 0},  // no column for it
      {R"({"Install":1,"SP":258})", "v2.0.50727", 0x4},  // the low byte is the level
      {R"({"Install":0,"SP":1})", "v3.0", 0},
      {R"({"SP":1})", "v3.0", 0},
      {R"({"Install":1,"SP":7})", "v4\\\\Full", 0x100},
      {R"({"Install":{"type":"REG_SZ","string":"1"}})", "v4\\\\Client", 0x200},  // four bytes, whatever the type
  };
  for (const Case& c : cases) {
    Load(R"({"native_arch":"x86","registry":{")" + ndp + c.key + "\":" + c.values + "}}");
    EXPECT_EQ(ComputeNetMask(*machine_), c.mask) << c.key << " " << c.values;
  }
}

TEST_F(DetectionTest, XnaNeedsItsNativeLibraryAndAVersion) {
  Load(R"({"native_arch":"x86","files":[
      {"path":"C:\\XNA\\v4\\XnaNative.dll","version":"4.0.20823.0"},
      {"path":"C:\\XNA\\v31\\XnaNative.dll"},
      {"path":"C:\\XNA\\v1\\XnaNative1.dll"},
      {"path":"C:\\XNA\\v2\\XnaNative2.dll","version":"2.0.0.0"}],
     "registry":{
      "HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v4.0":{"NativeLibraryPath":"\"C:\\XNA\\v4\\\\\"","ProductVersion":""},
      "HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v3.1":{"NativeLibraryPath":"C:\\XNA\\v31"},
      "HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v3.0":{"NativeLibraryPath":"C:\\XNA\\Empty","ProductVersion":"3.0"},
      "HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v2.0":{"NativeLibraryPath":"C:\\XNA\\v2\\"},
      "HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v1.0":{"ProductVersion":"1.0"}}})");
  // v4.0: empty ProductVersion, but the file has a version resource. v3.1: the file has
  // neither. v3.0: ProductVersion, but no XnaNative.dll there. v2.0: version resource.
  // v1.0: no NativeLibraryPath.
  EXPECT_EQ(ComputeXnaMask(*machine_), 0x10u | 0x2u);
  machine_->SimReg().SetString(L"HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v3.1", L"ProductVersion", L"3.1.10527.0");
  EXPECT_EQ(ComputeXnaMask(*machine_), 0x10u | 0x8u | 0x2u);
  // A path longer than the 1024-byte buffer counts as missing.
  machine_->SimReg().SetString(L"HKLM\\SOFTWARE\\Microsoft\\XNA\\Framework\\v2.0", L"NativeLibraryPath",
                               L"C:\\XNA\\v2\\" + std::wstring(600, L'\\'));
  EXPECT_EQ(ComputeXnaMask(*machine_), 0x10u | 0x8u);
}

TEST_F(DetectionTest, DirectXOnA64BitMachineNeedsTheKeyAndTheFourFiles) {
  Load(R"({"native_arch":"x64","registry":{"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\DirectX":{"Version":"4.10.0.0"}},
           "files":[{"path":"C:\\Windows\\SysWOW64\\D3DX9_38.dll"},{"path":"C:\\Windows\\SysWOW64\\d3dx9_43.dll"},
                    {"path":"C:\\Windows\\SysWOW64\\X3DAudio1_7.dll"}]})");
  EXPECT_FALSE(DetectDirectX(*machine_));
  ASSERT_TRUE(machine_->SimFiles().PutFile(L"C:\\Windows\\System32\\xinput1_3.dll", "MZ"));
  EXPECT_FALSE(DetectDirectX(*machine_)) << "the native System32 is not the program's";
  ASSERT_TRUE(machine_->SimFiles().PutFile(L"C:\\Windows\\SysWOW64\\xinput1_3.dll", "MZ"));
  EXPECT_TRUE(DetectDirectX(*machine_)) << "the version is not read on a 64-bit machine";
}

TEST_F(DetectionTest, DirectXElsewhereReadsTheSecondPartOfTheVersion) {
  const std::string files = R"("files":[{"path":"C:\\Windows\\System32\\d3dx9_38.dll"},
      {"path":"C:\\Windows\\System32\\d3dx9_43.dll"},{"path":"C:\\Windows\\System32\\X3DAudio1_7.dll"},
      {"path":"C:\\Windows\\System32\\xinput1_3.dll"}])";
  struct Case {
    std::string arch;
    std::string version;  // empty: no value
    bool present;
  } cases[] = {{"x86", "4.09.00.0904", true}, {"x86", "4.10.0.0", false}, {"none", "4.9", true},
               {"x86", "", false},            {"x86", "409", false},     {"x86", "4.x9.1", true},
               {"x86", "4.0a.1", false},      {"x86", "4..9", false}};
  for (const Case& c : cases) {
    std::string registry = c.version.empty() ? "{}" : R"({"Version":")" + c.version + "\"}";
    Load(R"({"native_arch":")" + c.arch + R"(","registry":{"HKLM\\SOFTWARE\\Microsoft\\DirectX":)" + registry + "}," +
         files + "}");
    EXPECT_EQ(DetectDirectX(*machine_), c.present) << c.arch << " " << c.version;
  }
  Load(R"({"native_arch":"x86",)" + files + "}");
  EXPECT_FALSE(DetectDirectX(*machine_)) << "no key";
}

TEST_F(DetectionTest, OpenALNeedsAVersionAboveZeroAndALoadableLibrary) {
  Load(R"({"native_arch":"x86","files":[{"path":"C:\\Windows\\System32\\OpenAL32.dll","version":"0.9.0.0"}]})");
  KUM::KuOpenALDetect noLibrary(*machine_);
  noLibrary.Detect();
  EXPECT_EQ(noLibrary.fileVersion, (VersionRecord{0, 9, 0, 0}));
  EXPECT_FALSE(noLibrary.loadable);
  EXPECT_FALSE(noLibrary.IsInstalled());

  machine_->SimSystem().SetLibrary(L"OpenAL32.dll", std::vector<std::string>{});
  KUM::KuOpenALDetect oldVersion(*machine_);
  oldVersion.Detect();
  EXPECT_TRUE(oldVersion.loadable);
  EXPECT_FALSE(oldVersion.IsInstalled()) << "a 0.x library loads but does not count";

  machine_->SimSystem().SetFileVersion(L"C:\\Windows\\System32\\OpenAL32.dll", "6.14.357.24");
  KUM::KuOpenALDetect current(*machine_);
  current.Detect();
  EXPECT_TRUE(current.IsInstalled());
  // Every load was made with critical-error dialogs off, and the mode was reset afterwards.
  auto loads = machine_->Journal().EventsOfKind("load_library");
  ASSERT_EQ(loads.size(), 3u);
  for (const auto& e : loads) EXPECT_EQ(e.detail, L"error_mode=1");
  EXPECT_EQ(machine_->System().SetErrorMode(0), 0u);
}

TEST_F(DetectionTest, OpenALWithoutAVersionResourceIsNotEvenLoaded) {
  Load(R"({"native_arch":"x86","libraries":{"OpenAL32.dll":[]},"files":[{"path":"C:\\Windows\\System32\\OpenAL32.dll"}]})");
  KUM::KuOpenALDetect openAL(*machine_);
  EXPECT_FALSE(openAL.loadable);
  openAL.Detect();
  EXPECT_FALSE(openAL.IsInstalled());
  EXPECT_EQ(CountEvents("load_library", L"OpenAL32.dll"), 0u);
}

TEST_F(DetectionTest, PhysXSplitsTheRegistryNumberAndNeedsTheLoaderExport) {
  Load(R"({"native_arch":"x86","registry":{"HKLM\\SOFTWARE\\AGEIA Technologies":{"PhysX Version":2080611}},
           "files":[{"path":"C:\\Windows\\System32\\PhysXLoader.dll","version":"2.8.6.4"}],
           "libraries":{"PhysXLoader.dll":["NxGetPhysicsSDK"]}})");
  KUM::KuPhysXDetect noExport(*machine_);
  noExport.Detect();
  EXPECT_EQ(noExport.registryVersion, (VersionRecord{2, 8, 6, 11}));
  EXPECT_EQ(noExport.fileVersion, (VersionRecord{2, 8, 6, 4}));
  EXPECT_FALSE(noExport.loaderUsable);
  EXPECT_FALSE(noExport.IsInstalled());

  machine_->SimSystem().SetLibrary(L"PhysXLoader.dll", std::vector<std::string>{"NxCreatePhysicsSDK"});
  KUM::KuPhysXDetect usable(*machine_);
  usable.Detect();
  EXPECT_TRUE(usable.IsInstalled());
}

TEST_F(DetectionTest, PhysXWithoutItsRegistryValueLooksNoFurther) {
  Load(R"({"native_arch":"x86","registry":{"HKLM\\SOFTWARE\\AGEIA Technologies":{"Other":1}},
           "files":[{"path":"C:\\Windows\\System32\\PhysXLoader.dll","version":"2.8.6.4"}],
           "libraries":{"PhysXLoader.dll":["NxCreatePhysicsSDK"]}})");
  KUM::KuPhysXDetect physX(*machine_);
  physX.Detect();
  EXPECT_FALSE(physX.IsInstalled());
  EXPECT_EQ(physX.fileVersion, VersionRecord{});
  EXPECT_EQ(CountEvents("load_library", L"PhysXLoader.dll"), 0u);
  // A number past eight digits keeps only its last eight.
  machine_->SimReg().SetDword(L"HKLM\\SOFTWARE\\AGEIA Technologies", L"PhysX Version", 4294967295u);
  KUM::KuPhysXDetect big(*machine_);
  big.Detect();
  EXPECT_EQ(big.registryVersion, (VersionRecord{94, 96, 72, 95}));
}

TEST_F(DetectionTest, AnEntryWithoutAPresenceTestIsMissing) {
  Load("{}");
  RuntimePackage unknown;
  unknown.fileName = L"unknown.exe";
  EXPECT_EQ(DecideEntry(*machine_, RuntimeDetection{}, unknown), EntryDecision::kMissing);
}

}  // namespace
}  // namespace rundix
