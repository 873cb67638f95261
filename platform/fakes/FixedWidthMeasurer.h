// Text metrics for tests: every byte `charWidth` pixels wide, every line |Height| pixels
// high, sizes a test can work out by hand.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/framework/Graphics.h"

namespace platform {

class FixedWidthMeasurer : public TextMeasurer {
 public:
  explicit FixedWidthMeasurer(int32_t charWidth = 7) : charWidth_(charWidth) {}
  TSize TextExtent(const TFont& font, std::string_view text) override {
    return {charWidth_ * static_cast<int32_t>(text.size()),
            font.Height < 0 ? -font.Height : font.Height};
  }

 private:
  int32_t charWidth_;
};

}  // namespace platform
