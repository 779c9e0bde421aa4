#include <gtest/gtest.h>

#include "RundixConfig.h"
#include "engine/InstallerPins.h"
#include "engine/RuntimeCatalogue.h"

namespace rundix {
namespace {

TEST(RuntimeCatalogue, BothListsHaveNineteenEntriesInBindingOrder) {
  const auto& names = DisplayNameList();
  auto downloads = BuildDownloadList(L"dl.example:8080");
  ASSERT_EQ(names.size(), 19u);
  ASSERT_EQ(downloads.size(), 19u);
  EXPECT_EQ(names[0], L"Visual C++ 2005 运行库");
  EXPECT_EQ(names[6], L"Visual C++ 2005 运行库 64位");
  EXPECT_EQ(names[16], L"DirectX 9.0(含10、11)");
  EXPECT_EQ(names[18], L"NVIDIA PhysX System Software");  // the row the 19th report marks
  EXPECT_EQ(downloads[0], L"http://dl.example:8080/zq/rundix/2005_vcredist_x86.exe,/Q");
  EXPECT_EQ(downloads[12], L"http://dl.example:8080/zq/rundix/dotnetfx35.exe");
  EXPECT_EQ(downloads[18], L"http://dl.example:8080/zq/rundix/PhysX-9.16.0318.exe");

  // Every entry's own file name selects its own test: the two lists cannot drift apart.
  auto catalogue = BuildCatalogue(L"h:1");
  for (uint32_t i = 0; i < catalogue.size(); ++i) {
    EXPECT_EQ(catalogue[i].index, i);
    EXPECT_EQ(catalogue[i].displayName, names[i]);
    ASSERT_TRUE(catalogue[i].presenceTest.has_value()) << i;
    EXPECT_EQ(catalogue[i].architecture, i < 6 ? Architecture::kX86 : i < 12 ? Architecture::kX64 : Architecture::kAny);
  }
}

TEST(RuntimeCatalogue, TheDefaultListUsesTheConfiguredServer) {
  std::wstring prefix = std::wstring(L"http://") + RUNDIX_DOWNLOAD_HOST + L":" +
                        std::to_wstring(RUNDIX_DOWNLOAD_PORT) + L"/zq/rundix/";
  for (const auto& entry : BuildDownloadList()) EXPECT_EQ(entry.rfind(prefix, 0), 0u) << entry;
}

TEST(DownloadSpecs, SplitAtTheFirstCommaOnly) {
  DownloadSpecParts p = SplitDownloadSpec(L"http://h:1/zq/rundix/2012_vcredist_x86.exe,/quiet /norestart");
  EXPECT_EQ(p.url, L"http://h:1/zq/rundix/2012_vcredist_x86.exe");
  EXPECT_EQ(p.installerSwitch, L"/quiet /norestart");
  EXPECT_EQ(p.fileName, L"2012_vcredist_x86.exe");

  p = SplitDownloadSpec(L"http://h:1/zq/rundix/a.exe,/x,/y");
  EXPECT_EQ(p.installerSwitch, L"/x,/y");

  p = SplitDownloadSpec(L"http://h:1/zq/rundix/dotnetfx35.exe");
  EXPECT_EQ(p.url, L"http://h:1/zq/rundix/dotnetfx35.exe");
  EXPECT_EQ(p.installerSwitch, L"");
  EXPECT_EQ(p.fileName, L"dotnetfx35.exe");
}

TEST(DownloadSpecs, FileNameIsAfterTheLastSlashOfEitherKind) {
  EXPECT_EQ(SplitDownloadSpec(L"C:\\cache\\PhysX-9.16.0318.exe").fileName, L"PhysX-9.16.0318.exe");
  EXPECT_EQ(SplitDownloadSpec(L"http://h/a\\b/c.msi,/q").fileName, L"c.msi");
  EXPECT_EQ(SplitDownloadSpec(L"plain.exe").fileName, L"plain.exe");
  EXPECT_EQ(SplitDownloadSpec(L"http://h/dir/,/q").fileName, L"");
  EXPECT_EQ(SplitDownloadSpec(L"").fileName, L"");
}

TEST(PresenceTests, ChosenByFileNameWithoutRegardToCase) {
  auto t = SelectPresenceTest(L"2010_VCREDIST_X64.EXE");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->kind, PresenceKind::kVcMask);
  EXPECT_EQ(t->bits, 0x2000u | 0x10000u);
  EXPECT_EQ(t->architecture, Architecture::kX64);

  t = SelectPresenceTest(L"XNAFX40_REDIST.MSI");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->kind, PresenceKind::kXnaMask);
  EXPECT_EQ(t->bits, 0x10u);

  EXPECT_EQ(SelectPresenceTest(L"openalv2070.exe")->kind, PresenceKind::kOpenAL);
  EXPECT_EQ(SelectPresenceTest(L"physx-9.16.0318.exe")->kind, PresenceKind::kPhysX);
  EXPECT_EQ(SelectPresenceTest(L"DirectX_Jun2010_Redist.exe")->kind, PresenceKind::kDirectX);
  EXPECT_EQ(SelectPresenceTest(L"dotnetfx35.exe")->bits, 0x40u | 0x80u);
  // Unknown names have no test: such a package always counts as missing.
  EXPECT_FALSE(SelectPresenceTest(L"vcredist_x86.exe").has_value());
  EXPECT_FALSE(SelectPresenceTest(L"").has_value());
  EXPECT_FALSE(SelectPresenceTest(L"2005_vcredist_x86.exe ").has_value());
}

TEST(RuntimeCatalogue, ThePinsCheckReadTheCatalogueFileNames) {
  // The configure step reads the names from the catalogue's table to demand a pin for each.
  std::vector<std::wstring> names;
  for (const RuntimePackage& p : BuildCatalogue()) names.push_back(p.fileName);
  EXPECT_EQ(InstallerPins::ConfiguredCatalogueNames(), names);
}

}  // namespace
}  // namespace rundix
