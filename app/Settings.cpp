#include "app/Settings.h"

#include <cwchar>

namespace rundix {

namespace {

constexpr DWORD kPhoneBufferBytes = 1024;  // 511 characters and a terminator
constexpr DWORD kIniBufferChars = 260;

std::wstring FormatInt(int32_t value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%d", value);
  return text;
}

}  // namespace

std::wstring SettingsStore::IniPath() const {
  return appDataFolder_.empty() ? std::wstring() : appDataFolder_ + kIniFileName;
}

void SettingsStore::LoadSettings(bool makeFolder) {
  IFileSystem& files = machine_.Files();

  // 1. The application data folder: RUNDIX under the roaming folder, else a fallback.
  appDataFolder_.clear();
  std::wstring roaming;
  bool haveRoaming = files.SHGetSpecialFolderPathW(CSIDL_APPDATA, &roaming, false) && !roaming.empty();
  if (haveRoaming) {
    std::wstring folder = roaming + L"\\RUNDIX\\";
    if (makeFolder && !IsExistingFolder(files, folder)) CreateFolderTree(files, folder);
    if (IsExistingFolder(files, folder)) appDataFolder_ = folder;
  }
  if (appDataFolder_.empty() && makeFolder) {
    appDataFolder_ = CreateUniqueFolder(machine_, L"NyX").value_or(std::wstring());
  }

  // 2. The registry copy.
  accountId_.clear();
  lastRepairTime_ = 0;
  IRegistry& registry = machine_.Registry();
  if (RegKey key = OpenRegKey(registry, HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE)) {
    accountId_ = QueryRegString(registry, key.get(), kAccountIdName, kPhoneBufferBytes).value_or(L"");
    if (auto time = QueryRegDword(registry, key.get(), kLastRepairTimeName)) {
      lastRepairTime_ = static_cast<int32_t>(*time);
    }
  }

  // 3. The INI copy decides whenever the registry gave no account id.
  if (accountId_.empty()) {
    std::wstring ini = IniPath();
    if (ini.empty()) {
      lastRepairTime_ = 0;  // nothing can be read without a folder: the first-run state
      return;
    }
    IProfile& profile = machine_.Profile();
    accountId_ = profile.GetPrivateProfileStringW(kIniSection, kAccountIdName, L"", kIniBufferChars, ini);
    lastRepairTime_ = static_cast<int32_t>(
        profile.GetPrivateProfileIntW(kIniSection, kLastRepairTimeName, 0, ini));
  }
}

void SettingsStore::SaveLastRepairTime() {
  int32_t t = static_cast<int32_t>(machine_.Runtime().Time());
  lastRepairTime_ = t;
  if (t == 0) return;
  IRegistry& registry = machine_.Registry();
  RegKey key = OpenOrCreateRegKey(registry, HKEY_CURRENT_USER, kSettingsKey);
  if (key) SetRegDword(registry, key.get(), kLastRepairTimeName, static_cast<DWORD>(t));
  std::wstring ini = IniPath();
  if (!ini.empty()) {
    machine_.Profile().WritePrivateProfileStringW(kIniSection, kLastRepairTimeName, FormatInt(t), ini);
  }
}

void SettingsStore::SaveAccountId() {
  IRegistry& registry = machine_.Registry();
  RegKey key = OpenOrCreateRegKey(registry, HKEY_CURRENT_USER, kSettingsKey);
  if (key) SetRegString(registry, key.get(), kAccountIdName, accountId_);
  std::wstring ini = IniPath();
  if (!ini.empty()) {
    machine_.Profile().WritePrivateProfileStringW(kIniSection, kAccountIdName, accountId_, ini);
  }
}

std::optional<std::wstring> UniqueFolderNamer::Create(Machine& machine, const std::wstring& prefix) {
  std::lock_guard<std::mutex> lock(mutex_);
  IRuntime& runtime = machine.Runtime();
  if (!seeded_) {
    runtime.Srand(static_cast<unsigned>(runtime.Time()));
    a_ = runtime.Rand() % 1000;
    b_ = runtime.Rand() % 5000;
    seeded_ = true;
  }
  IFileSystem& files = machine.Files();
  std::wstring temp = files.GetTempPathW(MAX_PATH + 1);
  std::wstring longTemp = temp.empty() ? std::wstring() : files.GetLongPathNameW(temp);
  if (!longTemp.empty()) temp = longTemp;
  if (temp.empty()) return std::nullopt;

  b_ += 1;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    wchar_t numbers[32];
    std::swprintf(numbers, 32, L"D%.03d%.03d", a_, b_);
    std::wstring path = temp + prefix + numbers;
    if (files.CreateDirectoryW(path)) {
      while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
      return path + L"\\";
    }
    if (files.GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    a_ += 1;
    b_ += 1;
  }
  return std::nullopt;
}

std::optional<std::wstring> CreateUniqueFolder(Machine& machine, const std::wstring& prefix) {
  static UniqueFolderNamer namer;
  return namer.Create(machine, prefix);
}

}  // namespace rundix
