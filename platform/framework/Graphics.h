// Fonts, colours and the text-measuring seam that auto-sizing labels use.
//
// TextExtent measures with the platform's default backend (FreeType on Linux, GDI on
// Windows) unless a test has put another in its place with ScopedTextMeasurer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Seam.h"

namespace platform {

// Colours as the host framework numbers them: 0x00BBGGRR, or a system colour (high byte 0x80).
using TColor = int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
// The RGB a colour stands for, system colours as the classic Windows scheme paints them.
uint32_t ColorToRGB(TColor color);

inline constexpr int32_t DEFAULT_CHARSET = 1;

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = uint32_t;  // bit n for TFontStyle n

// Height in the host's convention: negative is the character height in pixels (-11 is 8
// point at 96 pixels per inch), positive the cell height.
struct TFont {
  std::string Name = "MS Sans Serif";
  int32_t Height = -11;
  TColor Color = clWindowText;
  TFontStyles Style = 0;
  int32_t Charset = DEFAULT_CHARSET;
  bool operator==(const TFont&) const = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  bool operator==(const TSize&) const = default;
};

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The width of `text` (bytes in the ANSI code page, 1252) drawn in `font`, and the font's
  // line height. Raises std::runtime_error when the font cannot be found.
  virtual TSize TextExtent(const TFont& font, std::string_view text) = 0;
};

// The platform's own backend, chosen by the build for the target OS (TextMeasurerPosix.cpp,
// TextMeasurerWindows.cpp).
TextMeasurer& DefaultTextMeasurer();

using TextMeasurerSeam = Seam<TextMeasurer, DefaultTextMeasurer>;
template <>
TextMeasurer* TextMeasurerSeam::override_;  // Graphics.cpp

using ScopedTextMeasurer = TextMeasurerSeam::Scoped;

// Measures with the current backend.
TSize TextExtent(const TFont& font, std::string_view text);

}  // namespace platform
