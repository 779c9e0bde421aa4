#include "engine/SharedDllScan.h"

#include <memory>

#include "platform/Text.h"

namespace rundix {

namespace {

constexpr DWORD kNameBufferChars = 512;

// The part after the last '\' or '/'.
std::wstring FileNamePart(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Enumerates the table's value names in one registry view until a call fails (the end, or a
// name too long for the buffer); returns how many it saw.
size_t EnumerateView(const ScanContext& context, REGSAM access, const std::vector<std::wstring>& filter,
                     CheckResult* panel, LeftOption* category) {
  IRegistry& registry = context.machine.Registry();
  RegKey key = OpenRegKey(registry, HKEY_LOCAL_MACHINE, kSharedDllsKey, access);
  if (!key) return 0;
  size_t seen = 0;
  std::wstring name;
  while (registry.RegEnumValueW(key.get(), static_cast<DWORD>(seen), &name, kNameBufferChars) ==
         ERROR_SUCCESS) {
    ++seen;
    auto finding = std::make_unique<PendingFinding>();
    finding->panel = panel;
    finding->kind = kSharedDllFinding;
    finding->text1 = FileNamePart(name);
    finding->category = MatchesRuntimeFilter(finding->text1, filter) ? category : nullptr;
    context.queue.Push(std::move(finding));
  }
  return seen;
}

}  // namespace

std::vector<std::wstring> RuntimeFilter(DWORD lastRepairTime) {
  if (lastRepairTime != 0) return {};
  return {L"vccorlib", L"msvcr", L"msvcp", L"mfc", L"vcomp", L"vcruntime"};
}

bool MatchesRuntimeFilter(const std::wstring& name, const std::vector<std::wstring>& filter) {
  size_t length = Utf16Length(name);
  for (const auto& word : filter) {
    if (length == Utf16Length(word) + 7 && ContainsNoCase(name, word)) return true;
  }
  return false;
}

void SharedDllScan(const ScanContext& context, CheckResult* panel, LeftOption* category) {
  std::vector<std::wstring> filter = RuntimeFilter(context.LastRepairTime());
  if (EnumerateView(context, KEY_READ | KEY_WOW64_64KEY, filter, panel, category) == 0) {
    EnumerateView(context, KEY_READ | KEY_WOW64_32KEY, filter, panel, category);
  }
}

}  // namespace rundix
