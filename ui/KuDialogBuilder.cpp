#include "ui/KuDialogBuilder.h"

#include <tinyxml.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/CodePages.h"
#include "platform/Resources.h"
#include "ui/KuButton.h"
#include "ui/KuContainer.h"
#include "ui/KuEdit.h"
#include "ui/KuLabel.h"
#include "ui/KuLoadResource.h"
#include "ui/KuOption.h"
#include "ui/KuPaintManager.h"
#include "ui/KuProgress.h"

namespace KUM {

std::wstring KuWideFromSkin(const std::string& bytes) {
  return rundix::SystemCodePages().MultiByteToWideChar(936, bytes).value_or(std::wstring());
}

std::string KuSkinFromWide(const std::wstring& text) {
  return rundix::SystemCodePages().WideCharToMultiByte(936, text).value_or(std::string());
}

namespace {

// Up to `count` decimal numbers separated by single characters: each number after the first
// is read from the character after the one that ended the previous. Missing numbers are 0.
void ReadNumbers(const char* text, LONG* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = 0;
  if (text == nullptr) return;
  const char* p = text;
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (v > 32767) v = 32767;
    if (v < -32767) v = -32767;
    out[i] = end == p ? 0 : static_cast<LONG>(v);
    if (*end == '\0') break;
    p = end + 1;
  }
}

bool IsTrue(const char* value) { return value != nullptr && std::strcmp(value, "true") == 0; }

// The pre-scan below must split the markup exactly where the XML parser does (legacy
// encoding): text it skipped that the parser reads as tags could hide nesting from it.
bool IsXmlSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The parser takes every byte from 127 up as a letter (multi-byte names).
bool IsNameStart(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 127 || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
}

bool StartsWithNoCase(const std::string& s, size_t at, const char* prefix) {
  for (size_t k = 0; prefix[k] != '\0'; ++k) {
    if (at + k >= s.size()) return false;
    char c = s[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[k]) return false;
  }
  return true;
}

constexpr size_t kNowhere = std::string::npos;

// After "<?xml": the parser reads version, encoding and standalone as attributes (whose quoted
// values may hold '>') and skips any other word; the declaration ends at the next '>'. Gives
// the position after it, or kNowhere where the parser stops reading the document.
size_t SkipDeclaration(const std::string& xml, size_t j) {
  const size_t n = xml.size();
  while (j < n) {
    if (xml[j] == '>') return j + 1;
    while (j < n && IsXmlSpace(xml[j])) ++j;
    if (StartsWithNoCase(xml, j, "version") || StartsWithNoCase(xml, j, "encoding") ||
        StartsWithNoCase(xml, j, "standalone")) {
      while (j < n && IsNameChar(xml[j])) ++j;
      while (j < n && IsXmlSpace(xml[j])) ++j;
      if (j >= n || xml[j] != '=') return kNowhere;
      ++j;
      while (j < n && IsXmlSpace(xml[j])) ++j;
      if (j >= n) return kNowhere;
      if (xml[j] == '"' || xml[j] == '\'') {
        size_t close = xml.find(xml[j], j + 1);
        if (close == kNowhere) return kNowhere;
        j = close + 1;
      } else {
        for (; j < n && !IsXmlSpace(xml[j]) && xml[j] != '/' && xml[j] != '>'; ++j) {
          if (xml[j] == '"' || xml[j] == '\'') return kNowhere;
        }
      }
    } else {
      while (j < n && xml[j] != '>' && !IsXmlSpace(xml[j])) ++j;
    }
  }
  return kNowhere;
}

// The deepest element nesting of the document, found without building anything, so that a
// hostile skin can neither exhaust the stack of the recursive parser nor make its walks up
// to the document (one per node) quadratic.
int MaxElementDepth(const std::string& xml) {
  int depth = 0;
  int deepest = 0;
  size_t i = 0;
  const size_t n = xml.size();
  while (i < n) {
    size_t lt = xml.find('<', i);
    if (lt == kNowhere || lt + 1 >= n) break;
    size_t after = kNowhere;
    if (xml[lt + 1] == '/') {
      if (depth > 0) --depth;
      size_t end = xml.find('>', lt + 2);
      if (end != kNowhere) after = end + 1;
    } else if (StartsWithNoCase(xml, lt, "<?xml")) {
      after = SkipDeclaration(xml, lt + 5);
    } else if (xml.compare(lt, 4, "<!--") == 0) {
      size_t end = xml.find("-->", lt + 4);
      if (end != kNowhere) after = end + 3;
    } else if (xml.compare(lt, 9, "<![CDATA[") == 0) {
      size_t end = xml.find("]]>", lt + 9);
      if (end != kNowhere) after = end + 3;
    } else if (IsNameStart(xml[lt + 1])) {
      // An element's tag: quoted attribute values may hold '>'.
      char quote = 0;
      size_t j = lt + 1;
      for (; j < n; ++j) {
        char c = xml[j];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (j < n) {
        if (xml[j - 1] != '/') {
          ++depth;
          if (depth > deepest) deepest = depth;
        }
        after = j + 1;
      }
    } else {
      // "<!DOCTYPE", other "<!" and "<?", or '<' before no name: read to the first '>'.
      size_t end = xml.find('>', lt + 1);
      if (end != kNowhere) after = end + 1;
    }
    if (after == kNowhere) break;
    i = after;
  }
  return deepest;
}

}  // namespace

KuDialogBuilder::KuDialogBuilder() = default;
KuDialogBuilder::~KuDialogBuilder() = default;

KuControl* KuDialogBuilder::CreateLibraryControl(const std::string& name, bool* known) {
  *known = true;
  if (name == "Control") return new KuControl();
  if (name == "Container") return new KuContainer();
  if (name == "VerticalLayout") return new KuVerticalLayout();
  if (name == "HorizontalLayout") return new KuHorizontalLayout();
  if (name == "Label") return new KuLabel();
  if (name == "Button") return new KuButton();
  if (name == "Option") return new KuOption();
  if (name == "Edit") return new KuEdit();
  if (name == "Progress") return new KuProgress();
  // Library classes this program does not build: their elements are left out.
  static const char* const kUnbuilt[] = {"Menu",     "MenuElement", "RichEdit", "Slide",
                                         "Split",    "TabCtrl",     "TabItem",  "ActiveX",
                                         "Combo",    "ComboElement", "Picture", "WebBrowser",
                                         "Advert",   "GridLayout",  "DrawWnd"};
  for (const char* unbuilt : kUnbuilt) {
    if (name == unbuilt) return nullptr;
  }
  *known = false;
  return nullptr;
}

KuControl* KuDialogBuilder::Create(const std::wstring& source, const char* window, UINT kind,
                                   const std::wstring& resourceType,
                                   IDialogBuilderCallback* callback, KuPaintManager* manager) {
  callback_ = callback;
  error_.clear();
  std::string bytes;
  switch (kind) {
    case UISKIN_TEXT:
      bytes = KuSkinFromWide(source);
      break;
    case UISKIN_FILE: {
      std::ifstream in(std::filesystem::path(source), std::ios::binary);
      if (!in) {
        error_ = "cannot read the skin file";
        return nullptr;
      }
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      break;
    }
    case UISKIN_RESOURCE: {
      UINT id = static_cast<UINT>(KuControl::ParseInt(source));
      auto data = rundix::FindResourceBytes(KuLoadResource::Instance().GetResourceInstance(),
                                            resourceType, id);
      if (!data || data->data == nullptr) {
        error_ = "the skin resource is missing";
        return nullptr;
      }
      bytes.assign(reinterpret_cast<const char*>(data->data), data->size);
      break;
    }
    default:
      error_ = "unknown skin source kind";
      return nullptr;
  }
  return CreateFromBytes(bytes, window, callback, manager);
}

KuControl* KuDialogBuilder::CreateFromBytes(const std::string& bytes, const char* window,
                                            IDialogBuilderCallback* callback,
                                            KuPaintManager* manager) {
  callback_ = callback;
  error_.clear();
  if (MaxElementDepth(bytes) > kMaxSkinDepth + 2) {
    error_ = "elements nested deeper than " + std::to_string(kMaxSkinDepth);
    return nullptr;
  }
  document_ = std::make_unique<TiXmlDocument>();
  // The skin is GBK: the parser keeps the bytes as they are and values are converted later.
  document_->Parse(bytes.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  if (document_->Error()) {
    error_ = "line " + std::to_string(document_->ErrorRow()) + ": " + document_->ErrorDesc();
    return nullptr;
  }
  return Build(window, manager);
}

KuControl* KuDialogBuilder::Build(const char* window, KuPaintManager* manager) {
  TiXmlElement* first = document_->FirstChildElement();
  if (first == nullptr) {
    error_ = "the document has no element";
    return nullptr;
  }
  TiXmlElement* section = first;
  if (window != nullptr && std::strcmp(first->Value(), "Root") == 0) {
    section = nullptr;
    for (TiXmlElement* e = first->FirstChildElement("Window"); e != nullptr;
         e = e->NextSiblingElement("Window")) {
      const char* name = e->Attribute("name");
      if (name != nullptr && std::strcmp(name, window) == 0) {
        section = e;
        break;
      }
    }
    if (section == nullptr) {
      error_ = std::string("no Window named \"") + window + "\"";
      return nullptr;
    }
  }
  KuControl* root = ParseWnd(section, manager);
  if (root == nullptr && error_.empty()) error_ = "the section holds no control";
  return root;
}

KuControl* KuDialogBuilder::ParseWnd(TiXmlElement* section, KuPaintManager* manager) {
  if (manager != nullptr && std::strcmp(section->Value(), "Window") == 0) {
    for (TiXmlElement* e = section->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
      const char* kind = e->Value();
      if (std::strcmp(kind, "Font") == 0) {
        const char* face = e->Attribute("name");
        if (face == nullptr) continue;
        const char* id = e->Attribute("font");
        int size = 12;
        if (e->Attribute("size") != nullptr) {
          LONG n[1];
          ReadNumbers(e->Attribute("size"), n, 1);
          size = static_cast<int>(n[0]);
        }
        KuFontInfo* font = manager->AddFont(KuWideFromSkin(id ? id : ""), KuWideFromSkin(face), size,
                                            IsTrue(e->Attribute("bold")), IsTrue(e->Attribute("underline")),
                                            IsTrue(e->Attribute("italic")), IsTrue(e->Attribute("strikeout")));
        if (font == nullptr) continue;
        if (IsTrue(e->Attribute("default"))) manager->SetDefaultFont(font);
        if (IsTrue(e->Attribute("defaultbold"))) manager->SetDefaultBoldFont(font);
        if (IsTrue(e->Attribute("defaultlink"))) manager->SetDefaultLinkFont(font);
      } else if (std::strcmp(kind, "Default") == 0) {
        const char* name = e->Attribute("name");
        const char* value = e->Attribute("value");
        if (name != nullptr && value != nullptr) {
          manager->AddDefaultAttributeList(KuWideFromSkin(name), KuWideFromSkin(value));
        }
      }
      // Image elements are read but register nothing: images load on first use.
    }
    if (manager->GetPaintWindow() != nullptr) {
      for (TiXmlAttribute* a = section->FirstAttribute(); a != nullptr; a = a->Next()) {
        const char* name = a->Name();
        const char* value = a->Value();
        LONG n[5];
        if (std::strcmp(name, "size") == 0) {
          ReadNumbers(value, n, 2);
          manager->SetInitSize(n[0], n[1]);
        } else if (std::strcmp(name, "caption") == 0) {
          ReadNumbers(value, n, 4);
          manager->SetCaptionRect(RECT{n[0], n[1], n[2], n[3]});
        } else if (std::strcmp(name, "roundcorner") == 0) {
          ReadNumbers(value, n, 2);
          manager->SetRoundCorner(n[0], n[1]);
        } else if (std::strcmp(name, "roundcornerimage") == 0) {
          manager->SetRoundCornerImage(KuWideFromSkin(value));
        } else if (std::strcmp(name, "sizebox") == 0) {
          ReadNumbers(value, n, 5);
          manager->SetSizeBox(RECT{n[0], n[1], n[2], n[3]});
          manager->SetSizeBoxRounder(n[4] < 0 ? 0 : static_cast<UINT>(n[4]));
        } else if (std::strcmp(name, "mininfo") == 0) {
          ReadNumbers(value, n, 2);
          manager->SetMinWindow(n[0], n[1]);
        } else if (std::strcmp(name, "maxinfo") == 0) {
          ReadNumbers(value, n, 2);
          manager->SetMaxWindow(n[0], n[1]);
        } else if (std::strcmp(name, "layeredwindow") == 0) {
          manager->SetLayeredWindow(IsTrue(value));
        } else if (std::strcmp(name, "layeredwindowalpha") == 0) {
          ReadNumbers(value, n, 1);
          manager->SetLayeredWindowAlpha(static_cast<int>(n[0]));
        } else if (std::strcmp(name, "focus") == 0) {
          if (IsTrue(value)) manager->SetWindowFocus(true);
        } else if (std::strcmp(name, "usedefaultfocusborder") == 0) {
          if (IsTrue(value)) manager->SetUseDefaultFocusBorder(true);
        } else if (std::strcmp(name, "controlspaceretrun") == 0) {
          manager->SetControlSpaceReturn(IsTrue(value));
        }
      }
    }
  }
  return Parse(section, nullptr, manager, 1);
}

KuControl* KuDialogBuilder::Parse(TiXmlElement* element, KuControl* parent, KuPaintManager* manager,
                                  int depth) {
  if (depth > kMaxSkinDepth) return nullptr;
  KuControl* first = nullptr;
  KuContainer* container = nullptr;
  bool containerLooked = false;
  for (TiXmlElement* node = element->FirstChildElement(); node != nullptr;
       node = node->NextSiblingElement()) {
    const std::string name = node->Value();
    if (name == "Image" || name == "Font" || name == "Default") continue;
    // A window has one root control; further control elements at the top are not built.
    if (parent == nullptr && first != nullptr) break;

    bool known = false;
    KuControl* control = CreateLibraryControl(name, &known);
    if (!known && callback_ != nullptr) control = callback_->CreateControl(KuWideFromSkin(name));
    if (control == nullptr) continue;

    if (parent != nullptr) {
      if (!containerLooked) {
        container = static_cast<KuContainer*>(parent->GetInterface(UICLASS_CONTAINER));
        containerLooked = true;
      }
      if (container == nullptr) {
        delete control;
        return first;
      }
      if (!container->Add(control)) {
        delete control;
        continue;
      }
    }
    if (manager != nullptr) {
      control->SetManager(manager);
      std::wstring defaults = manager->GetDefaultAttributeList(KuWideFromSkin(name));
      if (!defaults.empty()) control->ApplyAttributeList(defaults);
    }
    for (TiXmlAttribute* a = node->FirstAttribute(); a != nullptr; a = a->Next()) {
      control->SetAttribute(KuWideFromSkin(a->Name()), KuWideFromSkin(a->Value()));
    }
    if (node->FirstChildElement() != nullptr) Parse(node, control, manager, depth + 1);
    if (first == nullptr) first = control;
  }
  return first;
}

}  // namespace KUM
