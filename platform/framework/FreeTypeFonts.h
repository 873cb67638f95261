// The Linux text backend's fonts, also for drawing: FreeType with full hinting and the
// monochrome target, so widths come out as the host's own text measuring gives them.
// "Arial" resolves through fontconfig (to its metric-compatible substitute); "MS Sans Serif"
// to the Windows-metric bitmap font shipped with Wine's fonts.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/framework/Graphics.h"

namespace platform::freetype {

// A glyph's monochrome bitmap: rows of `pitch` bytes, the leftmost pixel in the top bit.
struct GlyphBitmap {
  int32_t left = 0;  // from the pen position to the bitmap's left edge
  int32_t top = 0;   // from the baseline up to the bitmap's top row
  int32_t width = 0;
  int32_t rows = 0;
  int32_t pitch = 0;
  const uint8_t* bits = nullptr;
};

struct FontMetrics {
  int32_t ascent = 0;      // baseline below the line's top
  int32_t lineHeight = 0;  // as the host reports it for the font
};

// Raises std::runtime_error when no font file serves `font`.
FontMetrics Metrics(const TFont& font);

// Width of `text` in `font`: the hinted advances, summed, without kerning. With `draw`, each
// glyph's bitmap is handed over with the pen position it starts at.
int32_t Layout(const TFont& font, std::string_view text,
               const std::function<void(int32_t penX, const GlyphBitmap&)>& draw = {});

}  // namespace platform::freetype
