// The GDI font for a TFont, made the one way the Windows backends share: measuring a label
// and showing it must pick the same face.
#pragma once

#include "platform/WindowsApi.h"
#include "platform/framework/Graphics.h"

namespace platform {

// The caller owns the font (DeleteObject); null when GDI cannot make it.
inline HFONT CreateGdiFont(const TFont& font) {
  return CreateFontA(font.Height, 0, 0, 0, (font.Style & (1u << fsBold)) ? FW_BOLD : FW_NORMAL,
                     (font.Style & (1u << fsItalic)) != 0, (font.Style & (1u << fsUnderline)) != 0,
                     (font.Style & (1u << fsStrikeOut)) != 0, static_cast<DWORD>(font.Charset),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                     font.Name.c_str());
}

}  // namespace platform
