// Registry round trips through the helpers, against the simulated machine on Linux and the
// real registry of a throwaway Wine prefix on Windows.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

constexpr wchar_t kTestKey[] = L"SOFTWARE\\RundixTest\\Registry";

class RegistryTest : public ::testing::Test {
 protected:
  std::unique_ptr<test::TestMachine> host = test::MakeTestMachine();
  IRegistry& reg = host->machine().Registry();
};

TEST_F(RegistryTest, DwordAndStringValuesRoundTrip) {
  RegKey key = OpenOrCreateRegKey(reg, HKEY_CURRENT_USER, kTestKey);
  ASSERT_TRUE(key);
  ASSERT_EQ(SetRegDword(reg, key.get(), L"count", 0xFEDCBA98u), ERROR_SUCCESS);
  ASSERT_EQ(SetRegString(reg, key.get(), L"name", L"用户 42"), ERROR_SUCCESS);
  key.reset();

  RegKey read = OpenRegKey(reg, HKEY_CURRENT_USER, kTestKey, KEY_QUERY_VALUE);
  ASSERT_TRUE(read);
  EXPECT_EQ(QueryRegDword(reg, read.get(), L"count"), 0xFEDCBA98u);
  EXPECT_EQ(QueryRegString(reg, read.get(), L"NAME", 1024), L"用户 42");  // names ignore case
  EXPECT_FALSE(QueryRegDword(reg, read.get(), L"missing").has_value());
  EXPECT_FALSE(OpenRegKey(reg, HKEY_CURRENT_USER, L"SOFTWARE\\RundixTest\\Nope", KEY_QUERY_VALUE));

  // Stored with its terminator, so any reader that trusts the stored size gets one.
  BYTE raw[64] = {};
  DWORD size = sizeof(raw);
  DWORD type = 0;
  ASSERT_EQ(reg.RegQueryValueExW(read.get(), L"name", &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(size, (Utf16LeFromWide(L"用户 42").size() + 2));
  EXPECT_EQ(raw[size - 2], 0);
  EXPECT_EQ(raw[size - 1], 0);
}

TEST_F(RegistryTest, StringReadNeverPassesItsBuffer) {
  RegKey key = OpenOrCreateRegKey(reg, HKEY_CURRENT_USER, kTestKey);
  ASSERT_TRUE(key);
  // 512 characters without a terminator fill a 1024-byte buffer exactly. Windows stores one
  // character more when the one after the data is a NUL, so a '7' follows the 1024 bytes.
  std::wstring full(512, L'7');
  std::vector<BYTE> raw = Utf16LeFromWide(full + L'7');
  ASSERT_EQ(reg.RegSetValueExW(key.get(), L"full", REG_SZ, raw.data(), 1024), ERROR_SUCCESS);
  std::wstring tooLong(513, L'8');
  ASSERT_EQ(SetRegString(reg, key.get(), L"long", tooLong), ERROR_SUCCESS);

  RegKey read = OpenRegKey(reg, HKEY_CURRENT_USER, kTestKey, KEY_QUERY_VALUE);
  ASSERT_TRUE(read);
  EXPECT_EQ(QueryRegString(reg, read.get(), L"full", 1024), full);
  EXPECT_FALSE(QueryRegString(reg, read.get(), L"long", 1024).has_value());
  EXPECT_EQ(QueryRegString(reg, read.get(), L"long", 2048), tooLong);
}

TEST_F(RegistryTest, EnumeratesValueNamesWithTheBufferRule) {
  std::wstring path = std::wstring(kTestKey) + L"\\Enum";
  RegKey key = OpenOrCreateRegKey(reg, HKEY_CURRENT_USER, path);
  ASSERT_TRUE(key);
  ASSERT_EQ(SetRegDword(reg, key.get(), L"C:\\Windows\\system32\\msvcr100.dll", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetRegDword(reg, key.get(), std::wstring(20, L'n'), 1), ERROR_SUCCESS);
  key.reset();

  RegKey read = OpenRegKey(reg, HKEY_CURRENT_USER, path, KEY_READ);
  ASSERT_TRUE(read);
  std::vector<std::wstring> names;
  std::wstring name;
  DWORD index = 0;
  while (reg.RegEnumValueW(read.get(), index, &name, 512) == ERROR_SUCCESS) {
    names.push_back(name);
    ++index;
  }
  ASSERT_EQ(names.size(), 2u);
  EXPECT_NE(std::find(names.begin(), names.end(), L"C:\\Windows\\system32\\msvcr100.dll"), names.end());
  EXPECT_EQ(reg.RegEnumValueW(read.get(), 2, &name, 512), ERROR_NO_MORE_ITEMS);
  // 20 characters and the terminator need 21.
  DWORD longIndex = names[0].size() == 20 ? 0 : 1;
  EXPECT_EQ(reg.RegEnumValueW(read.get(), longIndex, &name, 20), ERROR_MORE_DATA);
  EXPECT_EQ(reg.RegEnumValueW(read.get(), longIndex, &name, 21), ERROR_SUCCESS);
}

TEST_F(RegistryTest, KeysOpenedForReadingRefuseWrites) {
  RegKey created = OpenOrCreateRegKey(reg, HKEY_CURRENT_USER, kTestKey);
  ASSERT_TRUE(created);
  RegKey readOnly = OpenRegKey(reg, HKEY_CURRENT_USER, kTestKey, KEY_QUERY_VALUE);
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(SetRegDword(reg, readOnly.get(), L"x", 1), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace rundix
