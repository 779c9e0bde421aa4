#include <gtest/gtest.h>

#include "platform/Text.h"

namespace rundix {
namespace {

TEST(Utf16LeBuffers, StopAtTerminatorOrBufferEnd) {
  const uint8_t withNul[] = {'a', 0, 'b', 0, 0, 0, 'c', 0};
  EXPECT_EQ(WideFromUtf16Le(withNul, sizeof(withNul)), L"ab");
  // A buffer filled to the last byte without a terminator: the text ends with the buffer.
  const uint8_t full[] = {'x', 0, 'y', 0, 'z', 0};
  EXPECT_EQ(WideFromUtf16Le(full, 4), L"xy");
  EXPECT_EQ(WideFromUtf16Le(full, 5), L"xy");  // an odd byte is not half a character
  EXPECT_EQ(WideFromUtf16Le(nullptr, 10), L"");
}

TEST(Utf16LeBuffers, RoundTripChineseAndSurrogatePairs) {
  std::wstring text = L"修复 DLL";
  text += static_cast<wchar_t>(0x20AC);
  std::vector<uint8_t> bytes = Utf16LeFromWide(text);
  EXPECT_EQ(bytes.size(), 2 * Utf16Length(text));
  EXPECT_EQ(WideFromUtf16Le(bytes.data(), bytes.size()), text);

  // U+1F600 as a surrogate pair on the wire.
  const uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE};
  std::wstring decoded = WideFromUtf16Le(pair, sizeof(pair));
  EXPECT_EQ(Utf8FromWide(decoded), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16Length(decoded), 2u);
  EXPECT_EQ(Utf16LeFromWide(decoded), std::vector<uint8_t>(pair, pair + 4));
}

TEST(Utf8, DecodesReplyTextAndReplacesBrokenSequences) {
  EXPECT_EQ(WideFromUtf8("\xE6\x96\x87\xE4\xBB\xB6\xE6\xAD\xA3\xE5\xB8\xB8"), L"文件正常");
  EXPECT_EQ(Utf8FromWide(L"文件正常"), "\xE6\x96\x87\xE4\xBB\xB6\xE6\xAD\xA3\xE5\xB8\xB8");
  std::wstring broken = WideFromUtf8("a\xC3");  // cut in the middle of a sequence
  ASSERT_EQ(broken.size(), 2u);
  EXPECT_EQ(broken[1], static_cast<wchar_t>(0xFFFD));
  EXPECT_EQ(WideFromUtf8("\xC0\xAF").size(), 2u);  // overlong forms are not characters
}

TEST(NameComparison, IgnoresLetterCase) {
  EXPECT_TRUE(EqualsNoCase(L"PHYSX-9.16.0318.EXE", L"PhysX-9.16.0318.exe"));
  EXPECT_FALSE(EqualsNoCase(L"PhysX.exe", L"PhysX.ex"));
  // Only letters fold: '[' and '{' differ by the same bit as 'A' and 'a'.
  EXPECT_FALSE(EqualsNoCase(L"a[1]", L"A{1}"));
  EXPECT_FALSE(EqualsNoCase(L"@", L"`"));
  EXPECT_TRUE(EqualsNoCase(L"\u00c4rger", L"\u00c4RGER"));
  EXPECT_FALSE(EqualsNoCase(L"\u00c4rger", L"Arger"));
  std::wstring path = L"C:\\Windows\\System32\\x.dll";
  EXPECT_TRUE(EqualsNoCase(std::wstring_view(path).substr(3, 7), L"WINDOWS"));
  EXPECT_TRUE(ContainsNoCase(L"MSVCR100.dll", L"msvcr"));
  EXPECT_FALSE(ContainsNoCase(L"vcomp", L"vcruntime"));
}

}  // namespace
}  // namespace rundix
