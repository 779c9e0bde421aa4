// Settings situations that need an arranged machine: unwritable folders, fixed clocks, names
// that are taken.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRuntime.h"
#include "tests/support/SimMachineFactory.h"

namespace rundix {
namespace {

using test::LoadSimMachine;

// The first name the process-wide numbers give for a clock fixed at `time`.
std::wstring FirstName(SimMachine& m, int64_t time, int extra) {
  m.Runtime().Srand(static_cast<unsigned>(time));
  int a = m.Runtime().Rand() % 1000 + extra;
  int b = m.Runtime().Rand() % 5000 + 1 + extra;
  wchar_t name[32];
  std::swprintf(name, 32, L"NyXD%.03d%.03d", a, b);
  return name;
}

TEST(SettingsSim, AnUnwritableRoamingFolderFallsBackToAFolderInTemp) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"time":1700000000,"read_only":["C:\\Users\\user\\AppData\\Roaming"]})");
  SettingsStore store(*m);
  store.LoadSettings();
  // Named like NyXD042137 (the numbers are the process's own).
  std::wstring expected = store.AppDataFolder();
  std::wstring temp = L"C:\\Users\\user\\AppData\\Local\\Temp\\NyXD";
  ASSERT_EQ(expected.rfind(temp, 0), 0u) << expected;
  EXPECT_EQ(expected.find_first_not_of(L"0123456789", temp.size()), expected.size() - 1);
  EXPECT_EQ(expected.back(), L'\\');
  EXPECT_TRUE(IsExistingFolder(m->Files(), expected));
  store.SetAccountId(L"u1");
  store.SaveAccountId();
  EXPECT_TRUE(m->SimFiles().GetFile(expected + L"pcdat.ini").has_value());
}

TEST(SettingsSim, TakenNamesCountBothNumbersUp) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"time":1234567})");
  std::wstring taken = std::wstring(L"C:\\Users\\user\\AppData\\Local\\Temp\\") + FirstName(*m, 1234567, 0);
  ASSERT_TRUE(m->Files().CreateDirectoryW(taken));
  UniqueFolderNamer namer;
  auto folder = namer.Create(*m, L"NyX");
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, std::wstring(L"C:\\Users\\user\\AppData\\Local\\Temp\\") + FirstName(*m, 1234567, 1) + L"\\");
}

TEST(SettingsSim, UniqueFolderGivesUpWhenEveryNameIsTakenOrCreationFails) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, "{}");
  m->SimFiles().FailCreateDirectoryIn(L"C:\\Users\\user\\AppData\\Local\\Temp", ERROR_ALREADY_EXISTS);
  UniqueFolderNamer namer;
  EXPECT_FALSE(namer.Create(*m, L"NyX").has_value());  // bounded, not forever

  test::TempDir dir2;
  auto denied = LoadSimMachine(dir2, R"({"read_only":["C:\\Users\\user\\AppData\\Local\\Temp"]})");
  UniqueFolderNamer namer2;
  EXPECT_FALSE(namer2.Create(*denied, L"NyX").has_value());
  EXPECT_TRUE(denied->Journal().EventsOfKind("create_directory").empty());
}

TEST(SettingsSim, TheTemporaryFolderIsUsedInItsLongForm) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"temp_dir":"C:\\Users\\RUNNER~1\\AppData\\Local\\Temp\\",
      "long_names":{"C:\\Users\\RUNNER~1":"C:\\Users\\runneradmin"}})");
  UniqueFolderNamer namer;
  auto folder = namer.Create(*m, L"NyX");
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->rfind(L"C:\\Users\\runneradmin\\AppData\\Local\\Temp\\NyXD", 0), 0u) << *folder;
}

TEST(SettingsSim, WithNoUsableFolderNothingIsReadOrWrittenOutsideTheRegistry) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"read_only":["C:\\Users"],
      "registry":{"HKCU\\SOFTWARE\\Rundix":{"last_xiufu_time":77}}})");
  SettingsStore store(*m);
  store.LoadSettings();
  EXPECT_EQ(store.AppDataFolder(), L"");
  EXPECT_EQ(store.IniPath(), L"");
  EXPECT_EQ(store.AccountId(), L"");
  EXPECT_EQ(store.LastRepairTime(), 0);
  store.SetAccountId(L"u2");
  store.SaveAccountId();
  store.SaveLastRepairTime();
  EXPECT_TRUE(m->Journal().EventsOfKind("ini_write").empty());
  EXPECT_TRUE(m->Journal().EventsOfKind("create_file").empty());
  EXPECT_EQ(m->Journal().EventsOfKind("reg_set").size(), 2u);
}

TEST(SettingsSim, ARepairAtTimeZeroWritesNothing) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"time":0})");
  SettingsStore store(*m);
  store.LoadSettings();
  store.SaveLastRepairTime();
  EXPECT_EQ(store.LastRepairTime(), 0);
  EXPECT_TRUE(m->Journal().EventsOfKind("reg_set").empty());
  EXPECT_TRUE(m->Journal().EventsOfKind("ini_write").empty());
}

TEST(SettingsSim, TheRepairTimeKeepsItsLow32Bits) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"time":4294967396})");  // 2^32 + 100
  SettingsStore store(*m);
  store.LoadSettings();
  store.SaveLastRepairTime();
  EXPECT_EQ(store.LastRepairTime(), 100);
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\Users\\user\\AppData\\Roaming\\RUNDIX\\pcdat.ini"),
            "[config]\r\nlast_xiufu_time=100\r\n");
}

}  // namespace
}  // namespace rundix
