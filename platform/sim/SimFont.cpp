#include "platform/sim/SimFont.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "platform/Text.h"

namespace rundix {
namespace {

struct PatternCloser {
  bool operator()(FcPattern* pattern) const {
    FcPatternDestroy(pattern);
    return true;
  }
};
using PatternHandle = UniqueHandle<FcPattern*, PatternCloser>;

// The face Windows' default GUI font names, at its height.
constexpr wchar_t kDefaultGuiFace[] = L"MS Shell Dlg";
constexpr int kDefaultGuiSize = 11;
// The CJK face that stands in for the Chinese UI faces and fills in characters other faces lack.
constexpr char kCjkFace[] = "WenQuanYi Micro Hei";
// Sizes beyond this make no sense on a screen and would only make the glyph caches huge.
constexpr int kMaxFontSize = 2048;

// fontconfig knows neither Chinese name of the Windows UI face; without help it would pick a
// Latin face with no CJK glyphs.
std::string FamilyFor(const std::wstring& face) {
  if (face == L"微软雅黑" || EqualsNoCase(face, L"Microsoft YaHei")) return kCjkFace;
  return Utf8FromWide(face);
}

// The best installed face for the family, weight and slant. The language is Chinese, so a
// family fontconfig does not know falls to a CJK face rather than a Latin one.
PatternHandle MatchFaceUncached(const std::string& family, int size, bool bold, bool italic) {
  PatternHandle pattern(FcPatternCreate(), PatternCloser{});
  if (!pattern) return pattern;
  if (!family.empty()) FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcPatternAddDouble(pattern.get(), FC_PIXEL_SIZE, size);
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  // The match carries what the face lacks as synthetic emboldening or slant.
  return PatternHandle(FcFontMatch(nullptr, pattern.get(), &result), PatternCloser{});
}

// Matching is fontconfig's dearest call, and a skin asks for the same few faces again and
// again. The matches are kept, a bounded number of them (a hostile skin may name thousands),
// the least recently used going first so that a run of new names does not drop the common ones.
PatternHandle MatchFace(const std::string& family, int size, bool bold, bool italic) {
  constexpr size_t kMaxKept = 256;
  using Key = std::tuple<std::string, int, bool, bool>;
  static std::mutex mutex;
  static std::list<std::pair<Key, PatternHandle>> kept;  // most recently used first
  static std::map<Key, std::list<std::pair<Key, PatternHandle>>::iterator> index;
  std::lock_guard<std::mutex> lock(mutex);
  Key key(family, size, bold, italic);
  auto found = index.find(key);
  if (found != index.end()) {
    kept.splice(kept.begin(), kept, found->second);
  } else {
    PatternHandle match = MatchFaceUncached(family, size, bold, italic);
    if (!match) return match;
    if (kept.size() >= kMaxKept) {
      index.erase(kept.back().first);
      kept.pop_back();
    }
    kept.emplace_front(key, std::move(match));
    index.emplace(std::move(key), kept.begin());
  }
  FcPattern* pattern = kept.front().second.get();
  FcPatternReference(pattern);  // patterns are reference counted; each handle holds one
  return PatternHandle(pattern, PatternCloser{});
}

ScaledFontHandle ScaledFontFor(FcPattern* match, int size, bool italic) {
  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(face);
    return ScaledFontHandle();
  }
  cairo_matrix_t fontMatrix, ctm;
  cairo_matrix_init_scale(&fontMatrix, size, size);
  // fontconfig slants a face that has no italic by a matrix in the match (y up); cairo
  // takes it in the font matrix (y down).
  FcMatrix* shape = nullptr;
  if (italic && FcPatternGetMatrix(match, FC_MATRIX, 0, &shape) == FcResultMatch && shape != nullptr) {
    cairo_matrix_init(&fontMatrix, shape->xx * size, -shape->yx * size, -shape->xy * size, shape->yy * size, 0, 0);
  }
  cairo_matrix_init_identity(&ctm);
  cairo_font_options_t* options = cairo_font_options_create();
  // Whole-pixel advances, as GDI lays text out.
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &fontMatrix, &ctm, options);
  cairo_font_options_destroy(options);
  cairo_font_face_destroy(face);  // the scaled font keeps its own reference
  ScaledFontHandle handle(scaled, CairoScaledFontCloser{});
  if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) handle.reset();
  return handle;
}

// The FreeType face of a scaled font, locked for the scope.
class LockedFace {
 public:
  explicit LockedFace(cairo_scaled_font_t* font) : font_(font), face_(cairo_ft_scaled_font_lock_face(font)) {}
  ~LockedFace() {
    if (face_ != nullptr) cairo_ft_scaled_font_unlock_face(font_);
  }
  LockedFace(const LockedFace&) = delete;
  LockedFace& operator=(const LockedFace&) = delete;
  FT_Face get() const { return face_; }

 private:
  cairo_scaled_font_t* font_;
  FT_Face face_;
};

int Advance(cairo_scaled_font_t* font, unsigned long index) {
  cairo_glyph_t glyph{index, 0, 0};
  cairo_text_extents_t extents;
  cairo_scaled_font_glyph_extents(font, &glyph, 1, &extents);
  return static_cast<int>(std::lround(extents.x_advance));
}

}  // namespace

std::unique_ptr<SimFont> SimFont::Create(const FontDesc& desc) {
  std::unique_ptr<SimFont> font(new SimFont());
  font->desc_ = desc;
  const int size = std::clamp(desc.size > 0 ? desc.size : 12, 1, kMaxFontSize);
  PatternHandle match = MatchFace(FamilyFor(desc.face), size, desc.bold, desc.italic);
  if (!match) return nullptr;
  font->primary_ = ScaledFontFor(match.get(), size, desc.italic);
  if (!font->primary_) return nullptr;

  LockedFace face(font->primary_.get());
  FT_Face ft = face.get();
  if (ft == nullptr || ft->units_per_EM == 0) return nullptr;

  // GDI's metrics for a height given as the em size: the Windows ascent and descent of the
  // OS/2 table scaled to it, the line gap beyond them as external leading.
  const double scale = static_cast<double>(size) / ft->units_per_EM;
  auto px = [scale](double units) { return static_cast<LONG>(std::lround(units * scale)); };
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
  double ascent = ft->ascender, descent = -ft->descender;
  if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    descent = os2->usWinDescent;
  }
  FontMetrics& m = font->metrics_;
  m.tmAscent = px(ascent);
  m.tmDescent = px(descent);
  m.tmHeight = m.tmAscent + m.tmDescent;
  m.tmInternalLeading = std::max<LONG>(0, m.tmHeight - size);
  if (hhea != nullptr) {
    double gap = hhea->Line_Gap - ((ascent + descent) - (hhea->Ascender - hhea->Descender));
    m.tmExternalLeading = std::max<LONG>(0, px(gap));
  }
  m.tmMaxCharWidth = px(ft->bbox.xMax - ft->bbox.xMin);
  if (os2 != nullptr && os2->version != 0xFFFF && os2->xAvgCharWidth > 0) m.tmAveCharWidth = px(os2->xAvgCharWidth);

  font->lineThickness_ = std::max(1, static_cast<int>(px(ft->underline_thickness)));
  font->underlineOffset_ = std::max(1, static_cast<int>(px(-ft->underline_position)) - font->lineThickness_ / 2);
  font->strikeoutOffset_ = (os2 != nullptr && os2->version != 0xFFFF && os2->yStrikeoutPosition > 0)
                               ? -static_cast<int>(px(os2->yStrikeoutPosition))
                               : -static_cast<int>(m.tmAscent / 3);

  // A face without Chinese characters borrows them from the CJK face.
  bool hasCjk = FT_Get_Char_Index(ft, 0x4E2D) != 0;
  if (!hasCjk) {
    PatternHandle cjk = MatchFace(kCjkFace, size, desc.bold, desc.italic);
    if (cjk) font->fallback_ = ScaledFontFor(cjk.get(), size, desc.italic);
  }
  if (m.tmAveCharWidth == 0) m.tmAveCharWidth = Advance(font->primary_.get(), FT_Get_Char_Index(ft, 'x'));
  return font;
}

SimGlyph SimFont::Glyph(wchar_t c) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = glyphs_.find(c);
  if (it != glyphs_.end()) return it->second;
  SimGlyph glyph;
  // Control characters (line breaks, tabs) take no room and draw nothing.
  if (static_cast<uint32_t>(c) < 0x20) return glyph;
  {
    LockedFace face(primary_.get());
    if (face.get() != nullptr) glyph.index = FT_Get_Char_Index(face.get(), static_cast<FT_ULong>(c));
  }
  if (glyph.index == 0 && fallback_) {
    LockedFace face(fallback_.get());
    unsigned long index = face.get() != nullptr ? FT_Get_Char_Index(face.get(), static_cast<FT_ULong>(c)) : 0;
    if (index != 0) {
      glyph.index = index;
      glyph.fallback = true;
    }
  }
  glyph.advance = Advance(Scaled(glyph.fallback), glyph.index);
  glyphs_.emplace(c, glyph);
  return glyph;
}

int SimFont::TextWidth(const std::wstring& text) const {
  int width = 0;
  for (wchar_t c : text) width += Glyph(c).advance;
  return width;
}

std::unique_ptr<Font> CreateFontObject(const FontDesc& desc) { return SimFont::Create(desc); }

std::unique_ptr<Font> CreateDefaultGuiFont() {
  FontDesc desc;
  desc.face = kDefaultGuiFace;
  desc.size = kDefaultGuiSize;
  return SimFont::Create(desc);
}

}  // namespace rundix
