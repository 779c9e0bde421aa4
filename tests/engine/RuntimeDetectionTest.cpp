// Presence-test pieces that read the same on every machine, and what detection finds on the
// machine the tests run on (a simulated one on Linux, the Wine prefix on Windows).
#include <gtest/gtest.h>

#include "engine/RuntimeDetection.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

TEST(VersionRecord, FromAFixedFileVersion) {
  VersionRecord v = VersionRecord::FromFixed(0x0006000E, 0x01650018);
  EXPECT_EQ(v, (VersionRecord{6, 14, 357, 24}));
  EXPECT_EQ(VersionRecord::FromFixed(0xFFFF0000, 0), (VersionRecord{65535, 0, 0, 0}));
}

TEST(VersionRecord, FromDottedTextWithSignsShortAndOverlongForms) {
  EXPECT_EQ(VersionRecord::FromString(L"4.0.20823.0"), (VersionRecord{4, 0, 20823, 0}));
  EXPECT_EQ(VersionRecord::FromString(L"1.-2"), (VersionRecord{1, -2, 0, 0}));
  EXPECT_EQ(VersionRecord::FromString(L"1.2.3.4.5.6"), (VersionRecord{1, 2, 3, 4}));
  EXPECT_EQ(VersionRecord::FromString(L""), (VersionRecord{}));
  EXPECT_EQ(VersionRecord::FromString(L"7b.x.9"), (VersionRecord{7, 0, 9, 0}));
  // Never overflows, whatever the text.
  EXPECT_EQ(VersionRecord::FromString(L"99999999999999999999.-99999999999999999999"),
            (VersionRecord{INT32_MAX, INT32_MIN, 0, 0}));
}

TEST(LibraryPath, JoinsWithOneSeparatorAndLetsAbsoluteFilesStandAlone) {
  EXPECT_EQ(JoinLibraryPath(L"C:\\XNA\\", L"XnaNative.dll"), L"C:\\XNA\\XnaNative.dll");
  EXPECT_EQ(JoinLibraryPath(L"\"C:\\XNA\\\\/\"", L"\\XnaNative.dll"), L"C:\\XNA\\XnaNative.dll");
  EXPECT_EQ(JoinLibraryPath(L"C:\\XNA", L"\\\\server\\share\\XnaNative.dll"), L"\\\\server\\share\\XnaNative.dll");
  EXPECT_EQ(JoinLibraryPath(L"C:\\XNA", L"/XnaNative.dll"), L"C:\\XNA\\XnaNative.dll");
  EXPECT_EQ(JoinLibraryPath(L"C:\\XNA", L"D:\\Other\\XnaNative.dll"), L"D:\\Other\\XnaNative.dll");
  EXPECT_EQ(JoinLibraryPath(L"C:\\XNA", L"\"d:/Other/XnaNative.dll\""), L"d:/Other/XnaNative.dll");
  EXPECT_EQ(JoinLibraryPath(L"C:\\XNA", L"C:XnaNative.dll"), L"C:\\XNA\\C:XnaNative.dll");
}

TEST(RuntimeDetectionOnThisMachine, MasksHoldOnlyTheNativePlatformsBits) {
  auto host = test::MakeTestMachine();
  Machine& m = host->machine();
  RuntimeDetection d = DetectRuntimes(m);
  NativePlatform platform = GetNativePlatform(m);
  EXPECT_EQ(d.native64, platform != NativePlatform::kX86);
  // Each platform's column: every third bit from its first (x86 0x1, x64 0x2, IA64 0x4).
  uint32_t allowed = 0;
  for (int bit = static_cast<int>(platform) - 1; bit < 24; bit += 3) allowed |= 1u << bit;
  EXPECT_EQ(d.vcMask & ~allowed, 0u) << std::hex << d.vcMask;
  EXPECT_EQ(d.netMask & ~0x3FFu, 0u);
  EXPECT_EQ(d.xnaMask & ~0x1Fu, 0u);
  // The x86 catalogue entries are never present on a 64-bit machine.
  if (d.native64) {
    for (const RuntimePackage& p : BuildCatalogue()) {
      if (p.architecture == Architecture::kX86) {
        EXPECT_EQ(DecideEntry(m, d, p), EntryDecision::kMissing);
      }
    }
  }
}

}  // namespace
}  // namespace rundix
