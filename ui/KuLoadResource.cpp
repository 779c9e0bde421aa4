#include "ui/KuLoadResource.h"

#include <cstring>
#include <vector>

#include "platform/LocalFile.h"
#include "platform/Resources.h"
#include "platform/Text.h"

// stb_image with only the formats the program ships, kept to this file: the program's images
// are PNG (one resource holds JPEG data) and the login QR code comes off the network.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 8192
#include <stb_image.h>

namespace KUM {
namespace {

static_assert(STBI_MAX_DIMENSIONS == kMaxImageSide);

// An image file bigger than this is not an image the library would show.
constexpr size_t kMaxImageFileBytes = 64u * 1024 * 1024;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool SizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint16_t WordBE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Dword(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// What a JPEG's header segments define, in the order they come.
struct JpegTables {
  bool huffman[2][4] = {};  // [DC, AC][table id]
  bool quant[4] = {};
  bool frame = false;
  bool progressive = false;
  std::vector<uint8_t> frameQuant;  // the quantisation table of each frame component
};

// Huffman tables whose code counts add up to more than 256 symbols overrun stb's tables
// (already while it reads the header for the size), so they are refused beforehand.
bool ReadHuffmanTables(const uint8_t* segment, size_t length, JpegTables& tables) {
  size_t pos = 0;
  while (pos < length) {
    if (length - pos < 17) return false;
    const uint8_t tableClass = segment[pos] >> 4, tableId = segment[pos] & 15;
    if (tableClass > 1 || tableId > 3) return false;
    size_t symbols = 0;
    for (int i = 1; i <= 16; ++i) symbols += segment[pos + i];
    if (symbols > 256 || length - pos - 17 < symbols) return false;
    tables.huffman[tableClass][tableId] = true;
    pos += 17 + symbols;
  }
  return true;
}

bool ReadQuantTables(const uint8_t* segment, size_t length, JpegTables& tables) {
  size_t pos = 0;
  while (pos < length) {
    const uint8_t precision = segment[pos] >> 4, tableId = segment[pos] & 15;
    const size_t size = precision == 0 ? 64 : 128;
    if (precision > 1 || tableId > 3 || length - pos - 1 < size) return false;
    tables.quant[tableId] = true;
    pos += 1 + size;
  }
  return true;
}

bool ReadFrame(uint8_t marker, const uint8_t* segment, size_t length, JpegTables& tables) {
  if (length < 6) return false;
  const size_t components = segment[5];
  if (length < 6 + components * 3) return false;
  tables.frame = true;
  tables.progressive = marker == 0xC2;
  tables.frameQuant.clear();
  for (size_t i = 0; i < components; ++i) tables.frameQuant.push_back(segment[6 + i * 3 + 2]);
  return true;
}

// stb does not clear its tables: a scan that uses a table no segment defined would decode
// with whatever the heap held, so every table a scan needs must have come before it.
bool ScanTablesDefined(const uint8_t* segment, size_t length, const JpegTables& tables) {
  if (!tables.frame || length < 1) return false;
  for (uint8_t q : tables.frameQuant) {
    if (q > 3 || !tables.quant[q]) return false;
  }
  const size_t components = segment[0];
  if (length < 1 + components * 2 + 3) return false;
  const uint8_t spectralStart = segment[1 + components * 2];
  const uint8_t approximationHigh = segment[1 + components * 2 + 2] >> 4;
  for (size_t i = 0; i < components; ++i) {
    const uint8_t dc = segment[1 + i * 2 + 1] >> 4, ac = segment[1 + i * 2 + 1] & 15;
    if (dc > 3 || ac > 3) return false;
    bool needDc = true, needAc = true;
    if (tables.progressive) {
      needDc = spectralStart == 0 && approximationHigh == 0;
      needAc = spectralStart != 0;
    }
    if ((needDc && !tables.huffman[0][dc]) || (needAc && !tables.huffman[1][ac])) return false;
  }
  return true;
}

// A JPEG counts only when its segments and scans run up to the end-of-image marker (stb's
// decoder fills a cut-off scan with zeros and reports success), its tables fit stb's, and
// every scan finds the tables it uses.
bool JpegSound(const uint8_t* data, size_t size) {
  JpegTables tables;
  size_t pos = 2;  // past SOI
  while (pos < size) {
    if (data[pos] != 0xFF) return false;
    while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes
    if (pos >= size) return false;
    const uint8_t marker = data[pos++];
    if (marker == 0xD9) return true;  // EOI
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (pos + 2 > size) return false;
    const size_t length = WordBE(data + pos);
    if (length < 2 || pos + length > size) return false;
    const uint8_t* segment = data + pos + 2;
    const size_t segmentLength = length - 2;
    if (marker == 0xC4 && !ReadHuffmanTables(segment, segmentLength, tables)) return false;
    if (marker == 0xDB && !ReadQuantTables(segment, segmentLength, tables)) return false;
    if ((marker == 0xC0 || marker == 0xC1 || marker == 0xC2) &&
        !ReadFrame(marker, segment, segmentLength, tables)) {
      return false;
    }
    if (marker == 0xDA && !ScanTablesDefined(segment, segmentLength, tables)) return false;
    pos += length;
    if (marker != 0xDA) continue;
    // Entropy-coded data: runs until a marker other than a stuffed zero or a restart.
    while (true) {
      while (pos < size && data[pos] != 0xFF) ++pos;
      if (pos + 1 >= size) return false;
      const uint8_t next = data[pos + 1];
      if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
        pos += next == 0xFF ? 1 : 2;
        continue;
      }
      break;
    }
  }
  return false;
}

// stb stops at IEND without reading the rest; a PNG counts only when every chunk up to and
// including IEND is there in full.
bool PngComplete(const uint8_t* data, size_t size) {
  size_t pos = 8;  // past the signature
  while (size - pos >= 12) {
    const size_t length = (size_t(data[pos]) << 24) | (size_t(data[pos + 1]) << 16) |
                          (size_t(data[pos + 2]) << 8) | data[pos + 3];
    if (length > size - pos - 12) return false;
    const bool end = std::memcmp(data + pos + 4, "IEND", 4) == 0;
    pos += 12 + length;
    if (end) return true;
  }
  return false;
}

// 8-bit RGBA rows to the stored form: premultiplied BGRA, then the mask.
std::unique_ptr<KuImageInfo> BuildImage(const uint8_t* rgba, int width, int height, DWORD mask) {
  std::unique_ptr<Bitmap> bitmap = rundix::CreateBitmap(width, height);
  if (!bitmap) return nullptr;
  auto image = std::make_unique<KuImageInfo>();
  uint8_t* pixels = bitmap->LockPixels();
  if (!pixels) return nullptr;
  const int stride = bitmap->Stride();
  bool alpha = false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = rgba + static_cast<size_t>(y) * width * 4;
    uint8_t* out = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
      unsigned r = in[0], g = in[1], b = in[2], a = in[3];
      if (a < 255) {
        r = r * a / 255;
        g = g * a / 255;
        b = b * a / 255;
        alpha = true;
      }
      const DWORD value = (a << 24) | (r << 16) | (g << 8) | b;
      if (value == mask) {
        std::memset(out, 0, 4);
        alpha = true;
        continue;
      }
      out[0] = static_cast<uint8_t>(b);
      out[1] = static_cast<uint8_t>(g);
      out[2] = static_cast<uint8_t>(r);
      out[3] = static_cast<uint8_t>(a);
    }
  }
  bitmap->UnlockPixels();
  image->width = width;
  image->height = height;
  image->alpha = alpha;
  image->bitmap = std::move(bitmap);
  return image;
}

// A device-independent bitmap (BITMAPINFOHEADER, palette, rows) as a BITMAP resource or an
// icon's image holds it: 1, 4, 8, 24 and 32 bits, uncompressed. An icon's height counts the
// colour rows and the AND mask's rows, which follow them.
std::unique_ptr<KuImageInfo> DecodeDib(const uint8_t* data, size_t size, bool icon, DWORD mask) {
  if (!data || size < 40) return nullptr;
  const uint32_t headerSize = Dword(data);
  if (headerSize < 40 || headerSize > size) return nullptr;
  const int64_t width = static_cast<int32_t>(Dword(data + 4));
  int64_t height = static_cast<int32_t>(Dword(data + 8));
  const unsigned bits = Word(data + 14);
  const uint32_t compression = Dword(data + 16);
  const uint32_t coloursUsed = Dword(data + 32);
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (icon) height /= 2;
  if (!SizeAllowed(width, height)) return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
  if (!(compression == 0 || (compression == 3 && bits == 32))) return nullptr;
  size_t paletteCount = bits <= 8 ? (coloursUsed ? coloursUsed : (1u << bits)) : 0;
  if (paletteCount > 256) return nullptr;
  size_t pos = headerSize + (compression == 3 && headerSize == 40 ? 12 : 0);
  const uint8_t* palette = data + pos;
  pos += paletteCount * 4;
  const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  const size_t colourBytes = stride * static_cast<size_t>(height);
  if (pos > size || size - pos < colourBytes) return nullptr;
  const uint8_t* rows = data + pos;
  const uint8_t* andMask = nullptr;
  if (icon && size - pos - colourBytes >= maskStride * static_cast<size_t>(height)) {
    andMask = rows + colourBytes;
  }

  const int w = static_cast<int>(width), h = static_cast<int>(height);
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  bool anyAlpha = false;
  for (int y = 0; y < h; ++y) {
    const int row = topDown ? y : h - 1 - y;
    const uint8_t* in = rows + static_cast<size_t>(row) * stride;
    uint8_t* out = rgba.data() + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < w; ++x, out += 4) {
      if (bits == 32) {
        out[0] = in[x * 4 + 2];
        out[1] = in[x * 4 + 1];
        out[2] = in[x * 4];
        out[3] = in[x * 4 + 3];
        if (out[3]) anyAlpha = true;
      } else if (bits == 24) {
        out[0] = in[x * 3 + 2];
        out[1] = in[x * 3 + 1];
        out[2] = in[x * 3];
        out[3] = 255;
      } else {
        const size_t bit = static_cast<size_t>(x) * bits;
        const unsigned index = (in[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index >= paletteCount) return nullptr;
        out[0] = palette[index * 4 + 2];
        out[1] = palette[index * 4 + 1];
        out[2] = palette[index * 4];
        out[3] = 255;
      }
    }
  }
  // A 32-bit image whose alpha bytes are all zero carries no alpha (older icons, plain BMPs).
  if (bits == 32 && !anyAlpha) {
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  }
  if (andMask && !(bits == 32 && anyAlpha)) {
    for (int y = 0; y < h; ++y) {
      const int row = topDown ? y : h - 1 - y;
      const uint8_t* m = andMask + static_cast<size_t>(row) * maskStride;
      for (int x = 0; x < w; ++x) {
        if (m[x / 8] & (0x80 >> (x % 8))) rgba[(static_cast<size_t>(y) * w + x) * 4 + 3] = 0;
      }
    }
  }
  return BuildImage(rgba.data(), w, h, mask);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  const wchar_t last = folder.back();
  if (last == L'\\' || last == L'/') return folder + name;
  const wchar_t separator = folder.find(L'\\') != std::wstring::npos ? L'\\' : L'/';
  return folder + separator + name;
}

}  // namespace

std::unique_ptr<KuImageInfo> KuDecodeImage(const uint8_t* data, size_t size, DWORD mask) {
  if (!data || size == 0 || size > static_cast<size_t>(INT32_MAX)) return nullptr;
  const int length = static_cast<int>(size);
  // The structure first: stb reads a JPEG's tables already while it looks for the size.
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
    if (!JpegSound(data, size)) return nullptr;
  } else if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) {
    if (!PngComplete(data, size)) return nullptr;
  } else {
    return nullptr;
  }
  // Then the declared size: a hostile header must not make the decoder allocate.
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return nullptr;
  if (!SizeAllowed(width, height)) return nullptr;
  int w = 0, h = 0;
  stbi_uc* rgba = stbi_load_from_memory(data, length, &w, &h, &channels, 4);
  if (!rgba) return nullptr;
  std::unique_ptr<KuImageInfo> image;
  if (w == width && h == height) image = BuildImage(rgba, w, h, mask);
  stbi_image_free(rgba);
  return image;
}

std::unique_ptr<KuImageInfo> KuDecodeIcon(const uint8_t* data, size_t size, int iconSize) {
  if (!data || size < 6 || Word(data) != 0 || Word(data + 2) != 1) return nullptr;
  const size_t count = Word(data + 4);
  if (count == 0 || size < 6 + count * 16) return nullptr;
  // The entry of the asked size, else the largest (then the deepest colour).
  const uint8_t* best = nullptr;
  int bestWidth = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = data + 6 + i * 16;
    const int width = e[0] ? e[0] : 256;
    if (iconSize > 0 && width == iconSize) {
      best = e;
      break;
    }
    if (!best || width > bestWidth || (width == bestWidth && Word(e + 6) > Word(best + 6))) {
      best = e;
      bestWidth = width;
    }
  }
  const size_t bytes = Dword(best + 8);
  const size_t offset = Dword(best + 12);
  if (offset > size || bytes > size - offset || bytes == 0) return nullptr;
  if (bytes >= 8 && std::memcmp(data + offset, kPngSignature, 8) == 0) {
    return KuDecodeImage(data + offset, bytes, 0);
  }
  return DecodeDib(data + offset, bytes, true, 0);
}

KuLoadResource& KuLoadResource::Instance() {
  static KuLoadResource instance;
  return instance;
}

void KuLoadResource::SetResourceInstance(HINSTANCE instance) {
  std::lock_guard<std::mutex> lock(mutex_);
  instance_ = instance;
}

HINSTANCE KuLoadResource::GetResourceInstance() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return instance_;
}

void KuLoadResource::SetResourcePath(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  resourcePath_ = path;
}

std::wstring KuLoadResource::GetResourcePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resourcePath_;
}

KuImageInfo* KuLoadResource::LoadImageW(UINT resourceId, DWORD mask,
                                        const std::wstring& resourceType) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto cached = resourceImages_.find(resourceId);
  if (cached != resourceImages_.end()) return cached->second.get();
  auto bytes = rundix::FindResourceBytes(instance_, resourceType, resourceId);
  if (!bytes) return nullptr;
  std::unique_ptr<KuImageInfo> image =
      rundix::EqualsNoCase(resourceType, L"BMP")
          ? DecodeDib(bytes->data, bytes->size, false, mask)
          : KuDecodeImage(bytes->data, bytes->size, mask);
  if (!image) return nullptr;
  ++decodes_;
  KuImageInfo* result = image.get();
  resourceImages_[resourceId] = std::move(image);
  return result;
}

std::wstring KuLoadResource::FilePath(const std::wstring& fileName) const {
  return rundix::LocalFileExists(fileName) ? fileName : JoinPath(resourcePath_, fileName);
}

KuImageInfo* KuLoadResource::LoadImageW(const std::wstring& fileName, DWORD mask, bool encrypt) {
  if (fileName.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto cached = fileImages_.find(fileName);
  if (cached != fileImages_.end()) {
    recency_.splice(recency_.end(), recency_, cached->second.recency);
    return cached->second.image.get();
  }
  // No image of the program is stored scrambled, and no scrambling is defined: such a file
  // is not shown rather than shown as garbage.
  if (encrypt) return nullptr;
  std::vector<uint8_t> bytes;
  if (!rundix::ReadLocalFile(FilePath(fileName), kMaxImageFileBytes, &bytes)) return nullptr;
  std::unique_ptr<KuImageInfo> image = KuDecodeImage(bytes.data(), bytes.size(), mask);
  if (!image) return nullptr;
  ++decodes_;
  return InsertFileImage(fileName, std::move(image));
}

KuImageInfo* KuLoadResource::LoadIconImage(UINT resourceId, int iconSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto cached = resourceImages_.find(resourceId);
  if (cached != resourceImages_.end()) return cached->second.get();
  auto bytes = rundix::FindResourceBytes(instance_, L"ICON", resourceId);
  if (!bytes) return nullptr;
  std::unique_ptr<KuImageInfo> image = KuDecodeIcon(bytes->data, bytes->size, iconSize);
  if (!image) return nullptr;
  ++decodes_;
  KuImageInfo* result = image.get();
  resourceImages_[resourceId] = std::move(image);
  return result;
}

KuImageInfo* KuLoadResource::LoadIconImage(const std::wstring& fileName, int iconSize) {
  if (fileName.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto cached = fileImages_.find(fileName);
  if (cached != fileImages_.end()) {
    recency_.splice(recency_.end(), recency_, cached->second.recency);
    return cached->second.image.get();
  }
  std::vector<uint8_t> bytes;
  if (!rundix::ReadLocalFile(FilePath(fileName), kMaxImageFileBytes, &bytes)) return nullptr;
  std::unique_ptr<KuImageInfo> image = KuDecodeIcon(bytes.data(), bytes.size(), iconSize);
  if (!image) return nullptr;
  ++decodes_;
  return InsertFileImage(fileName, std::move(image));
}

KuImageInfo* KuLoadResource::InsertFileImage(const std::wstring& fileName,
                                             std::unique_ptr<KuImageInfo> image) {
  if (recency_.size() >= kMaxFileImages) {
    fileImages_.erase(recency_.front());
    recency_.pop_front();
  }
  KuImageInfo* result = image.get();
  recency_.push_back(fileName);
  fileImages_[fileName] = FileImage{std::move(image), std::prev(recency_.end())};
  return result;
}

bool KuLoadResource::AddImageInfo(UINT resourceId, std::unique_ptr<KuImageInfo> image) {
  if (!image || !image->bitmap) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return resourceImages_.emplace(resourceId, std::move(image)).second;
}

bool KuLoadResource::AddImageInfo(const std::wstring& fileName,
                                  std::unique_ptr<KuImageInfo> image) {
  if (fileName.empty() || !image || !image->bitmap) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (fileImages_.count(fileName)) return false;
  InsertFileImage(fileName, std::move(image));
  return true;
}

void KuLoadResource::RemoveImage(UINT resourceId) {
  std::lock_guard<std::mutex> lock(mutex_);
  resourceImages_.erase(resourceId);
}

void KuLoadResource::RemoveImage(const std::wstring& fileName) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = fileImages_.find(fileName);
  if (found == fileImages_.end()) return;
  recency_.erase(found->second.recency);
  fileImages_.erase(found);
}

void KuLoadResource::ClearRCResource() {
  std::lock_guard<std::mutex> lock(mutex_);
  resourceImages_.clear();
}

void KuLoadResource::ClearFileResource() {
  std::lock_guard<std::mutex> lock(mutex_);
  fileImages_.clear();
  recency_.clear();
}

std::wstring KuLoadResource::LoadStr(UINT id) {
  HINSTANCE instance = GetResourceInstance();
  return rundix::LoadStringResource(instance, id, 512);
}

size_t KuLoadResource::DecodeCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return decodes_;
}

size_t KuLoadResource::FileImageCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fileImages_.size();
}

}  // namespace KUM
