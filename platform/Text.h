// Conversions between the program's wide strings and the byte layouts Windows stores:
// registry data, event-log records and other raw buffers hold UTF-16LE on both builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rundix {

// Reads UTF-16LE code units up to the first NUL unit or the end of the bytes, whichever
// comes first; an odd trailing byte is ignored. Never reads past `bytes`.
std::wstring WideFromUtf16Le(const void* data, size_t bytes);
// The string as UTF-16LE, without a terminator.
std::vector<uint8_t> Utf16LeFromWide(const std::wstring& text);
// Number of UTF-16 code units `text` takes (surrogate pairs count two).
size_t Utf16Length(const std::wstring& text);

std::string Utf8FromWide(const std::wstring& text);

// printf-style formatting of a wide format (wide arguments as %ls, so one format serves both
// C runtimes) into a string as long as it needs to be.
std::wstring FormatWide(const wchar_t* format, ...);
// Invalid sequences become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

// Letter case folded the way the program compares names (ASCII and Latin letters).
std::wstring ToLowerWide(std::wstring text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool ContainsNoCase(const std::wstring& haystack, const std::wstring& needle);

// ASCII letters only: header names and other protocol words.
std::string ToLowerAscii(std::string text);
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

}  // namespace rundix
