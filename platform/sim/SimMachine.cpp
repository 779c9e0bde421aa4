#include "platform/sim/SimMachine.h"

#include <json/reader.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "platform/Text.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimRuntime.h"

namespace rundix {

DWORD& SimLastError() {
  thread_local DWORD error = ERROR_SUCCESS;
  return error;
}

bool ParseHexBytes(const std::string& hex, std::vector<BYTE>* out) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string digits;
  for (char c : hex) {
    if (c != ' ' && c != ',' && c != '\n') digits.push_back(c);
  }
  if (digits.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    int hi = nibble(digits[i]);
    int lo = nibble(digits[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<BYTE>(hi * 16 + lo));
  }
  return true;
}

void SimJournal::Record(std::string kind, std::wstring subject, std::wstring detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(SimEvent{std::move(kind), std::move(subject), std::move(detail)});
}

std::vector<SimEvent> SimJournal::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<SimEvent> SimJournal::EventsOfKind(const std::string& kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SimEvent> out;
  for (const auto& e : events_) {
    if (e.kind == kind) out.push_back(e);
  }
  return out;
}

void SimJournal::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
}

SimMachine::SimMachine() = default;
SimMachine::~SimMachine() = default;

std::unique_ptr<SimMachine> SimMachine::FromJson(const std::string& json, const std::string& sandbox,
                                                 std::string* error) {
  Json::Value root;
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  std::string errors;
  std::istringstream in(json);
  bool parsed = false;
  try {
    parsed = Json::parseFromStream(builder, in, &root, &errors);
  } catch (const Json::Exception& e) {  // nesting past the reader's stack limit throws
    errors = e.what();
  }
  if (!parsed) {
    if (error) *error = "machine description is not valid JSON: " + errors;
    return nullptr;
  }
  if (!root.isObject()) {
    if (error) *error = "machine description must be a JSON object";
    return nullptr;
  }
  std::unique_ptr<SimMachine> machine(new SimMachine());
  // The loaders read values with JsonCpp's typed accessors, which throw on a value of another
  // type (a string where a size belongs): such a description is refused like any bad one.
  try {
    if (!machine->Load(root, sandbox, error)) return nullptr;
  } catch (const Json::Exception& e) {
    if (error) *error = std::string("machine description has a value of the wrong type: ") + e.what();
    return nullptr;
  }
  return machine;
}

std::unique_ptr<SimMachine> SimMachine::FromFile(const std::string& path, const std::string& sandbox,
                                                 std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read machine description " + path;
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return FromJson(text.str(), sandbox, error);
}

bool SimMachine::Load(const Json::Value& d, const std::string& sandbox, std::string* error) {
  description_ = d;
  nativeArch_ = d.get("native_arch", "x64").asString();
  if (nativeArch_ != "x86" && nativeArch_ != "x64" && nativeArch_ != "ia64" && nativeArch_ != "none") {
    if (error) *error = "\"native_arch\" must be x86, x64, ia64 or none";
    return false;
  }
  if (sandbox.empty()) {
    if (error) *error = "a sandbox folder is needed";
    return false;
  }
  registry_ = std::make_unique<SimRegistry>(Is64Bit(), journal_);
  files_ = std::make_unique<SimFileSystem>(sandbox, Is64Bit(), journal_);
  runtime_ = std::make_unique<SimRuntime>();
  if (!runtime_->Load(d, error) || !files_->Load(d, error) || !registry_->Load(d["registry"], error)) {
    return false;
  }
  // The folders every Windows installation has, made as the description's own folders are:
  // no access rule keeps them from being there, and nothing is recorded. A drive the machine
  // does not have gets none.
  if (d.get("standard_folders", true).asBool()) {
    std::wstring windows = files_->GetWindowsDirectoryW();
    std::vector<std::wstring> standard = {windows + L"\\System32", files_->GetTempPathW(MAX_PATH + 1)};
    if (Is64Bit()) standard.push_back(windows + L"\\SysWOW64");
    for (int csidl : {CSIDL_APPDATA, CSIDL_COMMON_APPDATA}) {
      std::wstring folder;
      if (files_->SHGetSpecialFolderPathW(csidl, &folder, false)) standard.push_back(folder);
    }
    for (const std::wstring& folder : standard) {
      if (folder.size() >= 2 && IsExistingFolder(*files_, folder.substr(0, 2) + L"\\")) files_->MakeFolder(folder);
    }
    journal_.Clear();
  }
  profile_ = CreateSimProfile(*this);
  system_ = CreateSimSystemInfo(*this, error);
  if (!system_) return false;
  eventLog_ = CreateSimEventLog(*this, error);
  if (!eventLog_) return false;
  internet_ = CreateSimInternet(*this);
  winHttp_ = CreateSimWinHttp(*this, error);
  if (!winHttp_) return false;
  codePages_ = CreateSimCodePages(*this, error);
  if (!codePages_) return false;
  return system_ && eventLog_ && internet_ && winHttp_ && codePages_;
}

IRegistry& SimMachine::Registry() { return *registry_; }
IFileSystem& SimMachine::Files() { return *files_; }
IProfile& SimMachine::Profile() { return *profile_; }
IRuntime& SimMachine::Runtime() { return *runtime_; }
ISystemInfo& SimMachine::System() { return *system_; }
IEventLog& SimMachine::EventLog() { return *eventLog_; }
IInternet& SimMachine::Internet() { return *internet_; }
IWinHttp& SimMachine::WinHttp() { return *winHttp_; }
ICodePages& SimMachine::CodePages() { return *codePages_; }

}  // namespace rundix
