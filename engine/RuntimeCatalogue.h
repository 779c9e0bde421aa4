// The fixed catalogue of nineteen runtime packages: the names the repair page shows, the
// download list the repair run works through (same order: position i is row i), and which
// presence test decides whether each package is installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rundix {

inline constexpr uint32_t kCatalogueSize = 19;

enum class Architecture { kX86, kX64, kAny };

enum class PresenceKind {
  kVcMask,   // RuntimeDetection::vcMask shares a bit with `bits`
  kNetMask,  // netMask shares a bit with `bits`
  kXnaMask,  // xnaMask shares a bit with `bits`
  kDirectX,
  kOpenAL,
  kPhysX,
};

struct PresenceTest {
  PresenceKind kind = PresenceKind::kVcMask;
  uint32_t bits = 0;
  Architecture architecture = Architecture::kAny;  // of the catalogue entry it came from
};

// The pieces of one download-list string.
struct DownloadSpecParts {
  std::wstring url;              // up to the first comma
  std::wstring installerSwitch;  // after the first comma; may hold blanks
  std::wstring fileName;         // after the url's last '/' or '\'
};

struct RuntimePackage {
  uint32_t index = 0;
  std::wstring displayName;
  std::wstring downloadSpec;
  std::wstring url;
  std::wstring installerSwitch;
  std::wstring fileName;
  Architecture architecture = Architecture::kAny;
  std::optional<PresenceTest> presenceTest;  // none: always counts as missing
};

// Presence record filled at the start of a repair run.
struct RuntimeDetection {
  uint32_t vcMask = 0;
  uint32_t netMask = 0;
  uint32_t xnaMask = 0;
  bool native64 = false;
};

// "host:port" of the configured download server.
std::wstring DefaultDownloadServer();

// The nineteen display names, in catalogue order.
const std::vector<std::wstring>& DisplayNameList();
// The nineteen download-list strings for a server ("host:port"), in catalogue order.
std::vector<std::wstring> BuildDownloadList(const std::wstring& server = DefaultDownloadServer());

DownloadSpecParts SplitDownloadSpec(const std::wstring& downloadSpec);
// The test of the first catalogue file name equal to `fileName` without regard to case.
std::optional<PresenceTest> SelectPresenceTest(const std::wstring& fileName);

// Whole entries, as the repair run and the probe see them.
std::vector<RuntimePackage> BuildCatalogue(const std::wstring& server = DefaultDownloadServer());

const wchar_t* ArchitectureName(Architecture architecture);

}  // namespace rundix
