// Text measuring on Linux, with FreeType (FreeTypeFonts.h says which fonts and why).
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_WINFONTS_H

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>

#include "platform/framework/FreeTypeFonts.h"
#include "platform/text/CodePage1252.h"

namespace platform {
namespace freetype {
namespace {

constexpr const char* kSansSerifFile = "/usr/share/wine/fonts/sserife.fon";

// Windows takes Arial's line height from its device-metrics table, which the substitute lacks;
// these are the heights it reports at the pixel sizes our forms use.
int32_t ArialLineHeight(int32_t pixels) {
  switch (pixels) {
    case 11:
      return 14;
    case 13:
      return 16;
    case 19:
      return 22;
    default:
      return 0;
  }
}

struct Face {
  FT_Face face = nullptr;
  bool bitmapFont = false;  // a Windows .fon face: byte codes through its own charmap
  bool arial = false;
  int32_t pixels = 0;
};

class Fonts {
 public:
  Fonts() {
    if (FT_Init_FreeType(&library_)) throw std::runtime_error("FreeType cannot start");
    // Version 35 hints as the host's rasteriser did; later versions keep advances unhinted.
    FT_UInt version = TT_INTERPRETER_VERSION_35;
    FT_Property_Set(library_, "truetype", "interpreter-version", &version);
  }
  ~Fonts() {
    for (auto& [key, face] : faces_) FT_Done_Face(face.face);
    FT_Done_FreeType(library_);
    if (config_) FcConfigDestroy(config_);
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  const Face& Get(const TFont& font) {
    const int32_t pixels = font.Height < 0 ? -font.Height : font.Height;
    const bool bold = font.Style & (1u << fsBold);
    auto key = std::make_tuple(font.Name, pixels, bold);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second;
    Face face = font.Name == "MS Sans Serif" ? OpenSansSerif(font.Height)
                                             : OpenScalable(font.Name, pixels, bold);
    face.arial = font.Name == "Arial";
    return faces_.emplace(key, face).first->second;
  }

 private:
  // The face whose character height (cell less internal leading) is the one asked for, or
  // whose cell height is, for a positive height.
  Face OpenSansSerif(int32_t height) {
    for (FT_Long index = 0;; ++index) {
      FT_Face face;
      if (FT_New_Face(library_, kSansSerifFile, index, &face)) break;
      FT_WinFNT_HeaderRec header;
      if (face->num_fixed_sizes > 0 && FT_Get_WinFNT_Header(face, &header) == 0) {
        const int32_t wanted = height < 0 ? -height + header.internal_leading : height;
        if (header.pixel_height == wanted && face->num_charmaps > 0) {
          FT_Select_Size(face, 0);
          FT_Set_Charmap(face, face->charmaps[0]);
          return Face{face, true, false, header.pixel_height};
        }
      }
      FT_Done_Face(face);
    }
    throw std::runtime_error("no MS Sans Serif face of height " + std::to_string(height) + " in " +
                             kSansSerifFile);
  }

  Face OpenScalable(const std::string& name, int32_t pixels, bool bold) {
    // A configuration of our own, released with the fonts, rather than fontconfig's global one.
    if (!config_) config_ = FcInitLoadConfigAndFonts();
    if (!config_) throw std::runtime_error("fontconfig cannot start");
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(),
                                                                    FcPatternDestroy);
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config_, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result;
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(
        FcFontMatch(config_, pattern.get(), &result), FcPatternDestroy);
    FcChar8* file = nullptr;
    int index = 0;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
      throw std::runtime_error("no font file for " + name);
    FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);
    FT_Face face;
    if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &face))
      throw std::runtime_error(std::string("cannot open ") + reinterpret_cast<const char*>(file));
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
    return Face{face, false, false, pixels};
  }

  FT_Library library_ = nullptr;
  FcConfig* config_ = nullptr;
  std::map<std::tuple<std::string, int32_t, bool>, Face> faces_;
};

Fonts& TheFonts() {
  static Fonts fonts;
  return fonts;
}

// A bitmap face is indexed by the byte itself; an outline face by the byte's character.
FT_ULong CharCode(const Face& face, unsigned char byte) {
  return face.bitmapFont ? byte : text::FromCp1252(byte);
}

}  // namespace

FontMetrics Metrics(const TFont& font) {
  const Face& face = TheFonts().Get(font);
  FontMetrics m;
  if (face.bitmapFont) {
    FT_WinFNT_HeaderRec header;
    FT_Get_WinFNT_Header(face.face, &header);
    m.ascent = header.ascent;
    m.lineHeight = header.pixel_height;
    return m;
  }
  const FT_Size_Metrics& size = face.face->size->metrics;
  m.ascent = static_cast<int32_t>(size.ascender >> 6);
  m.lineHeight = static_cast<int32_t>((size.ascender - size.descender) >> 6);
  if (face.arial && ArialLineHeight(face.pixels)) m.lineHeight = ArialLineHeight(face.pixels);
  return m;
}

int32_t Layout(const TFont& font, std::string_view text,
               const std::function<void(int32_t penX, const GlyphBitmap&)>& draw) {
  const Face& face = TheFonts().Get(font);
  FT_Int32 flags = FT_LOAD_TARGET_MONO;
  if (draw) flags |= FT_LOAD_RENDER | FT_LOAD_MONOCHROME;
  int32_t pen = 0;
  for (unsigned char byte : text) {
    if (FT_Load_Char(face.face, CharCode(face, byte), flags)) continue;
    const FT_GlyphSlot glyph = face.face->glyph;
    if (draw) {
      const FT_Bitmap& b = glyph->bitmap;
      draw(pen, GlyphBitmap{glyph->bitmap_left, glyph->bitmap_top, static_cast<int32_t>(b.width),
                            static_cast<int32_t>(b.rows), b.pitch, b.buffer});
    }
    pen += static_cast<int32_t>(glyph->advance.x >> 6);
  }
  return pen;
}

}  // namespace freetype

namespace {

class FreeTypeMeasurer : public TextMeasurer {
 public:
  TSize TextExtent(const TFont& font, std::string_view text) override {
    return {freetype::Layout(font, text), freetype::Metrics(font).lineHeight};
  }
};

}  // namespace

TextMeasurer& DefaultTextMeasurer() {
  static FreeTypeMeasurer measurer;
  return measurer;
}

}  // namespace platform
