// Builds one window's control tree from a section of the skin document: registers the
// section's fonts and default attribute lists with the paint manager, applies the window
// attributes, and creates the controls its elements name. Names the library does not know go
// to the application's callback.
#pragma once

#include <memory>
#include <string>

#include "ui/KuControl.h"

class TiXmlDocument;
class TiXmlElement;

namespace KUM {

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A new control for an element name the library does not know, or null.
  virtual KuControl* CreateControl(const std::wstring& name) = 0;
};

// Where Create reads the skin from.
enum KuSkinSource : UINT {
  UISKIN_TEXT = 1,      // the source is the XML text itself
  UISKIN_FILE = 2,      // the source is a file path
  UISKIN_RESOURCE = 3,  // the source is a resource id of the given type
};

// Elements nested deeper than this are not built: a skin is data, and deep nesting would
// exhaust the stack. Real skins nest fewer than ten; TinyXML's parse time grows with the
// depth times the number of elements, so the bound is kept low.
constexpr int kMaxSkinDepth = 64;

class KuDialogBuilder {
 public:
  KuDialogBuilder();
  ~KuDialogBuilder();
  KuDialogBuilder(const KuDialogBuilder&) = delete;
  KuDialogBuilder& operator=(const KuDialogBuilder&) = delete;

  // `source` is the XML text (kind 1, bytes widened one to one are not expected: pass the
  // text as wide characters), a file path (2) or a resource id written in decimal (3).
  // `window` selects the Window section by name (null: the document's first element).
  KuControl* Create(const std::wstring& source, const char* window, UINT kind,
                    const std::wstring& resourceType, IDialogBuilderCallback* callback,
                    KuPaintManager* manager);
  // The same over skin bytes as stored (GBK).
  KuControl* CreateFromBytes(const std::string& bytes, const char* window,
                             IDialogBuilderCallback* callback, KuPaintManager* manager);

  // Why the last Create gave no root, for tools ("line 12: ..."); empty after success.
  const std::string& GetLastError() const { return error_; }

  // The element name to library class table; null for names the library does not know or
  // does not build.
  static KuControl* CreateLibraryControl(const std::string& name, bool* known);

 private:
  KuControl* Build(const char* window, KuPaintManager* manager);
  KuControl* ParseWnd(TiXmlElement* section, KuPaintManager* manager);
  KuControl* Parse(TiXmlElement* element, KuControl* parent, KuPaintManager* manager, int depth);

  std::unique_ptr<TiXmlDocument> document_;
  IDialogBuilderCallback* callback_ = nullptr;
  std::string error_;
};

// Skin text is GBK (code page 936) on every system, whatever its ANSI code page.
std::wstring KuWideFromSkin(const std::string& bytes);
std::string KuSkinFromWide(const std::wstring& text);

}  // namespace KUM
