// The simulated registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE trees with Windows' value
// layout, access checks and the 32/64-bit views of a 64-bit machine (HKLM\SOFTWARE of the
// 32-bit view lives under SOFTWARE\Wow6432Node, as on Windows).
#pragma once

#include <json/value.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace rundix {

class SimJournal;

class SimRegistry final : public IRegistry {
 public:
  SimRegistry(bool machineIs64Bit, SimJournal& journal);
  ~SimRegistry() override;

  // Keys and values of the description's "registry" object.
  bool Load(const Json::Value& registry, std::string* error);

  LONG RegOpenKeyExW(HKEY root, const std::wstring& subKey, REGSAM access, HKEY* result) override;
  LONG RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD options, REGSAM access,
                       HKEY* result, DWORD* disposition) override;
  LONG RegQueryValueExW(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                        DWORD* dataBytes) override;
  LONG RegSetValueExW(HKEY key, const std::wstring& name, DWORD type, const BYTE* data,
                      DWORD dataBytes) override;
  LONG RegEnumValueW(HKEY key, DWORD index, std::wstring* name, DWORD nameCapacity) override;
  LONG RegDeleteValueW(HKEY key, const std::wstring& name) override;
  LONG RegCloseKey(HKEY key) override;

  // Direct access for tests and for simulated installers; `path` is a raw path such as
  // "HKLM\SOFTWARE\Wow6432Node\Foo" (no view redirection).
  void SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                std::vector<BYTE> data);
  void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& value);
  void SetDword(const std::wstring& path, const std::wstring& name, DWORD value);
  void CreateKey(const std::wstring& path);
  bool KeyExists(const std::wstring& path) const;
  // The raw bytes and type of a value, if it exists.
  bool GetValue(const std::wstring& path, const std::wstring& name, DWORD* type,
                std::vector<BYTE>* data) const;
  size_t OpenHandleCount() const;

 private:
  struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };
  struct Key {
    std::map<std::wstring, std::unique_ptr<Key>> children;  // by lower-case name
    std::vector<Value> values;                               // in creation order
    Value* Find(const std::wstring& name);
  };
  struct OpenKey {
    Key* key;
    REGSAM access;
    std::wstring path;  // for the journal
  };

  Key* RootOf(HKEY root, std::wstring* rootName);
  // Splits, applies the view and walks (creating missing keys when asked).
  Key* Resolve(HKEY root, const std::wstring& subKey, REGSAM access, bool create, bool* created,
               std::wstring* fullPath);
  Key* ResolveRaw(const std::wstring& path, bool create);
  OpenKey* Lookup(HKEY key);

  bool is64Bit_;
  SimJournal& journal_;
  mutable std::mutex mutex_;
  Key currentUser_;
  Key localMachine_;
  std::map<uintptr_t, OpenKey> open_;
  uintptr_t nextHandle_ = 0x1000;
};

}  // namespace rundix
