// A simulated Windows machine for the Linux build and its tests, described by a JSON file
// (docs/sim-machine.md): registry trees, drive letters mapped onto a sandbox folder of the
// real file system, folders, clock, processor architecture. It records what the program did
// for tests to read. Every service is thread-safe.
#pragma once

#include <json/value.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Machine.h"

namespace rundix {

class SimRegistry;
class SimFileSystem;
class SimRuntime;
class SimEventLog;
class SimSystemInfo;

// What the program did to the machine, in order: "create_directory", "create_file",
// "reg_set", "ini_write" and the entries the other services add.
struct SimEvent {
  std::string kind;
  std::wstring subject;
  std::wstring detail;
};

class SimJournal {
 public:
  void Record(std::string kind, std::wstring subject, std::wstring detail = {});
  std::vector<SimEvent> Events() const;
  std::vector<SimEvent> EventsOfKind(const std::string& kind) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<SimEvent> events_;
};

// Bytes written as hexadecimal digits in a description, blanks, commas and line feeds
// allowed between them. False for anything else.
bool ParseHexBytes(const std::string& hex, std::vector<BYTE>* out);

// The calling thread's last error, shared by every simulated service (GetLastError).
DWORD& SimLastError();

class SimMachine : public Machine {
 public:
  // `sandbox` is a real folder; drive C: becomes sandbox/C and so on. Files and folders the
  // description lists are made there. Null and a message in `error` for a bad description.
  static std::unique_ptr<SimMachine> FromJson(const std::string& json, const std::string& sandbox,
                                              std::string* error);
  static std::unique_ptr<SimMachine> FromFile(const std::string& path, const std::string& sandbox,
                                              std::string* error);
  ~SimMachine() override;

  IRegistry& Registry() override;
  IFileSystem& Files() override;
  IProfile& Profile() override;
  IRuntime& Runtime() override;
  ISystemInfo& System() override;
  IEventLog& EventLog() override;
  IInternet& Internet() override;
  IWinHttp& WinHttp() override;
  ICodePages& CodePages() override;

  // The concrete services, for tests that arrange or inspect the machine.
  SimRegistry& SimReg() { return *registry_; }
  SimFileSystem& SimFiles() { return *files_; }
  SimRuntime& SimClock() { return *runtime_; }
  SimEventLog& SimEvents();
  SimSystemInfo& SimSystem();
  SimJournal& Journal() { return journal_; }
  const Json::Value& Description() const { return description_; }
  // "x86", "x64", "ia64" or "none" (no GetNativeSystemInfo; GetSystemInfo reports x86).
  const std::string& NativeArchitecture() const { return nativeArch_; }
  bool Is64Bit() const { return nativeArch_ == "x64" || nativeArch_ == "ia64"; }

 private:
  SimMachine();
  bool Load(const Json::Value& description, const std::string& sandbox, std::string* error);

  Json::Value description_;
  std::string nativeArch_ = "x64";
  SimJournal journal_;
  std::unique_ptr<SimRegistry> registry_;
  std::unique_ptr<SimFileSystem> files_;
  std::unique_ptr<IProfile> profile_;
  std::unique_ptr<SimRuntime> runtime_;
  std::unique_ptr<ISystemInfo> system_;
  std::unique_ptr<IEventLog> eventLog_;
  std::unique_ptr<IInternet> internet_;
  std::unique_ptr<IWinHttp> winHttp_;
  std::unique_ptr<ICodePages> codePages_;
};

// Factories of the services that other source files own; each reads its own part of the
// description and may reach its siblings through the machine.
std::unique_ptr<IProfile> CreateSimProfile(SimMachine& machine);
std::unique_ptr<ISystemInfo> CreateSimSystemInfo(SimMachine& machine, std::string* error);
std::unique_ptr<IEventLog> CreateSimEventLog(SimMachine& machine, std::string* error);
std::unique_ptr<IInternet> CreateSimInternet(SimMachine& machine);
std::unique_ptr<IWinHttp> CreateSimWinHttp(SimMachine& machine, std::string* error);
std::unique_ptr<ICodePages> CreateSimCodePages(SimMachine& machine, std::string* error);

}  // namespace rundix
