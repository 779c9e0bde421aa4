// The executable's resources on Linux: the table its generated source registers before main.
// A module handle is the address of a registered table; null means the program.
#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/Resources.h"
#include "platform/Text.h"

namespace rundix {
namespace {

constexpr ResourceTable kNoResources{nullptr, 0};

struct Registry {
  std::mutex mutex;
  const ResourceTable* program = &kNoResources;
  std::vector<const ResourceTable*> known{&kNoResources};
};

Registry& Tables() {
  static Registry registry;
  return registry;
}

HINSTANCE HandleOf(const ResourceTable* table) {
  return reinterpret_cast<HINSTANCE>(const_cast<ResourceTable*>(table));
}

// Only handles this file gave out are followed; anything else finds nothing.
const ResourceTable* TableOf(HINSTANCE module) {
  Registry& r = Tables();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (!module) return r.program;
  for (const ResourceTable* t : r.known) {
    if (HandleOf(t) == module) return t;
  }
  return nullptr;
}

const ResourceEntry* FindEntry(HINSTANCE module, const std::wstring& type, UINT id) {
  const ResourceTable* table = TableOf(module);
  if (!table || !table->entries) return nullptr;
  for (size_t i = 0; i < table->count; ++i) {
    const ResourceEntry& e = table->entries[i];
    // Resource type names compare without regard to case, as FindResourceW's do.
    if (e.id == id && e.type && EqualsNoCase(e.type, type)) return &e;
  }
  return nullptr;
}

}  // namespace

std::optional<ResourceBytes> FindResourceBytes(HINSTANCE module, const std::wstring& type,
                                               UINT id) {
  if (EqualsNoCase(type, L"STRING")) return std::nullopt;  // strings go through LoadStringResource
  const ResourceEntry* e = FindEntry(module, type, id);
  if (!e || !e->data || e->size == 0) return std::nullopt;  // as SizeofResource 0 fails
  return ResourceBytes{e->data, e->size};
}

std::wstring LoadStringResource(HINSTANCE module, UINT id, size_t bufferChars) {
  if (bufferChars == 0) return {};
  const ResourceEntry* e = FindEntry(module, L"STRING", id);
  if (!e || !e->data) return {};
  std::wstring text = WideFromUtf8(
      std::string_view(reinterpret_cast<const char*>(e->data), e->size));
  // The buffer counts UTF-16 units, as on Windows; a pair that does not fit is left out.
  size_t units = 0;
  size_t keep = 0;
  for (; keep < text.size(); ++keep) {
    size_t need = static_cast<uint32_t>(text[keep]) > 0xFFFF ? 2 : 1;
    if (units + need > bufferChars - 1) break;
    units += need;
  }
  text.resize(keep);
  return text;
}

HINSTANCE ProgramInstance() {
  Registry& r = Tables();
  std::lock_guard<std::mutex> lock(r.mutex);
  return HandleOf(r.program);
}

HINSTANCE RegisterProgramResources(const ResourceTable* table) {
  if (!table) return ProgramInstance();
  Registry& r = Tables();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (std::find(r.known.begin(), r.known.end(), table) == r.known.end()) r.known.push_back(table);
  r.program = table;
  return HandleOf(table);
}

}  // namespace rundix
