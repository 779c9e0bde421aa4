#include "platform/sim/SimRegistry.h"

#include <cstring>

#include "platform/Text.h"
#include "platform/sim/SimMachine.h"

namespace rundix {

namespace {

std::vector<std::wstring> SplitKeyPath(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : path) {
    if (c == L'\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::vector<BYTE> DwordBytes(DWORD v) {
  return {static_cast<BYTE>(v & 0xFF), static_cast<BYTE>((v >> 8) & 0xFF),
          static_cast<BYTE>((v >> 16) & 0xFF), static_cast<BYTE>(v >> 24)};
}

// REG_SZ data as Windows stores it when written with the terminator.
std::vector<BYTE> StringBytes(const std::wstring& s) {
  std::vector<BYTE> data = Utf16LeFromWide(s);
  data.push_back(0);
  data.push_back(0);
  return data;
}

DWORD TypeFromName(const std::string& name) {
  if (name == "REG_SZ") return REG_SZ;
  if (name == "REG_EXPAND_SZ") return REG_EXPAND_SZ;
  if (name == "REG_BINARY") return REG_BINARY;
  if (name == "REG_DWORD") return REG_DWORD;
  if (name == "REG_MULTI_SZ") return REG_MULTI_SZ;
  if (name == "REG_QWORD") return REG_QWORD;
  if (name == "REG_NONE") return REG_NONE;
  return static_cast<DWORD>(-1);
}

}  // namespace

SimRegistry::Value* SimRegistry::Key::Find(const std::wstring& name) {
  for (auto& v : values) {
    if (EqualsNoCase(v.name, name)) return &v;
  }
  return nullptr;
}

SimRegistry::SimRegistry(bool machineIs64Bit, SimJournal& journal)
    : is64Bit_(machineIs64Bit), journal_(journal) {}

SimRegistry::~SimRegistry() = default;

SimRegistry::Key* SimRegistry::RootOf(HKEY root, std::wstring* rootName) {
  if (root == HKEY_CURRENT_USER) {
    if (rootName) *rootName = L"HKCU";
    return &currentUser_;
  }
  if (root == HKEY_LOCAL_MACHINE) {
    if (rootName) *rootName = L"HKLM";
    return &localMachine_;
  }
  if (OpenKey* open = Lookup(root)) {
    if (rootName) *rootName = open->path;
    return open->key;
  }
  return nullptr;
}

SimRegistry::Key* SimRegistry::Resolve(HKEY root, const std::wstring& subKey, REGSAM access,
                                       bool create, bool* created, std::wstring* fullPath) {
  std::wstring rootName;
  Key* key = RootOf(root, &rootName);
  if (key == nullptr) return nullptr;
  std::vector<std::wstring> parts = SplitKeyPath(subKey);
  // What a 32-bit program sees: HKLM\SOFTWARE of the 32-bit view is SOFTWARE\Wow6432Node.
  if (is64Bit_ && root == HKEY_LOCAL_MACHINE && (access & KEY_WOW64_64KEY) == 0 && !parts.empty() &&
      EqualsNoCase(parts[0], L"SOFTWARE") &&
      !(parts.size() > 1 && EqualsNoCase(parts[1], L"Wow6432Node"))) {
    parts.insert(parts.begin() + 1, L"Wow6432Node");
  }
  std::wstring path = rootName;
  if (created) *created = false;
  for (const auto& part : parts) {
    std::wstring lower = ToLowerWide(part);
    auto it = key->children.find(lower);
    if (it == key->children.end()) {
      if (!create) return nullptr;
      it = key->children.emplace(lower, std::make_unique<Key>()).first;
      if (created) *created = true;
    }
    key = it->second.get();
    path += L"\\" + part;
  }
  if (fullPath) *fullPath = path;
  return key;
}

SimRegistry::Key* SimRegistry::ResolveRaw(const std::wstring& path, bool create) {
  std::vector<std::wstring> parts = SplitKeyPath(path);
  if (parts.empty()) return nullptr;
  Key* key = nullptr;
  std::wstring root = ToLowerWide(parts[0]);
  if (root == L"hkcu" || root == L"hkey_current_user") key = &currentUser_;
  if (root == L"hklm" || root == L"hkey_local_machine") key = &localMachine_;
  if (key == nullptr) return nullptr;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::wstring lower = ToLowerWide(parts[i]);
    auto it = key->children.find(lower);
    if (it == key->children.end()) {
      if (!create) return nullptr;
      it = key->children.emplace(lower, std::make_unique<Key>()).first;
    }
    key = it->second.get();
  }
  return key;
}

SimRegistry::OpenKey* SimRegistry::Lookup(HKEY key) {
  auto it = open_.find(reinterpret_cast<uintptr_t>(key));
  return it == open_.end() ? nullptr : &it->second;
}

bool SimRegistry::Load(const Json::Value& registry, std::string* error) {
  if (registry.isNull()) return true;
  if (!registry.isObject()) {
    if (error) *error = "\"registry\" must be an object of key paths";
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& path : registry.getMemberNames()) {
    Key* key = ResolveRaw(WideFromUtf8(path), true);
    if (key == nullptr) {
      if (error) *error = "registry key \"" + path + "\" does not start with HKCU or HKLM";
      return false;
    }
    // An object lists a key's values sorted by name (JSON objects are read that way); an
    // array of [name, value] pairs keeps the order given, which is the key's enumeration order.
    const Json::Value& values = registry[path];
    if (!values.isObject() && !values.isArray()) {
      if (error) *error = "registry key \"" + path + "\" must hold an object or an array of values";
      return false;
    }
    std::vector<std::pair<std::string, const Json::Value*>> listed;
    if (values.isObject()) {
      for (const auto& name : values.getMemberNames()) listed.emplace_back(name, &values[name]);
    } else {
      for (const auto& pair : values) {
        if (!pair.isArray() || pair.size() != 2 || !pair[0].isString()) {
          if (error) *error = "registry key \"" + path + "\": each value of an array is [name, value]";
          return false;
        }
        listed.emplace_back(pair[0].asString(), &pair[1]);
      }
    }
    for (const auto& [name, described] : listed) {
      const Json::Value& v = *described;
      Value value;
      value.name = WideFromUtf8(name);
      if (v.isString()) {
        value.type = REG_SZ;
        value.data = StringBytes(WideFromUtf8(v.asString()));
      } else if (v.isIntegral()) {
        value.type = REG_DWORD;
        value.data = DwordBytes(static_cast<DWORD>(v.asInt64()));
      } else if (v.isObject()) {
        value.type = TypeFromName(v.get("type", "REG_SZ").asString());
        if (value.type == static_cast<DWORD>(-1)) {
          if (error) *error = "registry value \"" + name + "\" has an unknown type";
          return false;
        }
        if (v.isMember("hex")) {
          if (!ParseHexBytes(v["hex"].asString(), &value.data)) {
            if (error) *error = "registry value \"" + name + "\" has bad hex data";
            return false;
          }
        } else if (v.isMember("dword")) {
          value.data = DwordBytes(static_cast<DWORD>(v["dword"].asInt64()));
          if (!v.isMember("type")) value.type = REG_DWORD;
        } else if (v.isMember("string")) {
          value.data = v.get("terminated", true).asBool() ? StringBytes(WideFromUtf8(v["string"].asString()))
                                                          : Utf16LeFromWide(WideFromUtf8(v["string"].asString()));
        }
      } else {
        if (error) *error = "registry value \"" + name + "\" must be a string, a number or an object";
        return false;
      }
      if (Value* existing = key->Find(value.name)) {
        *existing = std::move(value);
      } else {
        key->values.push_back(std::move(value));
      }
    }
  }
  return true;
}

LONG SimRegistry::RegOpenKeyExW(HKEY root, const std::wstring& subKey, REGSAM access, HKEY* result) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::wstring path;
  Key* key = Resolve(root, subKey, access, false, nullptr, &path);
  if (key == nullptr) return RootOf(root, nullptr) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  uintptr_t handle = nextHandle_;
  nextHandle_ += 4;
  open_[handle] = OpenKey{key, access, path};
  *result = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD /*options*/,
                                  REGSAM access, HKEY* result, DWORD* disposition) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  bool created = false;
  std::wstring path;
  Key* key = Resolve(root, subKey, access, true, &created, &path);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (created) journal_.Record("reg_create_key", path);
  uintptr_t handle = nextHandle_;
  nextHandle_ += 4;
  open_[handle] = OpenKey{key, access, path};
  *result = reinterpret_cast<HKEY>(handle);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegQueryValueExW(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                                   DWORD* dataBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenKey* open = Lookup(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (data != nullptr && dataBytes == nullptr) return ERROR_INVALID_PARAMETER;
  Value* value = open->key->Find(name);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->type;
  DWORD size = static_cast<DWORD>(value->data.size());
  if (data == nullptr) {
    if (dataBytes) *dataBytes = size;
    return ERROR_SUCCESS;
  }
  if (*dataBytes < size) {
    *dataBytes = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(data, value->data.data(), size);
  *dataBytes = size;
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegSetValueExW(HKEY key, const std::wstring& name, DWORD type, const BYTE* data,
                                 DWORD dataBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenKey* open = Lookup(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (data == nullptr && dataBytes != 0) return ERROR_INVALID_PARAMETER;
  Value value;
  value.name = name;
  value.type = type;
  if (dataBytes) value.data.assign(data, data + dataBytes);
  if (Value* existing = open->key->Find(name)) {
    existing->type = type;
    existing->data = std::move(value.data);
  } else {
    open->key->values.push_back(std::move(value));
  }
  journal_.Record("reg_set", open->path, name);
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegEnumValueW(HKEY key, DWORD index, std::wstring* name, DWORD nameCapacity) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenKey* open = Lookup(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (index >= open->key->values.size()) return ERROR_NO_MORE_ITEMS;
  const std::wstring& found = open->key->values[index].name;
  if (Utf16Length(found) + 1 > nameCapacity) return ERROR_MORE_DATA;
  if (name) *name = found;
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegDeleteValueW(HKEY key, const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenKey* open = Lookup(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  auto& values = open->key->values;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualsNoCase(it->name, name)) {
      values.erase(it);
      journal_.Record("reg_delete", open->path, name);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG SimRegistry::RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return open_.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void SimRegistry::SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                           std::vector<BYTE> data) {
  std::lock_guard<std::mutex> lock(mutex_);
  Key* key = ResolveRaw(path, true);
  if (key == nullptr) return;
  if (Value* existing = key->Find(name)) {
    existing->type = type;
    existing->data = std::move(data);
  } else {
    key->values.push_back(Value{name, type, std::move(data)});
  }
}

void SimRegistry::SetString(const std::wstring& path, const std::wstring& name,
                            const std::wstring& value) {
  SetValue(path, name, REG_SZ, StringBytes(value));
}

void SimRegistry::SetDword(const std::wstring& path, const std::wstring& name, DWORD value) {
  SetValue(path, name, REG_DWORD, DwordBytes(value));
}

void SimRegistry::CreateKey(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  ResolveRaw(path, true);
}

bool SimRegistry::KeyExists(const std::wstring& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return const_cast<SimRegistry*>(this)->ResolveRaw(path, false) != nullptr;
}

bool SimRegistry::GetValue(const std::wstring& path, const std::wstring& name, DWORD* type,
                           std::vector<BYTE>* data) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Key* key = const_cast<SimRegistry*>(this)->ResolveRaw(path, false);
  if (key == nullptr) return false;
  Value* value = key->Find(name);
  if (value == nullptr) return false;
  if (type) *type = value->type;
  if (data) *data = value->data;
  return true;
}

size_t SimRegistry::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_.size();
}

}  // namespace rundix
