// The process-wide resource loader: the module whose resources the library reads, the folder
// of file images, the decoded image cache (resources by id for the life of the process, files
// by name with a recency list of at most 1000 names) and the string table.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "ui/KuTypes.h"

namespace KUM {

// One decoded image: a top-down premultiplied 32-bit bitmap.
struct KuImageInfo {
  std::unique_ptr<Bitmap> bitmap;
  int width = 0;
  int height = 0;
  // True when any pixel is not fully opaque or was made transparent by the mask.
  bool alpha = false;
};

// Images larger than this are refused before decoding (a downloaded image is untrusted).
constexpr int kMaxImageSide = 8192;
constexpr int64_t kMaxImagePixels = 16ll * 1024 * 1024;

// Decodes PNG or JPEG bytes into a premultiplied bitmap: channel × alpha / 255 (integer
// division) below full alpha, then pixels equal to `mask` (as 0xAARRGGBB of the stored
// pixel; 0 for none) become 0. Null for other formats, corrupt or truncated data, and images
// beyond the bounds above.
std::unique_ptr<KuImageInfo> KuDecodeImage(const uint8_t* data, size_t size, DWORD mask);
// An .ico file's image of `iconSize` pixels (0 or none of that size: the largest), PNG or
// DIB (1 to 32 bits, the AND mask making pixels transparent), under the same bounds.
std::unique_ptr<KuImageInfo> KuDecodeIcon(const uint8_t* data, size_t size, int iconSize);

class KuLoadResource {
 public:
  static constexpr size_t kMaxFileImages = 1000;

  static KuLoadResource& Instance();

  void SetResourceInstance(HINSTANCE instance);
  HINSTANCE GetResourceInstance() const;
  void SetResourcePath(const std::wstring& path);
  std::wstring GetResourcePath() const;

  // A resource image by id and type ("PNG"; the content decides the format), decoded once
  // and cached by id. Null when it is missing or cannot be decoded (nothing is cached).
  KuImageInfo* LoadImageW(UINT resourceId, DWORD mask, const std::wstring& resourceType);
  // A file image by name: the name itself when such a file exists, otherwise the resource
  // path joined with it. Cached by name; a hit moves the name to the end of the recency
  // list; a miss with 1000 names cached first drops the oldest.
  KuImageInfo* LoadImageW(const std::wstring& fileName, DWORD mask, bool encrypt);

  // An icon (resource type ICON, or an .ico file) as an image, cached like the others under
  // the id or the name: the fallback of descriptors with icon='true'.
  KuImageInfo* LoadIconImage(UINT resourceId, int iconSize);
  KuImageInfo* LoadIconImage(const std::wstring& fileName, int iconSize);

  // False when the id or name is already cached (the cached image stays) or there is no image.
  bool AddImageInfo(UINT resourceId, std::unique_ptr<KuImageInfo> image);
  bool AddImageInfo(const std::wstring& fileName, std::unique_ptr<KuImageInfo> image);
  void RemoveImage(UINT resourceId);
  void RemoveImage(const std::wstring& fileName);
  void ClearRCResource();
  void ClearFileResource();

  // LoadStringW of the resource instance, at most 511 characters.
  std::wstring LoadStr(UINT id);

  // How many images were decoded so far (each cache miss that decoded).
  size_t DecodeCount() const;
  size_t FileImageCount() const;

 private:
  KuLoadResource() = default;
  std::wstring FilePath(const std::wstring& fileName) const;
  KuImageInfo* InsertFileImage(const std::wstring& fileName, std::unique_ptr<KuImageInfo> image);

  mutable std::mutex mutex_;
  HINSTANCE instance_ = nullptr;
  std::wstring resourcePath_;
  std::map<UINT, std::unique_ptr<KuImageInfo>> resourceImages_;
  struct FileImage {
    std::unique_ptr<KuImageInfo> image;
    std::list<std::wstring>::iterator recency;
  };
  std::unordered_map<std::wstring, FileImage> fileImages_;
  std::list<std::wstring> recency_;  // oldest first
  size_t decodes_ = 0;
};

}  // namespace KUM
