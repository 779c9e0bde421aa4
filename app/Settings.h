// The settings store: the account id, the last repair time and the application data folder,
// kept in HKCU\SOFTWARE\Rundix\ and in pcdat.ini (section "config") in that folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Machine.h"

namespace rundix {

inline constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Rundix\\";
inline constexpr wchar_t kIniFileName[] = L"pcdat.ini";
inline constexpr wchar_t kIniSection[] = L"config";
inline constexpr wchar_t kAccountIdName[] = L"phone";
inline constexpr wchar_t kLastRepairTimeName[] = L"last_xiufu_time";

class SettingsStore {
 public:
  explicit SettingsStore(Machine& machine) : machine_(machine) {}

  // Once per process: resolves the application data folder, then reads the registry and,
  // when that gives no account id, the INI file. With `makeFolder` false nothing is made:
  // the folder is used only when it exists (for tools that look at a machine and must not
  // change it).
  void LoadSettings(bool makeFolder = true);
  // Records now as the last repair time and writes it to both copies.
  void SaveLastRepairTime();
  // Writes the account id (an empty one too) to both copies.
  void SaveAccountId();

  const std::wstring& AccountId() const { return accountId_; }
  void SetAccountId(std::wstring id) { accountId_ = std::move(id); }
  // Read by the scan worker while the window thread may store a new one: always whole.
  int32_t LastRepairTime() const { return lastRepairTime_.load(); }
  const std::atomic<int32_t>& LastRepairTimeRef() const { return lastRepairTime_; }
  // Ends with '\'; empty when no usable folder could be found or made.
  const std::wstring& AppDataFolder() const { return appDataFolder_; }
  // The INI file's path; empty without an application data folder.
  std::wstring IniPath() const;

 private:
  Machine& machine_;
  std::wstring accountId_;
  std::atomic<int32_t> lastRepairTime_{0};
  std::wstring appDataFolder_;
};

// Makes a new folder named prefix + "D" + two numbers in the user's temporary folder and
// returns its path ending with '\'. The numbers are drawn once per process and counted up
// while names are taken; the attempts are bounded.
std::optional<std::wstring> CreateUniqueFolder(Machine& machine, const std::wstring& prefix);

// The state behind CreateUniqueFolder; the process has one, tests make their own.
class UniqueFolderNamer {
 public:
  static constexpr int kMaxAttempts = 1000;
  std::optional<std::wstring> Create(Machine& machine, const std::wstring& prefix);

 private:
  std::mutex mutex_;
  bool seeded_ = false;
  int a_ = 0;
  int b_ = 0;
};

}  // namespace rundix
