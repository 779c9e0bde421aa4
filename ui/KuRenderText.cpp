// The text routines of KuRenderUtils: they take their fonts from the window's paint manager.
#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

// The system's GUI font, for drawing without a manager; made once and kept.
const Font* DefaultFont() {
  static const Font* font = rundix::CreateDefaultGuiFont().release();
  return font;
}

const Font* FontOf(KuPaintManager* manager, const std::wstring& fontId) {
  if (manager) {
    KuFontInfo* info = manager->GetFont(fontId);
    if (info && info->font) return info->font.get();
  }
  return DefaultFont();
}

// Markup tags left out: what remains is the text.
std::wstring PlainText(const std::wstring& html) {
  std::wstring out;
  out.reserve(html.size());
  bool inTag = false;
  for (wchar_t c : html) {
    if (c == L'<') {
      inTag = true;
    } else if (c == L'>' && inTag) {
      inTag = false;
    } else if (!inTag) {
      out += c;
    }
  }
  return out;
}

}  // namespace

void KuRenderUtils::DrawTextW(Canvas& hdc, KuPaintManager* manager, const RECT& rect,
                              const std::wstring& text, ARGB colour, const std::wstring& fontId,
                              UINT style, int rowHeight, bool layered) {
  if ((colour >> 24) == 0 || text.empty() || KuIsRectEmpty(rect)) return;
  const Font* font = FontOf(manager, fontId);
  if (!font) return;
  // A layered window's canvas is itself layered (its manager says so before painting), so its
  // text takes the blending path there; nothing to switch here.
  RECT r = rect;
  if (style & DT_WORDBREAK) {
    DrawMultLineText(hdc, *font, r, style & ~DT_WORDBREAK, rowHeight, text, colour);
  } else {
    hdc.DrawTextW(*font, text, &r, style, colour);
  }
}

void KuRenderUtils::DrawHtmlText(Canvas& hdc, KuPaintManager* manager, const RECT& rect,
                                 const std::wstring& text, ARGB colour,
                                 const std::wstring& fontId, UINT style) {
  DrawTextW(hdc, manager, rect, PlainText(text), colour, fontId, style, 0,
            manager ? manager->IsLayered() : false);
}

RECT KuRenderUtils::GetTextSize(KuPaintManager* manager, const std::wstring& text,
                                const std::wstring& fontId, UINT style) {
  RECT r{0, 0, 9999, 9999};
  const Font* font = FontOf(manager, fontId);
  if (!font || text.empty()) return RECT{0, 0, 0, 0};
  std::unique_ptr<Canvas> own;
  Canvas* canvas = nullptr;
  if (manager) {
    canvas = &manager->GetPaintDC();
  } else {
    own = rundix::CreateMeasureCanvas();
    canvas = own.get();
  }
  if (!canvas) return RECT{0, 0, 0, 0};
  canvas->DrawTextW(*font, text, &r, style | DT_CALCRECT, 0xFF000000);
  return RECT{0, 0, KuWidth(r), KuHeight(r)};
}

}  // namespace KUM
