#include "platform/framework/Graphics.h"

namespace platform {

template <>
TextMeasurer* TextMeasurerSeam::override_ = nullptr;

uint32_t ColorToRGB(TColor color) {
  if ((static_cast<uint32_t>(color) & 0xFF000000u) != 0x80000000u) {
    const auto c = static_cast<uint32_t>(color);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
  switch (color & 0xFF) {
    case 0x05:  // window
      return 0xFFFFFF;
    case 0x0F:  // button face
      return 0xD4D0C8;
    case 0x10:  // button shadow
      return 0x808080;
    case 0x14:  // button highlight
      return 0xFFFFFF;
    default:  // window text and the rest
      return 0x000000;
  }
}

TSize TextExtent(const TFont& font, std::string_view text) {
  return TextMeasurerSeam::Current().TextExtent(font, text);
}

}  // namespace platform
