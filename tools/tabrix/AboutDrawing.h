// The client's drawing module (tabrix-about.so): the about box's form, FreeType, fontconfig
// and libpng, loaded only by the verbs that draw or measure text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {
// Draws the about box to the PNG file `png`: 0 when it did, else 1 with the reason in `error`.
int TabrixDrawAbout(const char* png, char* error, size_t errorSize);
// The extent of `text` in a font, as the framework's TextExtent measures it: 0 when it could,
// else 1 with the reason in `error`.
int TabrixMeasureText(const char* fontName, int32_t height, uint32_t style, int32_t charset,
                      const char* text, size_t length, int32_t* cx, int32_t* cy, char* error,
                      size_t errorSize);
}
using DrawAboutFunction = decltype(TabrixDrawAbout);
using MeasureTextFunction = decltype(TabrixMeasureText);

namespace tabrix::cli {
// The loaded module, or null with the reason in `why`.
void* DrawingModule(std::string& why);
}  // namespace tabrix::cli
