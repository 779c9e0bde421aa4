#include "platform/sim/SimSystemInfo.h"

#include <chrono>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegistry.h"

namespace rundix {

namespace {

// What GetProcAddress hands out for any simulated export: only its being non-null matters.
void SimExport() {}

std::wstring BaseName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "a.b.c.d" (missing parts 0), each part 0..65535.
bool ParseFixedVersion(const std::string& dotted, FixedFileVersion* out) {
  DWORD parts[4] = {0, 0, 0, 0};
  size_t count = 0;
  size_t start = 0;
  while (true) {
    size_t dot = dotted.find('.', start);
    std::string part = dotted.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (count == 4 || part.empty() || part.size() > 5 ||
        part.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    DWORD v = static_cast<DWORD>(std::stoul(part));
    if (v > 0xFFFF) return false;
    parts[count++] = v;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  out->dwFileVersionMS = (parts[0] << 16) | parts[1];
  out->dwFileVersionLS = (parts[2] << 16) | parts[3];
  return true;
}

}  // namespace

struct SimSystemInfo::Run {
  SimSystemInfo* self;
  std::wstring name;  // lower-case file name
  const Installer* installer;
};

SimSystemInfo::SimSystemInfo(SimMachine& machine) : machine_(machine) {
  libraries_[L"kernel32.dll"] = Library{true, {"GetSystemInfo", "GetModuleHandleW", "LoadLibraryW"}};
  if (machine_.NativeArchitecture() != "none") libraries_[L"kernel32.dll"].exports.insert("GetNativeSystemInfo");
  libraries_[L"msi.dll"] = Library{true, {"MsiQueryProductStateW"}};
}

SimSystemInfo::~SimSystemInfo() {
  std::unique_lock<std::mutex> lock(mutex_);
  shuttingDown_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return running_ == 0; });
}

bool SimSystemInfo::LoadEffects(const Json::Value& d, bool apply, std::string* error) {
  auto fail = [error](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  // Registry keys in the description's own format; checked on a scratch registry first.
  if (d.isMember("registry")) {
    if (apply) {
      if (!machine_.SimReg().Load(d["registry"], error)) return false;
    } else {
      SimJournal scratchJournal;
      SimRegistry scratch(machine_.Is64Bit(), scratchJournal);
      if (!scratch.Load(d["registry"], error)) return false;
    }
  }
  const Json::Value& libraries = d["libraries"];
  if (!libraries.isNull() && !libraries.isObject()) return fail("\"libraries\" must be an object");
  for (const auto& name : libraries.getMemberNames()) {
    const Json::Value& v = libraries[name];
    if (!v.isNull() && !v.isArray()) return fail("library \"" + name + "\" must list its exports or be null");
    std::vector<std::string> exports;
    for (const auto& e : v) {
      if (!e.isString()) return fail("library \"" + name + "\" has an export that is not a name");
      exports.push_back(e.asString());
    }
    if (apply) SetLibrary(WideFromUtf8(name), v.isNull() ? std::nullopt : std::optional(exports));
  }
  const Json::Value& products = d["msi_products"];
  if (products.isArray()) {
    for (const auto& code : products) {
      if (!code.isString()) return fail("\"msi_products\" must hold product codes");
      if (apply) SetProductState(WideFromUtf8(code.asString()), INSTALLSTATE_DEFAULT);
    }
  } else if (products.isObject()) {
    for (const auto& code : products.getMemberNames()) {
      if (!products[code].isIntegral()) return fail("the state of product " + code + " must be a number");
      if (apply) SetProductState(WideFromUtf8(code), products[code].asInt());
    }
  } else if (!products.isNull()) {
    return fail("\"msi_products\" must be an array of codes or an object of states");
  }
  const Json::Value& files = d["files"];
  if (!files.isNull() && !files.isArray()) return fail("\"files\" must be an array");
  for (const auto& f : files) {
    if (!f.isObject() || !f["path"].isString()) return fail("each file needs a \"path\"");
    FixedFileVersion ignored;
    if (f.isMember("version") && (!f["version"].isString() || !ParseFixedVersion(f["version"].asString(), &ignored))) {
      return fail("file " + f["path"].asString() + " has a bad \"version\" (a.b.c.d, each 0-65535)");
    }
  }
  return true;
}

bool SimSystemInfo::Load(const Json::Value& d, std::string* error) {
  auto fail = [error](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  Json::Value own(Json::objectValue);
  for (const char* key : {"libraries", "msi_products", "files"}) {
    if (d.isMember(key)) own[key] = d[key];
  }
  if (!LoadEffects(own, false, error)) return false;
  if (!LoadEffects(own, true, error)) return false;
  // The files themselves were made by the file system; their version resources are ours.
  for (const auto& f : d["files"]) {
    if (f.isMember("version")) SetFileVersion(WideFromUtf8(f["path"].asString()), f["version"].asString());
  }
  const Json::Value& installers = d["installers"];
  if (!installers.isNull() && !installers.isArray()) return fail("\"installers\" must be an array");
  for (const auto& entry : installers) {
    if (!entry.isObject() || !entry["file"].isString() || entry["file"].asString().empty()) {
      return fail("each installer needs a \"file\" name");
    }
    if (entry.isMember("parameters") && !entry["parameters"].isString()) {
      return fail("installer \"parameters\" must be a string");
    }
    if (entry.isMember("exit_code") && !entry["exit_code"].isIntegral()) {
      return fail("installer \"exit_code\" must be a number");
    }
    if (!LoadEffects(entry, false, error)) return false;
    Installer installer;
    installer.file = ToLowerWide(WideFromUtf8(entry["file"].asString()));
    if (entry.isMember("parameters")) installer.parameters = WideFromUtf8(entry["parameters"].asString());
    installer.exitCode = static_cast<DWORD>(entry.get("exit_code", 0).asInt64());
    installer.effects = entry;
    installers_.push_back(std::move(installer));
  }
  return true;
}

DWORD SimSystemInfo::GetLastError() { return SimLastError(); }

bool SimSystemInfo::GetNativeSystemInfo(SystemInfo* info) {
  const std::string& arch = machine_.NativeArchitecture();
  if (arch == "none") {
    SimLastError() = ERROR_PROC_NOT_FOUND;
    return false;
  }
  if (info) {
    info->wProcessorArchitecture = arch == "x64"    ? PROCESSOR_ARCHITECTURE_AMD64
                                   : arch == "ia64" ? PROCESSOR_ARCHITECTURE_IA64
                                                    : PROCESSOR_ARCHITECTURE_INTEL;
  }
  return true;
}

void SimSystemInfo::GetSystemInfo(SystemInfo* info) {
  // A 32-bit program is told x86 whatever the machine is.
  if (info) info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
}

UINT SimSystemInfo::SetErrorMode(UINT mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  UINT previous = errorMode_;
  errorMode_ = mode;
  return previous;
}

HMODULE SimSystemInfo::LoadLibraryW(const std::wstring& name) {
  std::wstring key = ToLowerWide(BaseName(name));
  std::lock_guard<std::mutex> lock(mutex_);
  machine_.Journal().Record("load_library", name, L"error_mode=" + std::to_wstring(errorMode_));
  auto it = libraries_.find(key);
  if (key.empty() || it == libraries_.end() || !it->second.loads) {
    SimLastError() = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  uintptr_t handle = nextModule_;
  nextModule_ += 0x10000;
  modules_[handle] = key;
  return reinterpret_cast<HMODULE>(handle);
}

LibraryProc SimSystemInfo::GetProcAddress(HMODULE module, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = modules_.find(reinterpret_cast<uintptr_t>(module));
  if (it == modules_.end()) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  const Library& library = libraries_[it->second];
  if (library.exports.count(name) == 0) {  // export names are exact, as on Windows
    SimLastError() = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  return &SimExport;
}

BOOL SimSystemInfo::FreeLibrary(HMODULE module) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (modules_.erase(reinterpret_cast<uintptr_t>(module)) == 0) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

INT SimSystemInfo::MsiQueryProductStateW(LibraryProc proc, const std::wstring& productCode) {
  if (proc == nullptr) return INSTALLSTATE_UNKNOWN;
  machine_.Journal().Record("msi_query", productCode);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = products_.find(ToLowerWide(productCode));
  return it == products_.end() ? INSTALLSTATE_UNKNOWN : it->second;
}

std::string SimSystemInfo::VersionKey(const std::wstring& path) const {
  return machine_.SimFiles().HostPath(path, SimFileSystem::View::kProgram);
}

bool SimSystemInfo::GetFileVersion(const std::wstring& path, FixedFileVersion* version) {
  IFileSystem& files = machine_.Files();
  std::vector<std::wstring> candidates;
  if (path.find_first_of(L"\\/") == std::wstring::npos) {
    // A bare name is looked for where the library search would find it.
    candidates.push_back(files.GetSystemDirectoryW() + L"\\" + path);
    candidates.push_back(files.GetWindowsDirectoryW() + L"\\" + path);
  } else {
    candidates.push_back(path);
  }
  for (const auto& candidate : candidates) {
    if (!IsExistingFile(files, candidate)) continue;
    std::string key = VersionKey(candidate);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = versions_.find(key);
    if (it == versions_.end()) {
      SimLastError() = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND: a file without a version resource
      return false;
    }
    if (version) *version = it->second;
    return true;
  }
  SimLastError() = ERROR_FILE_NOT_FOUND;
  return false;
}

BOOL SimSystemInfo::ShellExecuteExW(ShellExecuteInfo* info) {
  if (info == nullptr) {
    SimLastError() = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  info->hProcess = nullptr;
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = onExecute_;
  }
  if (hook) hook(info->file);
  if (!IsExistingFile(machine_.Files(), info->file)) {
    SimLastError() = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  // The loader reads the program with its own handle: not while another holds it for writing.
  SimFileSystem& files = machine_.SimFiles();
  if (files.OpenForWriting(info->file)) {
    SimLastError() = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  Execution execution;
  execution.path = info->file;
  execution.parameters = info->parameters;
  execution.directory = info->directory;
  execution.apartment = GetComApartment();
  execution.content = files.GetFile(info->file, SimFileSystem::View::kProgram).value_or(std::string());
  std::wstring folder = info->file.substr(0, info->file.find_last_of(L"\\/") + 1);
  execution.folderEntries = files.FolderEntries(folder);
  execution.folderAccess = files.GetAccessListW(folder);
  std::wstring name = ToLowerWide(BaseName(info->file));
  auto* run = new Run{this, name, nullptr};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    executions_.push_back(std::move(execution));
    for (const auto& installer : installers_) {
      if (installer.file == name && (!installer.parameters || *installer.parameters == info->parameters)) {
        run->installer = &installer;
        break;
      }
    }
    ++running_;
  }
  machine_.Journal().Record("execute", info->file, info->parameters);
  DWORD id = 0;
  HANDLE process = BeginThreadSuspended(&SimSystemInfo::RunMain, run, &id);
  if (process == nullptr) {
    delete run;
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
    changed_.notify_all();
    SimLastError() = ERROR_NOT_ENOUGH_MEMORY;
    return FALSE;
  }
  ResumeThreadHandle(process);
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
    info->hProcess = process;
  } else {
    CloseKernelHandle(process);
  }
  return TRUE;
}

namespace {

// COM on the calling thread, as CoInitializeEx and CoUninitialize count it.
struct ThreadCom {
  ComApartment apartment = ComApartment::kNone;
  int count = 0;
};
thread_local ThreadCom t_com;

}  // namespace

void SimSystemInfo::OnExecute(std::function<void(const std::wstring& path)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  onExecute_ = std::move(hook);
}

INT_PTR SimSystemInfo::ShellExecuteW(HWND, const std::wstring& verb, const std::wstring& file,
                                     const std::wstring&, int) {
  machine_.Journal().Record("shell_execute", file, verb);
  return 42;
}

bool SimSystemInfo::RestrictLibrarySearch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    librarySearchRestricted_ = true;
  }
  machine_.Journal().Record("library_search", L"system32");
  return true;
}

bool SimSystemInfo::LibrarySearchRestricted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return librarySearchRestricted_;
}

bool SimSystemInfo::CoInitializeApartmentThreaded() {
  if (t_com.count > 0 && t_com.apartment != ComApartment::kSingleThreaded) return false;  // RPC_E_CHANGED_MODE
  t_com.apartment = ComApartment::kSingleThreaded;
  ++t_com.count;
  return true;
}

void SimSystemInfo::CoUninitialize() {
  if (t_com.count > 0 && --t_com.count == 0) t_com.apartment = ComApartment::kNone;
}

ComApartment SimSystemInfo::GetComApartment() { return t_com.apartment; }

unsigned WINAPI SimSystemInfo::RunMain(void* argument) {
  auto* run = static_cast<Run*>(argument);
  unsigned exitCode = run->installer ? run->installer->exitCode : 0;
  run->self->RunProcess(*run);  // the last touch of the machine
  delete run;
  return exitCode;
}

void SimSystemInfo::RunProcess(const Run& run) {
  bool abandoned = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held_.count(run.name) && !shuttingDown_) {
      auto mark = waiting_.insert(run.name);
      changed_.notify_all();
      changed_.wait(lock, [&] { return held_.count(run.name) == 0 || shuttingDown_; });
      waiting_.erase(mark);
    }
    abandoned = shuttingDown_;  // the machine is going away: nothing more is installed
  }
  if (run.installer && !abandoned) {
    const Json::Value& effects = run.installer->effects;
    LoadEffects(effects, true, nullptr);
    for (const auto& f : effects["files"]) {
      std::wstring path = WideFromUtf8(f["path"].asString());
      machine_.SimFiles().PutFile(path, f.get("text", "").asString());
      if (f.isMember("version")) SetFileVersion(path, f["version"].asString());
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  --running_;
  changed_.notify_all();
}

std::vector<SimSystemInfo::Execution> SimSystemInfo::Executions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return executions_;
}

void SimSystemInfo::HoldInstaller(const std::wstring& fileName) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.insert(ToLowerWide(fileName));
}

void SimSystemInfo::ReleaseInstaller(const std::wstring& fileName) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.erase(ToLowerWide(fileName));
  changed_.notify_all();
}

bool SimSystemInfo::WaitUntilHeld(const std::wstring& fileName, unsigned milliseconds) {
  std::wstring name = ToLowerWide(fileName);
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [&] { return waiting_.count(name) > 0; });
}

size_t SimSystemInfo::RunningProcesses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

size_t SimSystemInfo::LoadedLibraryCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return modules_.size();
}

void SimSystemInfo::SetProductState(const std::wstring& productCode, INT state) {
  std::lock_guard<std::mutex> lock(mutex_);
  products_[ToLowerWide(productCode)] = state;
}

void SimSystemInfo::SetLibrary(const std::wstring& name, std::optional<std::vector<std::string>> exports) {
  std::lock_guard<std::mutex> lock(mutex_);
  Library& library = libraries_[ToLowerWide(BaseName(name))];
  library.loads = exports.has_value();
  library.exports.clear();
  if (exports) library.exports.insert(exports->begin(), exports->end());
}

bool SimSystemInfo::SetFileVersion(const std::wstring& path, const std::string& dotted) {
  FixedFileVersion version;
  if (!ParseFixedVersion(dotted, &version)) return false;
  std::string key = machine_.SimFiles().HostPath(path, SimFileSystem::View::kNative);
  if (key.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  versions_[key] = version;
  return true;
}

SimSystemInfo& SimMachine::SimSystem() { return static_cast<SimSystemInfo&>(*system_); }

std::unique_ptr<ISystemInfo> CreateSimSystemInfo(SimMachine& machine, std::string* error) {
  auto system = std::make_unique<SimSystemInfo>(machine);
  if (!system->Load(machine.Description(), error)) return nullptr;
  return system;
}

}  // namespace rundix
