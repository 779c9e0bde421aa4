#include "engine/RuntimeDetection.h"

#include <array>
#include <climits>
#include <vector>

#include "platform/Machine.h"
#include "platform/Text.h"

namespace rundix {

namespace {

constexpr INT kInstalled = INSTALLSTATE_DEFAULT;
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kNetSetupKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\";
constexpr wchar_t kXnaKey[] = L"SOFTWARE\\Microsoft\\XNA\\Framework\\";
constexpr wchar_t kDirectXKey[] = L"SOFTWARE\\Microsoft\\DirectX";
constexpr wchar_t kPhysXKey[] = L"SOFTWARE\\AGEIA Technologies";
constexpr DWORD kStringBufferBytes = 1024;
constexpr DWORD kDirectXVersionBytes = 260;

// One row of the Visual C++ mask: its bit and product codes for each native platform
// (x86, x64, IA64). Rows from 2010 on also need their runtime DLL in the system folder and
// have one code each; a platform without codes never passes.
struct VcRow {
  std::array<uint32_t, 3> bits;
  const wchar_t* dll;
  std::array<std::vector<const wchar_t*>, 3> codes;
};

const std::vector<VcRow>& VcRows() {
  static const std::vector<VcRow> rows = {
      // 2005 first release
      {{0x1, 0x2, 0x4}, nullptr,
       {{{L"A49F249F-0C91-497F-86DF-B2585E8E76B7"},
         {L"6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A"},
         {L"03ED71EA-F531-4927-AABD-1C31BCE8E187"}}}},
      // 2005 service pack 1
      {{0x8, 0x10, 0x20}, nullptr,
       {{{L"7299052B-02A4-4627-81F2-1818DA5D550D", L"837B34E3-7C30-493C-8F6A-2B0F04E2912C"},
         {L"071C9B48-7C32-4621-A0AC-3F809523288F", L"6CE5BAE9-D3CA-4B99-891A-1DC6C118A5FC"},
         {L"0F8FB34E-675E-42ED-850B-29D98C2ECE08", L"85025851-A784-46D8-950D-05CB3CA43A13"}}}},
      // 2008 first release
      {{0x40, 0x80, 0x100}, nullptr,
       {{{L"FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4", L"A09D5493-0D9F-3211-B3BF-DD7ABBB318C1",
          L"E503B4BF-F7BB-3D5F-8BC8-F694B1CFF942"},
         {L"350AA351-21FA-3270-8B7A-835434E766AD"},
         {L"2B547B43-DB50-3139-9EBE-37D419E0F5FA"}}}},
      // 2008 service pack 1
      {{0x200, 0x400, 0x800}, nullptr,
       {{{L"86CE1746-9EFF-3C9C-8755-81EA8903AC34", L"9A25302D-30C0-39D9-BD6F-21E6EC160475",
          L"1F1C2DFC-2D24-3E06-BCB8-725134ADF989", L"9BE518E6-ECC6-35A9-88E4-87755C07200F"},
         {L"8220EEFE-38CD-377E-8595-13398D740ACE", L"4B6C7001-C7D6-3710-913E-5BC23FCE91E6",
          L"5FCE6D76-F5DC-37AB-B2B8-22AB8CEDB1D4"},
         {L"5827ECE1-AEB0-328E-B813-6FC68622C1F9", L"977AD349-C2A8-39DD-9273-285C08987C7B",
          L"515643D1-4E9E-342F-A75A-D1F16448DC04"}}}},
      // 2010 first release
      {{0x1000, 0x2000, 0x4000}, L"MSVCR100.dll",
       {{{L"196BB40D-1578-3D01-B289-BEFC77A11A1E"},
         {L"DA5E371C-6333-3D8A-93A4-6FD5B20BCC6E"},
         {L"C1A35166-4301-38E9-BA67-02823AD72A1B"}}}},
      // 2010 service pack 1
      {{0x8000, 0x10000, 0x20000}, L"MSVCR100.dll",
       {{{L"F0C3E5D1-1ADE-321E-8167-68EF0DE699A5"},
         {L"1D8E6291-B0D5-35EC-8441-6616F567A0F7"},
         {L"88C73C1C-2DE5-3B01-AFB8-B46EF4AB41CD"}}}},
      // 2012
      {{0x40000, 0x80000, 0}, L"MSVCR110.dll",
       {{{L"33d1fd90-4274-48a1-9bc1-97e33d9c2d6f"}, {L"ca67548a-5ebe-413a-b50c-4b9ceb6d66c6"}, {}}}},
      // 2013
      {{0x100000, 0x200000, 0}, L"MSVCR120.dll",
       {{{L"ce085a78-074e-4823-8dc1-8a721b94b76d"}, {L"7f51bdb9-ee21-49ee-94d6-90afc321780e"}, {}}}},
      // 2015: the 2013 codes, as the redistributables were catalogued
      {{0x400000, 0x800000, 0}, L"MSVCR140.dll",
       {{{L"ce085a78-074e-4823-8dc1-8a721b94b76d"}, {L"7f51bdb9-ee21-49ee-94d6-90afc321780e"}, {}}}},
  };
  return rows;
}

struct NetRow {
  const wchar_t* key;
  std::array<uint32_t, 3> bitForLevel;  // service pack 0, 1, 2; 0 = no bit
  uint32_t anyLevelBit;                 // set whatever the service pack, when not 0
};

constexpr std::array<NetRow, 5> kNetRows = {{
    {L"v2.0.50727", {0x1, 0x2, 0x4}, 0},
    {L"v3.0", {0x8, 0x10, 0x20}, 0},
    {L"v3.5", {0x40, 0x80, 0}, 0},
    {L"v4\\Full", {0, 0, 0}, 0x100},
    {L"v4\\Client", {0, 0, 0}, 0x200},
}};

struct XnaRow {
  const wchar_t* version;
  const wchar_t* nativeLibrary;
  uint32_t bit;
};

constexpr std::array<XnaRow, 5> kXnaRows = {{
    {L"v1.0", L"XnaNative1.dll", 0x1},
    {L"v2.0", L"XnaNative2.dll", 0x2},
    {L"v3.0", L"XnaNative.dll", 0x4},
    {L"v3.1", L"XnaNative.dll", 0x8},
    {L"v4.0", L"XnaNative.dll", 0x10},
}};

constexpr std::array<const wchar_t*, 4> kDirectXFiles = {
    L"d3Dx9_38.dll", L"d3dx9_43.dll", L"X3DAudio1_7.dll", L"xinput1_3.dll"};

size_t Column(NativePlatform platform) {
  switch (platform) {
    case NativePlatform::kX64: return 1;
    case NativePlatform::kIA64: return 2;
    case NativePlatform::kX86: return 0;
  }
  return 0;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring WithoutQuotes(std::wstring text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L'"') out.push_back(c);
  }
  return out;
}

// Whether a library loads (and exports `exportName`, when given), with the system's
// critical-error dialogs suppressed for the attempt.
bool LibraryUsable(Machine& machine, const std::wstring& name, const char* exportName) {
  ISystemInfo& system = machine.System();
  system.SetErrorMode(SEM_FAILCRITICALERRORS);
  bool usable = false;
  {
    LibraryHandle library = LoadLibraryHandle(system, name);
    usable = library && (exportName == nullptr || system.GetProcAddress(library.get(), exportName) != nullptr);
  }
  system.SetErrorMode(0);
  return usable;
}

bool ReadFileVersion(Machine& machine, const std::wstring& path, VersionRecord* out) {
  FixedFileVersion fixed;
  if (!machine.System().GetFileVersion(path, &fixed)) return false;
  *out = VersionRecord::FromFixed(fixed.dwFileVersionMS, fixed.dwFileVersionLS);
  return true;
}

bool VcRowPasses(Machine& machine, const VcRow& row, NativePlatform platform) {
  const std::vector<const wchar_t*>& codes = row.codes[Column(platform)];
  if (codes.empty()) return false;
  if (row.dll != nullptr) {
    // The runtime DLL in the native system folder first: SysNative reaches it from a 32-bit
    // program on x64; System32 is the folder itself elsewhere.
    std::wstring folder = machine.Files().GetWindowsDirectoryW();
    std::wstring file = folder + (platform == NativePlatform::kX64 ? L"\\SysNative\\" : L"\\System32\\") + row.dll;
    if (!PathNamesFile(machine, file)) return false;
  }
  for (const wchar_t* code : codes) {
    if (IsProductInstalled(machine, code)) return true;
  }
  return false;
}

bool XnaRowPasses(Machine& machine, const XnaRow& row) {
  IRegistry& registry = machine.Registry();
  RegKey key = OpenRegKey(registry, HKEY_LOCAL_MACHINE, std::wstring(kXnaKey) + row.version, KEY_QUERY_VALUE);
  if (!key) return false;
  std::optional<std::wstring> folder = QueryRegString(registry, key.get(), L"NativeLibraryPath", kStringBufferBytes);
  if (!folder) return false;
  std::wstring library = JoinLibraryPath(*folder, row.nativeLibrary);
  if (!PathNamesFile(machine, library)) return false;
  std::optional<std::wstring> version = QueryRegString(registry, key.get(), L"ProductVersion", kStringBufferBytes);
  if (version && !version->empty()) return true;
  VersionRecord ignored;
  return ReadFileVersion(machine, library, &ignored);
}

int32_t Clamp(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// A decimal integer with an optional leading '-', read as far as it is one.
int32_t ParseVersionPart(const std::wstring& part) {
  size_t i = 0;
  bool negative = false;
  if (i < part.size() && part[i] == L'-') {
    negative = true;
    ++i;
  }
  int64_t value = 0;
  for (; i < part.size() && part[i] >= L'0' && part[i] <= L'9'; ++i) {
    value = value * 10 + (part[i] - L'0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  return Clamp(negative ? -value : value);
}

}  // namespace

VersionRecord VersionRecord::FromFixed(DWORD mostSignificant, DWORD leastSignificant) {
  VersionRecord v;
  v.major = static_cast<int32_t>(mostSignificant >> 16);
  v.minor = static_cast<int32_t>(mostSignificant & 0xFFFF);
  v.build = static_cast<int32_t>(leastSignificant >> 16);
  v.revision = static_cast<int32_t>(leastSignificant & 0xFFFF);
  return v;
}

VersionRecord VersionRecord::FromString(const std::wstring& text) {
  VersionRecord v;
  int32_t* parts[4] = {&v.major, &v.minor, &v.build, &v.revision};
  size_t start = 0;
  for (int i = 0; i < 4 && start <= text.size(); ++i) {
    size_t dot = text.find(L'.', start);
    *parts[i] = ParseVersionPart(text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start));
    if (dot == std::wstring::npos) break;
    start = dot + 1;
  }
  return v;
}

NativePlatform GetNativePlatform(Machine& machine) {
  SystemInfo info;
  if (!machine.System().GetNativeSystemInfo(&info)) machine.System().GetSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return NativePlatform::kX64;
    case PROCESSOR_ARCHITECTURE_IA64: return NativePlatform::kIA64;
    default: return NativePlatform::kX86;
  }
}

bool IsNative64(Machine& machine) {
  SystemInfo info;
  if (!machine.System().GetNativeSystemInfo(&info)) return false;
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsProductInstalled(Machine& machine, const std::wstring& code) {
  std::wstring braced = L"{" + code + L"}";
  ISystemInfo& system = machine.System();
  {
    // Loaded and freed for every query.
    LibraryHandle msi = LoadLibraryHandle(system, L"msi.dll");
    if (msi) {
      if (LibraryProc query = system.GetProcAddress(msi.get(), "MsiQueryProductStateW")) {
        return system.MsiQueryProductStateW(query, braced) == kInstalled;
      }
    }
  }
  // Without Windows Installer, the product's uninstall entry decides.
  RegKey key = OpenRegKey(machine.Registry(), HKEY_LOCAL_MACHINE, kUninstallKey + braced, KEY_QUERY_VALUE);
  return static_cast<bool>(key);
}

uint32_t ComputeVcMask(Machine& machine, NativePlatform platform) {
  uint32_t mask = 0;
  size_t column = Column(platform);
  for (const VcRow& row : VcRows()) {
    if (VcRowPasses(machine, row, platform)) mask |= row.bits[column];
  }
  return mask;
}

uint32_t ComputeNetMask(Machine& machine) {
  IRegistry& registry = machine.Registry();
  uint32_t mask = 0;
  for (const NetRow& row : kNetRows) {
    RegKey key = OpenRegKey(registry, HKEY_LOCAL_MACHINE, std::wstring(kNetSetupKey) + row.key, KEY_QUERY_VALUE);
    if (!key) continue;
    std::optional<DWORD> install = QueryRegDword(registry, key.get(), L"Install");
    if (!install || *install == 0) continue;
    DWORD level = QueryRegDword(registry, key.get(), L"SP").value_or(0) & 0xFF;
    if (row.anyLevelBit != 0) {
      mask |= row.anyLevelBit;
    } else if (level < row.bitForLevel.size()) {
      mask |= row.bitForLevel[level];
    }
  }
  return mask;
}

uint32_t ComputeXnaMask(Machine& machine) {
  uint32_t mask = 0;
  for (const XnaRow& row : kXnaRows) {
    if (XnaRowPasses(machine, row)) mask |= row.bit;
  }
  return mask;
}

bool DetectDirectX(Machine& machine) {
  IRegistry& registry = machine.Registry();
  bool versionHolds = false;
  if (IsNative64(machine)) {
    versionHolds = static_cast<bool>(OpenRegKey(registry, HKEY_LOCAL_MACHINE, kDirectXKey, KEY_READ));
  } else {
    std::wstring text;
    if (RegKey key = OpenRegKey(registry, HKEY_LOCAL_MACHINE, kDirectXKey, KEY_READ)) {
      text = QueryRegString(registry, key.get(), L"Version", kDirectXVersionBytes).value_or(L"");
    }
    // "4.09.00.0904": the last character of the second part, read as a number.
    size_t dot = text.find(L'.');
    std::wstring second = dot == std::wstring::npos ? std::wstring() : text.substr(dot + 1);
    second = second.substr(0, second.find(L'.'));
    if (!second.empty()) {
      wchar_t c = second.back();
      int value = (c >= L'0' && c <= L'9') ? c - L'0' : 0;
      versionHolds = value >= 9;
    }
  }
  if (!versionHolds) return false;
  std::wstring folder = machine.Files().GetSystemDirectoryW();
  for (const wchar_t* name : kDirectXFiles) {
    if (!PathNamesFile(machine, folder + L"\\" + name)) return false;
  }
  return true;
}

RuntimeDetection DetectRuntimes(Machine& machine) {
  RuntimeDetection detection;
  detection.native64 = IsNative64(machine);
  NativePlatform platform = GetNativePlatform(machine);
  detection.vcMask = ComputeVcMask(machine, platform);
  detection.netMask = ComputeNetMask(machine);
  detection.xnaMask = ComputeXnaMask(machine);
  return detection;
}

std::wstring JoinLibraryPath(const std::wstring& folderText, const std::wstring& fileText) {
  std::wstring folder = WithoutQuotes(folderText);
  std::wstring file = WithoutQuotes(fileText);
  bool absolute = (file.size() >= 2 && file[0] == L'\\' && file[1] == L'\\') ||
                  (file.size() >= 3 && ((file[0] >= L'A' && file[0] <= L'Z') || (file[0] >= L'a' && file[0] <= L'z')) &&
                   file[1] == L':' && IsSeparator(file[2]));
  if (absolute) return file;
  while (!folder.empty() && IsSeparator(folder.back())) folder.pop_back();
  size_t first = 0;
  while (first < file.size() && IsSeparator(file[first])) ++first;
  return folder + L"\\" + file.substr(first);
}

bool PathNamesFile(Machine& machine, const std::wstring& text) {
  std::wstring path = text;
  if (!path.empty() && path.front() == L'"') path.erase(0, 1);
  if (!path.empty() && path.back() == L'"') path.pop_back();
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  if (path.empty()) return false;
  return IsExistingFile(machine.Files(), path);
}

EntryDecision DecideEntry(Machine& machine, const RuntimeDetection& detection, const RuntimePackage& package) {
  const std::optional<PresenceTest>& test = package.presenceTest;
  if (!test) return EntryDecision::kMissing;
  if (test->architecture == Architecture::kX64 && !detection.native64) return EntryDecision::kPassedOver;
  bool present = false;
  switch (test->kind) {
    case PresenceKind::kVcMask: present = (detection.vcMask & test->bits) != 0; break;
    case PresenceKind::kNetMask: present = (detection.netMask & test->bits) != 0; break;
    case PresenceKind::kXnaMask: present = (detection.xnaMask & test->bits) != 0; break;
    case PresenceKind::kDirectX: present = DetectDirectX(machine); break;
    case PresenceKind::kOpenAL: {
      KUM::KuOpenALDetect openAL(machine);
      openAL.Detect();
      present = openAL.IsInstalled();
      break;
    }
    case PresenceKind::kPhysX: {
      KUM::KuPhysXDetect physX(machine);
      physX.Detect();
      present = physX.IsInstalled();
      break;
    }
  }
  return present ? EntryDecision::kPresent : EntryDecision::kMissing;
}

const wchar_t* EntryDecisionName(EntryDecision decision) {
  switch (decision) {
    case EntryDecision::kPresent: return L"present";
    case EntryDecision::kMissing: return L"missing";
    case EntryDecision::kPassedOver: return L"passed over";
  }
  return L"missing";
}

}  // namespace rundix

namespace KUM {

void KuOpenALDetect::Detect() {
  if (!rundix::ReadFileVersion(machine_, L"OpenAL32.dll", &fileVersion)) return;
  loadable = rundix::LibraryUsable(machine_, L"OpenAL32.dll", nullptr);
}

bool KuOpenALDetect::IsInstalled() { return loadable && fileVersion.major > 0; }

void KuPhysXDetect::Detect() {
  rundix::IRegistry& registry = machine_.Registry();
  std::optional<DWORD> packed;
  {
    rundix::RegKey key = rundix::OpenRegKey(registry, HKEY_LOCAL_MACHINE, rundix::kPhysXKey, KEY_QUERY_VALUE);
    if (!key) return;
    packed = rundix::QueryRegDword(registry, key.get(), L"PhysX Version");
  }
  if (!packed) return;
  // Decimal digit pairs: 2080611 is 2.8.6.11.
  DWORD v = *packed;
  registryVersion.major = static_cast<int32_t>((v % 100000000u) / 1000000u);
  registryVersion.minor = static_cast<int32_t>((v % 1000000u) / 10000u);
  registryVersion.build = static_cast<int32_t>((v % 10000u) / 100u);
  registryVersion.revision = static_cast<int32_t>(v % 100u);
  if (!rundix::ReadFileVersion(machine_, L"PhysXLoader.dll", &fileVersion)) return;
  loaderUsable = rundix::LibraryUsable(machine_, L"PhysXLoader.dll", "NxCreatePhysicsSDK");
}

bool KuPhysXDetect::IsInstalled() { return loaderUsable && fileVersion.major > 0; }

}  // namespace KUM
