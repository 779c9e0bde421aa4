#include "engine/RuntimeCatalogue.h"

#include <array>

#include "RundixConfig.h"
#include "platform/Text.h"

namespace rundix {

namespace {

struct CatalogueRow {
  const wchar_t* displayName;
  Architecture architecture;
  const wchar_t* fileName;
  const wchar_t* installerSwitch;  // null: the installer takes no switch
  PresenceKind kind;
  uint32_t bits;
};

using A = Architecture;
using P = PresenceKind;

// The order is binding: it is the order of the repair page's rows and of the run's reports.
constexpr std::array<CatalogueRow, kCatalogueSize> kCatalogue = {{
    {L"Visual C++ 2005 运行库", A::kX86, L"2005_vcredist_x86.exe", L"/Q", P::kVcMask, 0x1 | 0x8},
    {L"Visual C++ 2008 运行库", A::kX86, L"2008_vcredist_x86.exe", L"/q", P::kVcMask, 0x40 | 0x200},
    {L"Visual C++ 2010 运行库", A::kX86, L"2010_vcredist_x86.exe", L"/q", P::kVcMask, 0x1000 | 0x8000},
    {L"Visual C++ 2012 运行库", A::kX86, L"2012_vcredist_x86.exe", L"/quiet /norestart", P::kVcMask, 0x40000},
    {L"Visual C++ 2013 运行库", A::kX86, L"2013_vcredist_x86.exe", L"/quiet /norestart", P::kVcMask, 0x100000},
    {L"Visual C++ 2015 运行库", A::kX86, L"2015_VC_redist.x86.exe", L"/quiet /norestart", P::kVcMask, 0x400000},
    {L"Visual C++ 2005 运行库 64位", A::kX64, L"2005_vcredist_x64.exe", L"/Q", P::kVcMask, 0x2 | 0x10},
    {L"Visual C++ 2008 运行库 64位", A::kX64, L"2008_vcredist_x64.exe", L"/q", P::kVcMask, 0x80 | 0x400},
    {L"Visual C++ 2010 运行库 64位", A::kX64, L"2010_vcredist_x64.exe", L"/q", P::kVcMask, 0x2000 | 0x10000},
    {L"Visual C++ 2012 运行库 64位", A::kX64, L"2012_vcredist_x64.exe", L"/quiet /norestart", P::kVcMask, 0x80000},
    {L"Visual C++ 2013 运行库 64位", A::kX64, L"2013_vcredist_x64.exe", L"/quiet /norestart", P::kVcMask, 0x200000},
    {L"Visual C++ 2015 运行库 64位", A::kX64, L"2015_VC_redist.x64.exe", L"/quiet /norestart", P::kVcMask, 0x800000},
    {L"Microsoft .Net Framework 3.5", A::kAny, L"dotnetfx35.exe", nullptr, P::kNetMask, 0x40 | 0x80},
    {L"Microsoft .Net Framework 4.0", A::kAny, L"dotNetFx40_Full_x86_x64.exe", L"/q", P::kNetMask, 0x100 | 0x200},
    {L"Microsoft XNA Framework Redist 3.1", A::kAny, L"xnafx31_redist.msi", L"/quiet /norestart", P::kXnaMask, 0x8},
    {L"Microsoft XNA Framework Redist 4.0", A::kAny, L"xnafx40_redist.msi", L"/quiet /norestart", P::kXnaMask, 0x10},
    {L"DirectX 9.0(含10、11)", A::kAny, L"directx_Jun2010_redist.exe", L"/Q", P::kDirectX, 0},
    {L"Open Audio Library", A::kAny, L"OpenALv2070.exe", L"/S", P::kOpenAL, 0},
    {L"NVIDIA PhysX System Software", A::kAny, L"PhysX-9.16.0318.exe", nullptr, P::kPhysX, 0},
}};

}  // namespace

std::wstring DefaultDownloadServer() {
  return std::wstring(RUNDIX_DOWNLOAD_HOST) + L":" + std::to_wstring(RUNDIX_DOWNLOAD_PORT);
}

const std::vector<std::wstring>& DisplayNameList() {
  static const std::vector<std::wstring> names = [] {
    std::vector<std::wstring> list;
    for (const auto& row : kCatalogue) list.emplace_back(row.displayName);
    return list;
  }();
  return names;
}

std::vector<std::wstring> BuildDownloadList(const std::wstring& server) {
  std::vector<std::wstring> list;
  list.reserve(kCatalogue.size());
  for (const auto& row : kCatalogue) {
    std::wstring entry = L"http://" + server + L"/zq/rundix/" + row.fileName;
    if (row.installerSwitch) entry += std::wstring(L",") + row.installerSwitch;
    list.push_back(std::move(entry));
  }
  return list;
}

DownloadSpecParts SplitDownloadSpec(const std::wstring& downloadSpec) {
  DownloadSpecParts parts;
  size_t comma = downloadSpec.find(L',');
  if (comma == std::wstring::npos) {
    parts.url = downloadSpec;
  } else {
    parts.url = downloadSpec.substr(0, comma);
    parts.installerSwitch = downloadSpec.substr(comma + 1);
  }
  size_t slash = parts.url.find_last_of(L"/\\");
  parts.fileName = slash == std::wstring::npos ? parts.url : parts.url.substr(slash + 1);
  return parts;
}

std::optional<PresenceTest> SelectPresenceTest(const std::wstring& fileName) {
  for (const auto& row : kCatalogue) {
    if (EqualsNoCase(fileName, row.fileName)) return PresenceTest{row.kind, row.bits, row.architecture};
  }
  return std::nullopt;
}

std::vector<RuntimePackage> BuildCatalogue(const std::wstring& server) {
  std::vector<std::wstring> downloadList = BuildDownloadList(server);
  std::vector<RuntimePackage> packages;
  packages.reserve(downloadList.size());
  for (uint32_t i = 0; i < downloadList.size(); ++i) {
    RuntimePackage p;
    p.index = i;
    p.displayName = DisplayNameList()[i];
    p.downloadSpec = downloadList[i];
    DownloadSpecParts parts = SplitDownloadSpec(downloadList[i]);
    p.url = parts.url;
    p.installerSwitch = parts.installerSwitch;
    p.fileName = parts.fileName;
    p.presenceTest = SelectPresenceTest(p.fileName);
    p.architecture = p.presenceTest ? p.presenceTest->architecture : Architecture::kAny;
    packages.push_back(std::move(p));
  }
  return packages;
}

const wchar_t* ArchitectureName(Architecture architecture) {
  switch (architecture) {
    case Architecture::kX86: return L"x86";
    case Architecture::kX64: return L"x64";
    case Architecture::kAny: return L"any";
  }
  return L"any";
}

}  // namespace rundix
