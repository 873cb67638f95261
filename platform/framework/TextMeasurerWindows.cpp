#include <stdexcept>

#include "platform/WindowsApi.h"
#include "platform/framework/GdiFont.h"
#include "platform/framework/Graphics.h"

namespace platform {
namespace {

// GDI measures as the host framework's own labels do: a screen DC with the font selected.
class GdiMeasurer : public TextMeasurer {
 public:
  TSize TextExtent(const TFont& font, std::string_view text) override {
    HDC dc = GetDC(nullptr);
    if (!dc) throw std::runtime_error("no screen device context");
    HFONT handle = CreateGdiFont(font);
    HGDIOBJ old = SelectObject(dc, handle);
    SIZE size{};
    TEXTMETRICA metrics{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    DeleteObject(handle);
    ReleaseDC(nullptr, dc);
    return {size.cx, metrics.tmHeight};
  }
};

}  // namespace

TextMeasurer& DefaultTextMeasurer() {
  static GdiMeasurer measurer;
  return measurer;
}

}  // namespace platform
