// The presence tests: whether each runtime package of the catalogue is already installed.
// They only read (registry, files, Windows Installer product state, library loading), and
// they read what a 32-bit program sees on 64-bit Windows: the 32-bit registry view, System32
// as the 32-bit system folder and SysNative as the native one.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RuntimeCatalogue.h"
#include "platform/Win32Types.h"

namespace rundix {

class Machine;

struct VersionRecord {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  int32_t revision = 0;

  // From a version resource's fixed file version (two 32-bit halves).
  static VersionRecord FromFixed(DWORD mostSignificant, DWORD leastSignificant);
  // From "1.2.3.4": at most four parts, each a decimal integer with an optional leading '-'
  // (read as far as it is one; values beyond 32 bits are clamped).
  static VersionRecord FromString(const std::wstring& text);
  bool operator==(const VersionRecord&) const = default;
};

// The native platform the Visual C++ tests are run for.
enum class NativePlatform { kX86 = 1, kX64 = 2, kIA64 = 3 };

// GetNativeSystemInfo's architecture (GetSystemInfo's where it does not exist).
NativePlatform GetNativePlatform(Machine& machine);
// GetNativeSystemInfo exists and reports AMD64 or IA64.
bool IsNative64(Machine& machine);

// The Windows Installer state of a product code (without braces) is "installed", through
// "msi.dll" loaded for this one query; only where the library or its export is missing,
// whether the product's Uninstall key exists.
bool IsProductInstalled(Machine& machine, const std::wstring& code);

uint32_t ComputeVcMask(Machine& machine, NativePlatform platform);
uint32_t ComputeNetMask(Machine& machine);
uint32_t ComputeXnaMask(Machine& machine);
bool DetectDirectX(Machine& machine);

// The three masks (in this order) and native64: once per repair run.
RuntimeDetection DetectRuntimes(Machine& machine);

// A NativeLibraryPath joined with a file name: quotes removed; an absolute file part stands
// alone; otherwise one '\' between the folder and the file.
std::wstring JoinLibraryPath(const std::wstring& folder, const std::wstring& file);
// Surrounding quotes and trailing separators removed, then: a file that exists.
bool PathNamesFile(Machine& machine, const std::wstring& path);

// What the repair run decides for one catalogue entry.
enum class EntryDecision { kPresent, kMissing, kPassedOver };
EntryDecision DecideEntry(Machine& machine, const RuntimeDetection& detection, const RuntimePackage& package);
const wchar_t* EntryDecisionName(EntryDecision decision);

}  // namespace rundix

namespace KUM {

// The object-style presence tests. Detect() probes and keeps what it found; IsInstalled()
// decides from that. Used on the stack, never deleted through the base.
class KuSoftwareDetect {
 public:
  virtual void Detect() = 0;
  virtual bool IsInstalled() = 0;

 protected:
  KuSoftwareDetect() = default;
  ~KuSoftwareDetect() = default;
};

class KuOpenALDetect : public KuSoftwareDetect {
 public:
  explicit KuOpenALDetect(rundix::Machine& machine) : machine_(machine) {}
  void Detect() override;
  bool IsInstalled() override;

  rundix::VersionRecord fileVersion;
  bool loadable = false;

 private:
  rundix::Machine& machine_;
};

class KuPhysXDetect : public KuSoftwareDetect {
 public:
  explicit KuPhysXDetect(rundix::Machine& machine) : machine_(machine) {}
  void Detect() override;
  bool IsInstalled() override;

  rundix::VersionRecord registryVersion;
  rundix::VersionRecord fileVersion;
  bool loaderUsable = false;

 private:
  rundix::Machine& machine_;
};

}  // namespace KUM
