#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

using NativeSystemInfoProc = void(WINAPI*)(LPSYSTEM_INFO);
using ProductStateProc = INT(WINAPI*)(LPCWSTR);

class Win32SystemInfo final : public ISystemInfo {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }

  bool GetNativeSystemInfo(SystemInfo* info) override {
    // Not every Windows has it: looked up by name, never linked.
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return false;
    auto proc = reinterpret_cast<NativeSystemInfoProc>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (proc == nullptr) return false;
    SYSTEM_INFO si{};
    proc(&si);
    if (info) info->wProcessorArchitecture = si.wProcessorArchitecture;
    return true;
  }

  void GetSystemInfo(SystemInfo* info) override {
    SYSTEM_INFO si{};
    ::GetSystemInfo(&si);
    if (info) info->wProcessorArchitecture = si.wProcessorArchitecture;
  }

  UINT SetErrorMode(UINT mode) override { return ::SetErrorMode(mode); }
  HMODULE LoadLibraryW(const std::wstring& name) override { return ::LoadLibraryW(name.c_str()); }
  LibraryProc GetProcAddress(HMODULE module, const std::string& name) override {
    return reinterpret_cast<LibraryProc>(::GetProcAddress(module, name.c_str()));
  }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }

  INT MsiQueryProductStateW(LibraryProc proc, const std::wstring& productCode) override {
    if (proc == nullptr) return INSTALLSTATE_UNKNOWN;
    return reinterpret_cast<ProductStateProc>(proc)(productCode.c_str());
  }

  bool GetFileVersion(const std::wstring& path, FixedFileVersion* version) override {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
    void* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", &fixed, &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
      return false;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (version) {
      version->dwFileVersionMS = info->dwFileVersionMS;
      version->dwFileVersionLS = info->dwFileVersionLS;
    }
    return true;
  }

  BOOL ShellExecuteExW(ShellExecuteInfo* info) override {
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = info->fMask;
    sei.hwnd = info->hwnd;
    sei.lpVerb = info->verb.empty() ? nullptr : info->verb.c_str();
    sei.lpFile = info->file.c_str();
    sei.lpParameters = info->parameters.c_str();
    sei.lpDirectory = info->directory.empty() ? nullptr : info->directory.c_str();
    sei.nShow = info->nShow;
    BOOL ok = ::ShellExecuteExW(&sei);
    info->hProcess = ok ? sei.hProcess : nullptr;
    return ok;
  }

  bool RestrictLibrarySearch() override {
    // Looked up by name: Windows before 8 has it only with an update.
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel == nullptr ? nullptr
                                        : reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void (*)()>(
                                              ::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    bool restricted = setDefault != nullptr && setDefault(kSearchSystem32) != FALSE;
    bool noCurrentDirectory = ::SetDllDirectoryW(L"") != FALSE;
    return restricted || noCurrentDirectory;
  }

  bool CoInitializeApartmentThreaded() override {
    // S_FALSE (already initialised the same way) counts too: every success is balanced.
    return SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  }
  void CoUninitialize() override { ::CoUninitialize(); }
  ComApartment GetComApartment() override {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    if (FAILED(::CoGetApartmentType(&type, &qualifier))) return ComApartment::kNone;
    switch (type) {
      case APTTYPE_STA:
      case APTTYPE_MAINSTA:
        return ComApartment::kSingleThreaded;
      case APTTYPE_MTA:
        // An implicit MTA is no initialisation of this thread's own.
        return qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA ? ComApartment::kNone : ComApartment::kMultiThreaded;
      default:
        return ComApartment::kMultiThreaded;
    }
  }
};

}  // namespace

std::unique_ptr<ISystemInfo> CreateWin32SystemInfo() { return std::make_unique<Win32SystemInfo>(); }

}  // namespace rundix
