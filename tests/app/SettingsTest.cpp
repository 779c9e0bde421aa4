// The settings store against the simulated machine on Linux and the registry, INI files and
// folders of a throwaway Wine prefix on Windows.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test starts from the first-run state of its machine.
    IRegistry& reg = m.Registry();
    if (RegKey key = OpenRegKey(reg, HKEY_CURRENT_USER, kSettingsKey, KEY_SET_VALUE)) {
      reg.RegDeleteValueW(key.get(), kAccountIdName);
      reg.RegDeleteValueW(key.get(), kLastRepairTimeName);
    }
    std::wstring roaming;
    ASSERT_TRUE(m.Files().SHGetSpecialFolderPathW(CSIDL_APPDATA, &roaming, false));
    expectedFolder = roaming + L"\\RUNDIX\\";
    m.Files().DeleteFileW(expectedFolder + kIniFileName);
  }

  void SetRegistry(const std::wstring* phone, const DWORD* time) {
    IRegistry& reg = m.Registry();
    RegKey key = OpenOrCreateRegKey(reg, HKEY_CURRENT_USER, kSettingsKey);
    ASSERT_TRUE(key);
    if (phone) {
      ASSERT_EQ(SetRegString(reg, key.get(), kAccountIdName, *phone), ERROR_SUCCESS);
    }
    if (time) {
      ASSERT_EQ(SetRegDword(reg, key.get(), kLastRepairTimeName, *time), ERROR_SUCCESS);
    }
  }
  void SetIni(const std::wstring& key, const std::wstring& value) {
    CreateFolderTree(m.Files(), expectedFolder);
    ASSERT_TRUE(m.Profile().WritePrivateProfileStringW(kIniSection, key, value,
                                                       expectedFolder + kIniFileName));
  }
  std::wstring IniValue(const std::wstring& key) {
    return m.Profile().GetPrivateProfileStringW(kIniSection, key, L"<none>", 260,
                                                expectedFolder + kIniFileName);
  }

  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  Machine& m = host->machine();
  std::wstring expectedFolder;
};

TEST_F(SettingsTest, FirstRunMakesTheFolderAndStartsEmpty) {
  SettingsStore store(m);
  store.LoadSettings();
  EXPECT_EQ(store.AppDataFolder(), expectedFolder);
  EXPECT_TRUE(IsExistingFolder(m.Files(), expectedFolder));
  EXPECT_EQ(store.IniPath(), expectedFolder + L"pcdat.ini");
  EXPECT_EQ(store.AccountId(), L"");
  EXPECT_EQ(store.LastRepairTime(), 0);
}

TEST_F(SettingsTest, ARegistryAccountIdMeansTheIniFileIsNotRead) {
  std::wstring phone = L"13800138000";
  DWORD time = 1700000000;
  SetRegistry(&phone, &time);
  SetIni(kAccountIdName, L"someone-else");
  SetIni(kLastRepairTimeName, L"1800000000");
  SettingsStore store(m);
  store.LoadSettings();
  EXPECT_EQ(store.AccountId(), phone);
  EXPECT_EQ(store.LastRepairTime(), 1700000000);
}

TEST_F(SettingsTest, WithoutARegistryAccountIdTheIniFileReplacesBothValues) {
  DWORD time = 1700000000;
  SetRegistry(nullptr, &time);
  SetIni(kAccountIdName, L"ini-user");
  SettingsStore store(m);
  store.LoadSettings();
  EXPECT_EQ(store.AccountId(), L"ini-user");
  EXPECT_EQ(store.LastRepairTime(), 0);  // the INI file has no time: 0 replaces the registry's

  SetIni(kLastRepairTimeName, L"-5");
  store.LoadSettings();
  EXPECT_EQ(store.LastRepairTime(), -5);
}

TEST_F(SettingsTest, AnAccountIdFillingTheWholeBufferIsReadWithoutOverrun) {
  IRegistry& reg = m.Registry();
  RegKey key = OpenOrCreateRegKey(reg, HKEY_CURRENT_USER, kSettingsKey);
  ASSERT_TRUE(key);
  // 1024 bytes and no NUL. Windows stores one character more when the one after the data is
  // a NUL, so a '9' follows the 1024 bytes given.
  std::vector<BYTE> raw = Utf16LeFromWide(std::wstring(513, L'9'));
  ASSERT_EQ(reg.RegSetValueExW(key.get(), kAccountIdName, REG_SZ, raw.data(), 1024), ERROR_SUCCESS);
  SettingsStore store(m);
  store.LoadSettings();
  EXPECT_EQ(store.AccountId(), std::wstring(512, L'9'));

  ASSERT_EQ(SetRegString(reg, key.get(), kAccountIdName, std::wstring(513, L'9')), ERROR_SUCCESS);
  SetIni(kAccountIdName, L"fallback");
  store.LoadSettings();
  EXPECT_EQ(store.AccountId(), L"fallback");  // too long for the buffer: read as empty
}

TEST_F(SettingsTest, SavedRepairTimeIsTheSameInBothCopies) {
  SettingsStore store(m);
  store.LoadSettings();
  store.SaveLastRepairTime();
  int32_t saved = store.LastRepairTime();
  EXPECT_GT(saved, 0);
  RegKey key = OpenRegKey(m.Registry(), HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE);
  ASSERT_TRUE(key);
  EXPECT_EQ(QueryRegDword(m.Registry(), key.get(), kLastRepairTimeName), static_cast<DWORD>(saved));
  EXPECT_EQ(IniValue(kLastRepairTimeName), std::to_wstring(saved));

  SettingsStore reloaded(m);
  reloaded.LoadSettings();
  EXPECT_EQ(reloaded.LastRepairTime(), saved);
}

TEST_F(SettingsTest, SavedAccountIdReachesBothCopiesEvenWhenEmpty) {
  SettingsStore store(m);
  store.LoadSettings();
  store.SetAccountId(L"openid-xyz");
  store.SaveAccountId();
  RegKey key = OpenRegKey(m.Registry(), HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE);
  ASSERT_TRUE(key);
  EXPECT_EQ(QueryRegString(m.Registry(), key.get(), kAccountIdName, 1024), L"openid-xyz");
  EXPECT_EQ(IniValue(kAccountIdName), L"openid-xyz");

  store.SetAccountId(L"");
  store.SaveAccountId();
  EXPECT_EQ(QueryRegString(m.Registry(), key.get(), kAccountIdName, 1024), L"");
  EXPECT_EQ(IniValue(kAccountIdName), L"");
}

TEST_F(SettingsTest, UniqueFoldersAreNewFoldersInTheTemporaryFolder) {
  UniqueFolderNamer namer;
  auto first = namer.Create(m, L"NyX");
  auto second = namer.Create(m, L"NyX");
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  for (const auto& folder : {*first, *second}) {
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_EQ(folder.find(L"\\\\"), std::wstring::npos);
    EXPECT_TRUE(IsExistingFolder(m.Files(), folder));
    std::wstring name = folder.substr(0, folder.size() - 1);
    name = name.substr(name.rfind(L'\\') + 1);
    ASSERT_GE(name.size(), 10u);
    EXPECT_EQ(name.substr(0, 4), L"NyXD");
    EXPECT_EQ(name.find_first_not_of(L"0123456789", 4), std::wstring::npos);
  }
}

}  // namespace
}  // namespace rundix
