/* A stand-in for one of the nineteen vendor runtime installers on the test server.
 * It records that it ran and with which parameters (a line in
 * %ProgramData%\RundixStandin\runs.log), and when the parameters are the package's silent
 * switch it makes the package detectable the way the repair's presence tests look for it:
 * a product registered with Windows Installer, registry keys, files. The installers that
 * take no switch ask first with a small dialog, as the real ones show their own. Built once
 * per package; STANDIN_INDEX is the package's catalogue position. */
#include <windows.h>
#include <msi.h>
#include <stdio.h>
#include <wchar.h>

#include "tools/standin/StandinResources.h"

enum Action {
  kVcProduct,  /* a Windows Installer product, and for 2010 on a DLL in the system folder */
  kNet35,
  kNet40,
  kDirectX,
  kOpenAL,
  kPhysX
};

struct Package {
  const wchar_t* fileName;
  const wchar_t* expectedSwitch;
  enum Action action;
  int x64;                    /* the DLL goes to the native system folder */
  const wchar_t* runtimeDll;  /* VC 2010 on: the file the presence test looks for */
};

static const struct Package kPackages[] = {
    {L"2005_vcredist_x86.exe", L"/Q", kVcProduct, 0, NULL},
    {L"2008_vcredist_x86.exe", L"/q", kVcProduct, 0, NULL},
    {L"2010_vcredist_x86.exe", L"/q", kVcProduct, 0, L"MSVCR100.dll"},
    {L"2012_vcredist_x86.exe", L"/quiet /norestart", kVcProduct, 0, L"MSVCR110.dll"},
    {L"2013_vcredist_x86.exe", L"/quiet /norestart", kVcProduct, 0, L"MSVCR120.dll"},
    {L"2015_VC_redist.x86.exe", L"/quiet /norestart", kVcProduct, 0, L"MSVCR140.dll"},
    {L"2005_vcredist_x64.exe", L"/Q", kVcProduct, 1, NULL},
    {L"2008_vcredist_x64.exe", L"/q", kVcProduct, 1, NULL},
    {L"2010_vcredist_x64.exe", L"/q", kVcProduct, 1, L"MSVCR100.dll"},
    {L"2012_vcredist_x64.exe", L"/quiet /norestart", kVcProduct, 1, L"MSVCR110.dll"},
    {L"2013_vcredist_x64.exe", L"/quiet /norestart", kVcProduct, 1, L"MSVCR120.dll"},
    {L"2015_VC_redist.x64.exe", L"/quiet /norestart", kVcProduct, 1, L"MSVCR140.dll"},
    {L"dotnetfx35.exe", L"", kNet35, 0, NULL},
    {L"dotNetFx40_Full_x86_x64.exe", L"/q", kNet40, 0, NULL},
    {NULL, NULL, kVcProduct, 0, NULL}, /* 14, 15: the .msi packages are built by wixl */
    {NULL, NULL, kVcProduct, 0, NULL},
    {L"directx_Jun2010_redist.exe", L"/Q", kDirectX, 0, NULL},
    {L"OpenALv2070.exe", L"/S", kOpenAL, 0, NULL},
    {L"PhysX-9.16.0318.exe", L"", kPhysX, 0, NULL},
};

static const struct Package* const kPackage = &kPackages[STANDIN_INDEX];

/* The command line after the program's own name, as the shell passed it. */
static const wchar_t* Parameters(void) {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

static int MakeFolder(const wchar_t* path) {
  return CreateDirectoryW(path, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

/* One UTF-8 line per run: file name, a tab, the parameters. */
static void RecordRun(const wchar_t* parameters, const wchar_t* outcome) {
  wchar_t folder[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 40) return;
  wcscat(folder, L"\\RundixStandin");
  if (!MakeFolder(folder)) return;
  wchar_t path[MAX_PATH];
  swprintf(path, MAX_PATH, L"%ls\\runs.log", folder);
  wchar_t line[1024];
  swprintf(line, 1024, L"%ls\t%ls\t%ls\r\n", kPackage->fileName, parameters, outcome);
  char utf8[4096];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8, NULL, NULL);
  if (bytes <= 1) return;
  /* Several runs may append; each line goes out in one write. */
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8, (DWORD)(bytes - 1), &written, NULL);
  CloseHandle(file);
}

/* Writes a resource of this program to a file; an existing file is left as it is unless
 * replace is set. */
static int ExtractResource(int id, const wchar_t* path, int replace) {
  if (!replace && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return 1;
  HRSRC info = FindResourceW(NULL, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!info) return 0;
  HGLOBAL loaded = LoadResource(NULL, info);
  DWORD size = SizeofResource(NULL, info);
  const void* bytes = loaded ? LockResource(loaded) : NULL;
  if (!bytes) return 0;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes, size, &written, NULL) && written == size;
  CloseHandle(file);
  return ok;
}

/* A file the presence tests only look for: written when it is missing, never replaced. */
static int PlaceFile(const wchar_t* folder, const wchar_t* name) {
  wchar_t path[MAX_PATH];
  swprintf(path, MAX_PATH, L"%ls\\%ls", folder, name);
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return 1;
  return ExtractResource(STANDIN_RES_PLACEHOLDER, path, 0);
}

/* The vendors' installers are 32-bit programs: keys written without naming a view land in the
 * 32-bit view. A 64-bit stand-in (built where no 32-bit code runs) names that view itself. */
static REGSAM InstallerView(REGSAM view) {
  return view == 0 && sizeof(void*) == 8 ? KEY_WOW64_32KEY : view;
}

static int SetDword(HKEY root, const wchar_t* key, REGSAM view, const wchar_t* name, DWORD value) {
  HKEY handle;
  if (RegCreateKeyExW(root, key, 0, NULL, 0, KEY_SET_VALUE | InstallerView(view), NULL, &handle, NULL) !=
      ERROR_SUCCESS) {
    return 0;
  }
  LONG status = RegSetValueExW(handle, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value);
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

static int SetString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value) {
  HKEY handle;
  if (RegCreateKeyExW(root, key, 0, NULL, 0, KEY_SET_VALUE | InstallerView(0), NULL, &handle, NULL) !=
      ERROR_SUCCESS) {
    return 0;
  }
  LONG status = RegSetValueExW(handle, name, 0, REG_SZ, (const BYTE*)value,
                               (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

static int InstallEmbeddedMsi(void) {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, folder);
  if (n == 0 || n >= MAX_PATH - 40) return 0;
  swprintf(path, MAX_PATH, L"%lsrundix-standin-%u-%lu.msi", folder, (unsigned)STANDIN_INDEX,
           (unsigned long)GetCurrentProcessId());
  if (!ExtractResource(STANDIN_RES_MSI, path, 1)) return 0;
  MsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
  UINT status = MsiInstallProductW(path, L"REBOOT=ReallySuppress");
  DeleteFileW(path);
  /* A second stand-in with the same product code (2013 and 2015 share theirs) finds it. */
  return status == ERROR_SUCCESS || status == ERROR_PRODUCT_VERSION;
}

static int SystemFolder(int native, wchar_t* folder) {
  /* A 64-bit stand-in (built where no 32-bit code runs) has the native folder as its own. */
  if (!native || sizeof(void*) == 8) return GetSystemDirectoryW(folder, MAX_PATH) > 0;
  UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 12) return 0;
  wcscat(folder, L"\\SysNative");
  return 1;
}

static int InstallVc(void) {
  if (!InstallEmbeddedMsi()) return 0;
  if (!kPackage->runtimeDll) return 1;
  wchar_t folder[MAX_PATH];
  if (!SystemFolder(kPackage->x64, folder) || !PlaceFile(folder, kPackage->runtimeDll)) return 0;
  /* The shared-DLL table counts the library, as the vendor's installers do. */
  wchar_t system[MAX_PATH];
  wchar_t value[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  if (kPackage->x64) {
    UINT n = GetWindowsDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 12) return 0;
    wcscat(system, L"\\system32");
  }
  swprintf(value, MAX_PATH, L"%ls\\%ls", system, kPackage->runtimeDll);
  return SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls",
                  kPackage->x64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, value, 1);
}

static int Install(void) {
  static const wchar_t kNdp[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\";
  wchar_t key[256];
  wchar_t folder[MAX_PATH];
  switch (kPackage->action) {
    case kVcProduct:
      return InstallVc();
    case kNet35:
      swprintf(key, 256, L"%lsv3.5", kNdp);
      return SetDword(HKEY_LOCAL_MACHINE, key, 0, L"Install", 1) && SetDword(HKEY_LOCAL_MACHINE, key, 0, L"SP", 1);
    case kNet40:
      swprintf(key, 256, L"%lsv4\\Full", kNdp);
      if (!SetDword(HKEY_LOCAL_MACHINE, key, 0, L"Install", 1)) return 0;
      swprintf(key, 256, L"%lsv4\\Client", kNdp);
      return SetDword(HKEY_LOCAL_MACHINE, key, 0, L"Install", 1);
    case kDirectX:
      if (!SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\DirectX", L"Version", L"4.09.00.0904")) return 0;
      if (!SystemFolder(0, folder)) return 0;
      return PlaceFile(folder, L"d3dx9_38.dll") && PlaceFile(folder, L"d3dx9_43.dll") &&
             PlaceFile(folder, L"X3DAudio1_7.dll") && PlaceFile(folder, L"xinput1_3.dll");
    case kOpenAL:
      if (!SystemFolder(0, folder)) return 0;
      wcscat(folder, L"\\OpenAL32.dll");
      return ExtractResource(STANDIN_RES_LIBRARY, folder, 1);
    case kPhysX:
      /* 9.16.03.18 as the vendor's installer writes it: two decimal digits a part. */
      if (!SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies", 0, L"PhysX Version", 9160318)) return 0;
      if (!SystemFolder(0, folder)) return 0;
      wcscat(folder, L"\\PhysXLoader.dll");
      return ExtractResource(STANDIN_RES_LIBRARY, folder, 1);
  }
  return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  const wchar_t* parameters = Parameters();
  if (wcscmp(parameters, kPackage->expectedSwitch) != 0) {
    /* Without its silent switch a real installer would stop and ask; this one installs nothing,
     * so the run cannot pass for a good one. */
    RecordRun(parameters, L"wrong-switch");
    return 2;
  }
  if (kPackage->expectedSwitch[0] == L'\0') {
    wchar_t text[256];
    swprintf(text, 256, L"%ls will be installed.", kPackage->fileName);
    if (MessageBoxW(NULL, text, L"Rundix stand-in installer", MB_OKCANCEL | MB_SETFOREGROUND) != IDOK) {
      RecordRun(parameters, L"cancelled");
      return 1602;
    }
  }
  int ok = Install();
  RecordRun(parameters, ok ? L"installed" : L"failed");
  return ok ? 0 : 1;
}
