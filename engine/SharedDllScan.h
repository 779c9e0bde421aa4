// The shared-DLL scan: every value of the registry's shared-DLL table becomes a finding, and
// the Visual C++ runtime libraries among them carry the category while no repair is recorded.
#pragma once

#include <string>
#include <vector>

#include "engine/ScanContext.h"

namespace rundix {

inline constexpr wchar_t kSharedDllsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls\\";

// The runtime filter while no repair is recorded (last repair time 0), else empty.
std::vector<std::wstring> RuntimeFilter(DWORD lastRepairTime);

// True when `name` contains one of the words (letter case ignored) and is exactly seven
// characters longer than it: three digits and ".dll", as in msvcr100.dll.
bool MatchesRuntimeFilter(const std::wstring& name, const std::vector<std::wstring>& filter);

// The 64-bit view first; the 32-bit view only when the first pass saw no value. One kind-2
// finding per value, named by the file-name part of the value name.
void SharedDllScan(const ScanContext& context, CheckResult* panel, LeftOption* category);

}  // namespace rundix
