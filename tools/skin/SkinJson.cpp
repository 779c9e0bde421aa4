#include "tools/skin/SkinJson.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "platform/WindowSystem.h"
#include "ui/KuContainer.h"
#include "ui/KuEdit.h"
#include "ui/KuImageString.h"
#include "ui/KuLabel.h"
#include "ui/KuOption.h"
#include "ui/KuProgress.h"
#include "ui/KuScrollbar.h"

namespace rundix::skin {

using KUM::KuContainer;
using KUM::KuControl;
using KUM::KuPaintManager;
using KUM::KuScrollbar;

JsonLines::JsonLines(std::ostream& out) : out_(out) {
  builder_["indentation"] = "";
  builder_["emitUTF8"] = true;
}

void JsonLines::Write(const Json::Value& value) {
  std::string line = Json::writeString(builder_, value);
  std::lock_guard<std::mutex> lock(mutex_);
  out_ << line << '\n';
  out_.flush();
}

void JsonLines::Error(const std::string& message) {
  Json::Value v;
  v["error"] = message;
  Write(v);
}

namespace {

Json::Value Utf8(const std::wstring& text) { return Json::Value(Utf8FromWide(text)); }

Json::Value RectJson(const RECT& r) {
  Json::Value v(Json::arrayValue);
  v.append(static_cast<int>(r.left));
  v.append(static_cast<int>(r.top));
  v.append(static_cast<int>(r.right));
  v.append(static_cast<int>(r.bottom));
  return v;
}

Json::Value SizeJson(const SIZE& s) {
  Json::Value v(Json::arrayValue);
  v.append(static_cast<int>(s.cx));
  v.append(static_cast<int>(s.cy));
  return v;
}

KuContainer* AsContainer(KuControl* control) {
  return control != nullptr ? static_cast<KuContainer*>(control->GetInterface(KUM::UICLASS_CONTAINER)) : nullptr;
}

// Names of bit sets: text style (DrawText bits) and float format.
Json::Value Bits(UINT value, const std::vector<std::pair<UINT, const char*>>& names) {
  Json::Value v;
  v["value"] = value;
  v["bits"] = Json::Value(Json::arrayValue);
  for (const auto& [bit, name] : names) {
    if (value & bit) v["bits"].append(name);
  }
  return v;
}

const std::vector<std::pair<UINT, const char*>> kTextStyleBits = {
    {0x01, "center"},     {0x02, "right"},       {0x04, "vcenter"},      {0x08, "bottom"},
    {0x10, "wordbreak"},  {0x20, "singleline"},  {0x800, "noprefix"},    {0x4000, "pathellipsis"},
    {0x8000, "endellipsis"}};
const std::vector<std::pair<UINT, const char*>> kFormatBits = {
    {KUM::UIFORMAT_TOP, "top"},         {KUM::UIFORMAT_RIGHT, "right"},
    {KUM::UIFORMAT_BOTTOM, "bottom"},   {KUM::UIFORMAT_TOPMOST, "topmost"},
    {KUM::UIFORMAT_CENTER, "center"},   {KUM::UIFORMAT_VCENTER, "vcen"}};

// Switch names of the notify and dispatch attributes, by switch number.
const std::vector<std::pair<int, const char*>> kNotifyNames = {
    {3, "click"},      {4, "mouseenter"},  {5, "mousehover"},  {6, "mouseleave"},
    {8, "setfocus"},   {9, "killfocus"},   {10, "lbuttondown"}, {11, "lbuttonup"},
    {12, "rbuttondown"}, {13, "contextmenu"}};
const std::vector<std::pair<int, const char*>> kDispatchNames = {
    {1, "keydown"},      {2, "keyup"},       {3, "char"},          {4, "syskeydown"},
    {5, "mousemove"},    {6, "mouseleave"},  {7, "mouseenter"},    {8, "mousehover"},
    {9, "mousewheel"},   {10, "lbuttondown"}, {11, "lbuttonup"},   {12, "rbuttondown"},
    {13, "lbuttondblclk"}, {14, "contextmenu"}, {15, "killfocus"}, {16, "setfocus"},
    {17, "setcursor"},   {18, "timer"},      {19, "activate"}};

// An image descriptor as written and as the library reads it.
Json::Value ImageJson(const std::wstring& descriptor) {
  Json::Value v;
  v["descriptor"] = Utf8(descriptor);
  if (descriptor.empty()) return v;
  KUM::KuImageString image(descriptor);
  Json::Value p(Json::objectValue);
  if (!image.name.empty()) p["name"] = Utf8(image.name);
  if (!image.res.empty()) p["res"] = Utf8(image.res);
  if (!image.restype.empty()) p["restype"] = Utf8(image.restype);
  if (!image.file.empty()) p["file"] = Utf8(image.file);
  if (image.hasDest) p["dest"] = RectJson(image.dest);
  if (image.hasSource) p["source"] = RectJson(image.source);
  const RECT& c = image.corner;
  if (c.left || c.top || c.right || c.bottom) p["corner"] = RectJson(c);
  if (!image.layout.empty()) p["layout"] = Utf8(image.layout);
  if (image.hasMask) p["mask"] = ColourText(image.mask);
  if (image.fade != 255) p["fade"] = image.fade;
  if (image.hole) p["hole"] = true;
  if (image.alphaClose) p["alphaClose"] = true;
  if (image.icon) p["icon"] = true;
  if (image.iconSize != 0) p["iconsize"] = image.iconSize;
  if (image.hasRound) p["round"] = SizeJson(image.round);
  if (image.reverse) p["reverse"] = true;
  if (image.rotate != 0) p["rotate"] = image.rotate;
  if (!image.rgnImage.empty()) p["rgnimage"] = Utf8(image.rgnImage);
  if (image.encrypt) p["encrypt"] = true;
  v["parsed"] = p;
  return v;
}

Json::Value ScrollJson(KuScrollbar* bar, bool withFields) {
  Json::Value v;
  v["exists"] = bar != nullptr;
  if (bar == nullptr) return v;
  v["visible"] = bar->IsVisible();
  v["enabled"] = bar->IsEnabled();
  v["range"] = bar->GetScrollRange();
  v["pos"] = bar->GetScrollPos();
  v["rect"] = RectJson(bar->GetPos());
  v["thumb"] = RectJson(bar->GetThumbRect());
  v["button1"] = RectJson(bar->GetButton1Rect());
  v["button2"] = RectJson(bar->GetButton2Rect());
  v["hot"] = (bar->GetMouseState() & KUM::UISTATE_HOT) != 0;
  if (withFields) v["fields"] = FieldsJson(*bar);
  return v;
}

void AppendTree(KuControl* control, KuControl* root, bool withFields, Json::Value& out) {
  Json::Value c;
  c["ref"] = RefOf(control, root);
  c["class"] = Utf8(control->ClassName());
  c["rect"] = RectJson(control->GetPos());
  c["visible"] = control->IsVisible();
  c["enabled"] = control->IsEnabled();
  c["focused"] = control->IsFocused();
  const UINT state = control->GetMouseState();
  c["hot"] = (state & KUM::UISTATE_HOT) != 0;
  c["pushed"] = (state & KUM::UISTATE_PUSHED) != 0;
  c["captured"] = (state & KUM::UISTATE_CAPTURED) != 0;
  if (auto* option = static_cast<KUM::KuOption*>(control->GetInterface(KUM::UICLASS_OPTION))) {
    c["selected"] = option->IsSelected();
  }
  c["text"] = Utf8(control->GetText());
  KuContainer* container = AsContainer(control);
  if (container != nullptr) {
    c["scroll"] = ScrollJson(container->GetVerticalScrollbar(), withFields);
    if (container->GetHorizontalScrollbar() != nullptr) {
      c["hscroll"] = ScrollJson(container->GetHorizontalScrollbar(), withFields);
    }
  }
  if (withFields) c["fields"] = FieldsJson(*control);
  out.append(c);
  if (container != nullptr) {
    for (int i = 0; i < container->GetCount(); ++i) {
      if (KuControl* child = container->GetItemAt(i)) AppendTree(child, root, withFields, out);
    }
  }
}

}  // namespace

std::string ColourText(ARGB colour) {
  char text[16];
  std::snprintf(text, sizeof text, "#%08X", static_cast<unsigned>(colour));
  return text;
}

Json::Value RefOf(KuControl* control, KuControl* root) {
  if (control == nullptr) return Json::Value(Json::nullValue);
  if (auto* bar = static_cast<KuScrollbar*>(control->GetInterface(KUM::UICLASS_SCROLLBAR))) {
    KuContainer* owner = bar->GetOwner();
    if (owner != nullptr) {
      Json::Value v;
      v["scrollbar"] = owner->GetHorizontalScrollbar() == bar ? "horizontal" : "vertical";
      v["owner"] = RefOf(owner, root);
      return v;
    }
  }
  Json::Value v;
  std::vector<int> path;
  KuControl* at = control;
  bool inTree = root != nullptr;
  while (inTree && at != root) {
    KuContainer* parent = AsContainer(at->GetParent());
    const int index = parent != nullptr ? parent->GetItemIndex(at) : -1;
    if (index < 0) {
      inTree = false;
      break;
    }
    path.insert(path.begin(), index);
    at = parent;
  }
  if (inTree) {
    v["path"] = Json::Value(Json::arrayValue);
    for (int index : path) v["path"].append(index);
  } else {
    v["path"] = Json::Value(Json::nullValue);
  }
  v["name"] = Utf8(control->GetName());
  return v;
}

Json::Value WindowJson(KuPaintManager& manager) {
  Json::Value w;
  w["size"] = SizeJson(manager.GetInitSize());
  w["caption"] = RectJson(manager.GetCaptionRect());
  w["roundcorner"] = SizeJson(manager.GetRoundCorner());
  w["roundcornerimage"] = Utf8(manager.GetRoundCornerImage());
  Json::Value sizebox = RectJson(manager.GetSizeBox());
  sizebox.append(manager.GetSizeBoxRounder());
  w["sizebox"] = sizebox;
  w["mininfo"] = SizeJson(manager.GetMinInfo());
  w["maxinfo"] = SizeJson(manager.GetMaxInfo());
  w["layered"] = manager.IsLayered();
  w["alpha"] = manager.GetLayeredWindowAlpha();
  w["focus"] = manager.IsWindowFocus();
  w["usedefaultfocusborder"] = manager.IsUseDefaultFocusBorder();
  w["controlspacereturn"] = manager.IsControlSpaceReturn();
  Json::Value fonts(Json::arrayValue);
  for (const auto& [id, info] : manager.Fonts()) {
    Json::Value f;
    f["id"] = Utf8(id);
    f["name"] = Utf8(info->faceName);
    f["size"] = info->size;
    f["bold"] = info->bold;
    f["underline"] = info->underline;
    f["italic"] = info->italic;
    f["strikeout"] = info->strikeout;
    f["default"] = manager.GetDefaultFont() == info.get();
    f["defaultbold"] = manager.GetDefaultBoldFont() == info.get();
    f["defaultlink"] = manager.GetDefaultLinkFont() == info.get();
    fonts.append(f);
  }
  w["fonts"] = fonts;
  Json::Value defaults(Json::objectValue);
  for (const auto& [name, list] : manager.DefaultAttributeLists()) {
    defaults[Utf8FromWide(name)] = Utf8(list);
  }
  w["defaults"] = defaults;
  RECT client{0, 0, 0, 0};
  if (manager.GetPaintWindow() != nullptr) WindowSystem().GetClientRect(manager.GetPaintWindow(), &client);
  w["client"] = SizeJson(SIZE{client.right - client.left, client.bottom - client.top});
  return w;
}

Json::Value TreeJson(KuPaintManager& manager, bool withFields) {
  Json::Value tree(Json::arrayValue);
  if (KuControl* root = manager.GetRoot()) AppendTree(root, root, withFields, tree);
  return tree;
}

Json::Value ManagerJson(KuPaintManager& manager) {
  KuControl* root = manager.GetRoot();
  Json::Value m;
  m["focus"] = RefOf(manager.GetFocus(), root);
  m["hover"] = RefOf(manager.GetHover(), root);
  m["click"] = RefOf(manager.GetClick(), root);
  m["cursor"] = Utf8(manager.LastCursor());
  Json::Value groups(Json::objectValue);
  for (const auto& entry : manager.Groups()) {
    groups[std::to_string(entry.first)] = RefOf(manager.GetGroupSelected(entry.first), root);
  }
  m["groups"] = groups;
  return m;
}

Json::Value FieldsJson(KuControl& c) {
  Json::Value f;
  f["classid"] = c.GetClass();
  f["interfaces"] = Json::Value(Json::arrayValue);
  for (UINT id : c.InterfaceIds()) f["interfaces"].append(id);
  f["name"] = Utf8(c.GetName());
  f["id"] = c.GetID();
  f["text"] = Utf8(c.GetText());
  f["tooltip"] = Utf8(c.GetTooltip());
  f["userdata"] = Utf8(c.GetUserData());
  f["tag"] = static_cast<Json::UInt64>(c.GetTag());
  f["shortcut"] = c.GetShortcut() != 0 ? Utf8(std::wstring(1, c.GetShortcut())) : Json::Value("");
  f["padding"] = RectJson(c.GetPadding());
  f["pos"] = SizeJson(c.GetFixedXY());
  f["width"] = c.GetFixedWidth();
  f["height"] = c.GetFixedHeight();
  f["minwidth"] = c.GetMinWidth();
  f["maxwidth"] = c.GetMaxWidth();
  f["minheight"] = c.GetMinHeight();
  f["maxheight"] = c.GetMaxHeight();
  f["cut"] = RectJson(c.GetCut());
  f["hovercut"] = RectJson(c.GetHoverCut());
  f["insetvisible"] = c.IsInsetVisible();
  f["float"] = c.IsFloat();
  f["absfloat"] = c.IsAbsFloat();
  f["relfloat"] = c.IsRelFloat();
  f["selfadaption"] = c.IsSelfAdaption();
  f["caption"] = c.IsCaption();
  f["capture"] = c.IsCapture();
  f["spacereturn"] = c.IsSpaceReturn();
  f["htmltext"] = c.IsHtmlText();
  f["customtooltip"] = c.IsCustomTooltip();
  f["hasbeenhover"] = c.IsHasBeenHover();
  f["tooltipdelaytime"] = c.GetTooltipDelayTime();
  f["normalbkcolor"] = ColourText(c.GetNormalBkColor());
  f["hotbkcolor"] = ColourText(c.GetHotBkColor());
  f["pushedbkcolor"] = ColourText(c.GetPushedBkColor());
  f["selectedbkcolor"] = ColourText(c.GetSelectedBkColor());
  f["focusedbkcolor"] = ColourText(c.GetFocusedBkColor());
  f["disabledbkcolor"] = ColourText(c.GetDisabledBkColor());
  f["statuscolor"] = ColourText(c.GetStatusColor());
  f["normaltextcolor"] = ColourText(c.GetNormalTextColor());
  f["hottextcolor"] = ColourText(c.GetHotTextColor());
  f["pushedtextcolor"] = ColourText(c.GetPushedTextColor());
  f["selectedtextcolor"] = ColourText(c.GetSelectedTextColor());
  f["disabledtextcolor"] = ColourText(c.GetDisabledTextColor());
  f["normalbordercolor"] = ColourText(c.GetNormalBorderColor());
  f["hotbordercolor"] = ColourText(c.GetHotBorderColor());
  f["selectedbordercolor"] = ColourText(c.GetSelectedBorderColor());
  f["focusbordercolor"] = ColourText(c.GetFocusBorderColor());
  f["normalbordersize"] = c.GetNormalBorderSize();
  f["hotbordersize"] = c.GetHotBorderSize();
  f["selectedbordersize"] = c.GetSelectedBorderSize();
  f["focusbordersize"] = c.GetFocusBorderSize();
  f["roundcorner"] = SizeJson(c.GetRoundCorner());
  f["normalfont"] = Utf8(c.GetNormalFont());
  f["hotfont"] = Utf8(c.GetHotFont());
  f["pushedfont"] = Utf8(c.GetPushedFont());
  f["selectedfont"] = Utf8(c.GetSelectedFont());
  f["disabledfont"] = Utf8(c.GetDisabledFont());
  f["normaltextpadding"] = RectJson(c.GetNormalTextPadding());
  f["hottextpadding"] = RectJson(c.GetHotTextPadding());
  f["pushedtextpadding"] = RectJson(c.GetPushedTextPadding());
  f["selectedtextpadding"] = RectJson(c.GetSelectedTextPadding());
  f["disabledtextpadding"] = RectJson(c.GetDisabledTextPadding());
  f["normalimage"] = ImageJson(c.GetNormalImage());
  f["hotimage"] = ImageJson(c.GetHotImage());
  f["pushedimage"] = ImageJson(c.GetPushedImage());
  f["focusedimage"] = ImageJson(c.GetFocusedImage());
  f["disabledimage"] = ImageJson(c.GetDisabledImage());
  f["selectedimage"] = ImageJson(c.GetSelectedImage());
  f["bknormalimage"] = ImageJson(c.GetBkNormalImage());
  f["bkhotimage"] = ImageJson(c.GetBkHotImage());
  f["bkpushedimage"] = ImageJson(c.GetBkPushedImage());
  f["bkfocusedimage"] = ImageJson(c.GetBkFocusedImage());
  f["bkdisabledimage"] = ImageJson(c.GetBkDisabledImage());
  f["bkselectedimage"] = ImageJson(c.GetBkSelectedImage());
  f["textstyle"] = Bits(c.GetTextStyle(), kTextStyleBits);
  f["rowheight"] = c.GetRowHeight();
  f["format"] = Bits(c.GetFloatFormat(), kFormatBits);
  Json::Value flags;
  flags["setcursor"] = c.GetControlFlags(KUM::UIFLAG_SETCURSOR);
  flags["enterrolltext"] = c.GetControlFlags(KUM::UIFLAG_ENTERROLLTEXT);
  flags["tabstop"] = c.GetControlFlags(KUM::UIFLAG_TABSTOP);
  flags["focusable"] = c.GetControlFlags(KUM::UIFLAG_FOCUSABLE);
  f["flags"] = flags;
  f["notify"] = Json::Value(Json::arrayValue);
  for (const auto& [n, name] : kNotifyNames) {
    if (c.GetControlNotify(n)) f["notify"].append(name);
  }
  f["dispatch"] = Json::Value(Json::arrayValue);
  for (const auto& [n, name] : kDispatchNames) {
    if (c.GetControlDispatch(n)) f["dispatch"].append(name);
  }
  if (KuContainer* container = AsContainer(&c)) {
    f["inset"] = RectJson(container->GetInset());
    f["childpadding"] = container->GetChildPadding();
    const int layout = container->GetLayoutType();
    f["layouttype"] = layout == KUM::UILAYOUT_VERTICAL     ? "vertical"
                      : layout == KUM::UILAYOUT_HORIZONTAL ? "horizontal"
                                                           : "normal";
    f["autodestroy"] = container->IsAutoDestroy();
    f["alwayshowvscroll"] = container->IsAlwaysShowVScroll();
    f["vscrollbar"] = Utf8(container->GetVScrollbarStyle());
    f["hscrollbar"] = Utf8(container->GetHScrollbarStyle());
  }
  if (auto* label = static_cast<KUM::KuLabel*>(c.GetInterface(KUM::UICLASS_LABEL))) {
    f["text_antialias"] = label->IsTextAntialias();
  }
  if (auto* option = static_cast<KUM::KuOption*>(c.GetInterface(KUM::UICLASS_OPTION))) {
    f["group"] = option->GetGroup();
    f["selected"] = option->IsSelected();
  }
  if (auto* edit = static_cast<KUM::KuEdit*>(c.GetInterface(KUM::UICLASS_EDIT))) {
    f["readonly"] = edit->IsReadOnly();
    f["numberonly"] = edit->IsNumberOnly();
    f["multiline"] = edit->IsMultiLine();
    f["password"] = edit->IsPasswordMode();
    f["passwordchar"] = Utf8(std::wstring(1, edit->GetPasswordChar()));
    f["maxchar"] = edit->GetMaxChar();
    f["nativebkcolor"] = ColourText(edit->GetNativeEditBkColor());
  }
  if (auto* progress = static_cast<KUM::KuProgress*>(c.GetInterface(KUM::UICLASS_PROGRESS))) {
    f["min"] = progress->GetMinValue();
    f["max"] = progress->GetMaxValue();
    f["value"] = progress->GetValue();
    f["step"] = progress->GetStep();
    f["foreinset"] = RectJson(progress->GetForeInset());
    f["source"] = progress->IsSourceCrop();
    f["bar"] = RectJson(progress->GetBarRect());
  }
  if (auto* bar = static_cast<KuScrollbar*>(c.GetInterface(KUM::UICLASS_SCROLLBAR))) {
    f["hor"] = bar->IsHorizontal();
    f["linesize"] = bar->GetLineSize();
    f["range"] = bar->GetScrollRange();
    f["value"] = bar->GetScrollPos();
    f["showbutton1"] = bar->GetShowButton1();
    f["showbutton2"] = bar->GetShowButton2();
    f["inset"] = RectJson(bar->GetInset());
    const std::pair<const char*, const std::wstring*> images[] = {
        {"button1normalimage", &bar->button1Normal}, {"button1hotimage", &bar->button1Hot},
        {"button1pushedimage", &bar->button1Pushed}, {"button1disabledimage", &bar->button1Disabled},
        {"button2normalimage", &bar->button2Normal}, {"button2hotimage", &bar->button2Hot},
        {"button2pushedimage", &bar->button2Pushed}, {"button2disabledimage", &bar->button2Disabled},
        {"thumbnormalimage", &bar->thumbNormal},     {"thumbhotimage", &bar->thumbHot},
        {"thumbpushedimage", &bar->thumbPushed},     {"thumbdisabledimage", &bar->thumbDisabled},
        {"railnormalimage", &bar->railNormal},       {"railhotimage", &bar->railHot},
        {"railpushedimage", &bar->railPushed},       {"raildisabledimage", &bar->railDisabled},
        {"bknormalimage", &bar->bkNormal},           {"bkhotimage", &bar->bkHot},
        {"bkpushedimage", &bar->bkPushed},           {"bkdisabledimage", &bar->bkDisabled}};
    for (const auto& [name, image] : images) f[name] = ImageJson(*image);
  }
  return f;
}

std::string HitTestName(long code) {
  static const std::pair<long, const char*> kNames[] = {
      {-2, "HTERROR"},      {-1, "HTTRANSPARENT"}, {0, "HTNOWHERE"},     {1, "HTCLIENT"},
      {2, "HTCAPTION"},     {3, "HTSYSMENU"},      {4, "HTGROWBOX"},     {5, "HTMENU"},
      {6, "HTHSCROLL"},     {7, "HTVSCROLL"},      {8, "HTMINBUTTON"},   {9, "HTMAXBUTTON"},
      {10, "HTLEFT"},       {11, "HTRIGHT"},       {12, "HTTOP"},        {13, "HTTOPLEFT"},
      {14, "HTTOPRIGHT"},   {15, "HTBOTTOM"},      {16, "HTBOTTOMLEFT"}, {17, "HTBOTTOMRIGHT"},
      {18, "HTBORDER"},     {20, "HTCLOSE"},       {21, "HTHELP"}};
  for (const auto& [value, name] : kNames) {
    if (value == code) return name;
  }
  return std::to_string(code);
}

}  // namespace rundix::skin
