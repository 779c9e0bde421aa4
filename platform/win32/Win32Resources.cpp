// The executable's own resources (windres). Icons are kept by Windows as a group directory
// plus one RT_ICON resource per image; FindResourceBytes gives them back as the .ico file the
// list named, so both builds hand out the same bytes.
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Resources.h"
#include "platform/Text.h"

namespace rundix {
namespace {

std::optional<ResourceBytes> Raw(HINSTANCE module, LPCWSTR type, LPCWSTR name) {
  HRSRC found = ::FindResourceW(module, name, type);
  if (!found) return std::nullopt;
  DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data || size == 0) return std::nullopt;
  return ResourceBytes{static_cast<const uint8_t*>(data), size};
}

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void PutWord(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutDword(std::vector<uint8_t>& out, uint32_t v) {
  PutWord(out, static_cast<uint16_t>(v));
  PutWord(out, static_cast<uint16_t>(v >> 16));
}

// ICONDIR + ICONDIRENTRY (16 bytes, image offset) rebuilt from GRPICONDIR + GRPICONDIRENTRY
// (14 bytes, RT_ICON id). Rebuilt once per icon; kept while the process runs.
std::optional<ResourceBytes> IconFile(HINSTANCE module, UINT id) {
  static std::mutex mutex;
  static std::map<std::pair<HINSTANCE, UINT>, std::vector<uint8_t>> files;
  std::lock_guard<std::mutex> lock(mutex);
  auto cached = files.find({module, id});
  if (cached != files.end()) return ResourceBytes{cached->second.data(), cached->second.size()};

  auto group = Raw(module, RT_GROUP_ICON, MAKEINTRESOURCEW(id));
  if (!group || group->size < 6) return std::nullopt;
  const uint8_t* g = group->data;
  size_t count = Word(g + 4);
  if (count == 0 || group->size < 6 + count * 14) return std::nullopt;
  std::vector<ResourceBytes> images;
  for (size_t i = 0; i < count; ++i) {
    auto image = Raw(module, RT_ICON, MAKEINTRESOURCEW(Word(g + 6 + i * 14 + 12)));
    if (!image) return std::nullopt;
    images.push_back(*image);
  }
  std::vector<uint8_t> out;
  PutWord(out, 0);
  PutWord(out, 1);
  PutWord(out, static_cast<uint16_t>(count));
  uint32_t offset = static_cast<uint32_t>(6 + count * 16);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = g + 6 + i * 14;
    out.insert(out.end(), e, e + 8);  // width, height, colours, reserved, planes, bit count
    PutDword(out, static_cast<uint32_t>(images[i].size));
    PutDword(out, offset);
    offset += static_cast<uint32_t>(images[i].size);
  }
  for (const ResourceBytes& image : images) out.insert(out.end(), image.data, image.data + image.size);
  auto& stored = files[{module, id}];
  stored = std::move(out);
  return ResourceBytes{stored.data(), stored.size()};
}

}  // namespace

std::optional<ResourceBytes> FindResourceBytes(HINSTANCE module, const std::wstring& type,
                                               UINT id) {
  if (!module) module = ::GetModuleHandleW(nullptr);
  if (type.empty() || EqualsNoCase(type, L"STRING")) return std::nullopt;
  if (EqualsNoCase(type, L"ICON")) return IconFile(module, id);
  // A BMP line of the list is a BITMAP resource: the DIB without its file header.
  if (EqualsNoCase(type, L"BMP")) return Raw(module, RT_BITMAP, MAKEINTRESOURCEW(id));
  return Raw(module, type.c_str(), MAKEINTRESOURCEW(id));
}

std::wstring LoadStringResource(HINSTANCE module, UINT id, size_t bufferChars) {
  if (bufferChars == 0) return {};
  if (!module) module = ::GetModuleHandleW(nullptr);
  std::vector<wchar_t> buffer(bufferChars, L'\0');
  int n = ::LoadStringW(module, id, buffer.data(), static_cast<int>(bufferChars));
  if (n <= 0) return {};
  return std::wstring(buffer.data(), static_cast<size_t>(n));
}

HINSTANCE ProgramInstance() { return ::GetModuleHandleW(nullptr); }

// Windows executables carry real resources; the table is not needed.
HINSTANCE RegisterProgramResources(const ResourceTable*) { return ProgramInstance(); }

}  // namespace rundix
