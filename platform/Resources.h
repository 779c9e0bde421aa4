// Typed resources by id: the executable's own resources on Windows (windres), a table
// generated at build time from the same list on Linux. One list per executable, written as
// lines of "TYPE ID FILE" or "STRING ID TEXT" (cmake/RundixResources.cmake), feeds both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/WindowTypes.h"

namespace rundix {

struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// FindResourceW + LoadResource + SizeofResource + LockResource for a resource of a named
// type ("XML", "PNG", "ICON") and a numeric id. The bytes stay valid while the module is
// loaded; nothing when the resource is missing.
std::optional<ResourceBytes> FindResourceBytes(HINSTANCE module, const std::wstring& type,
                                               UINT id);

// LoadStringW into a buffer of `bufferChars` characters: at most bufferChars - 1 characters;
// empty when the string is missing.
std::wstring LoadStringResource(HINSTANCE module, UINT id, size_t bufferChars = 512);

// The running executable's module (GetModuleHandleW(nullptr)).
HINSTANCE ProgramInstance();

// Linux only: the generated table of an executable. Each executable's generated source
// defines one and registers it before main; Windows executables carry real resources.
struct ResourceEntry {
  const wchar_t* type;  // "XML", "PNG", "ICON", "STRING"
  UINT id;
  const uint8_t* data;  // strings are UTF-8
  size_t size;
};
struct ResourceTable {
  const ResourceEntry* entries;
  size_t count;
};
// Makes `table` the program's module; returns its module handle.
HINSTANCE RegisterProgramResources(const ResourceTable* table);

}  // namespace rundix
