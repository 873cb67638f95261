// The Windows text backend, GDI, under Wine. Wine's stand-ins for Arial and MS Sans Serif
// are not Windows' fonts (a Debian prefix resolves both, and any unknown name, to Liberation
// Sans), so the sizes are checked near the form's stored design-time sizes (what Windows
// measured): near enough to tell a label measured at the wrong size or in the wrong style.
#include <gtest/gtest.h>

#include <cstdlib>

#include "design/eOrvaneAbout.h"
#include "platform/framework/Graphics.h"

using namespace platform;

namespace {

void ExpectNear(const TLabel* label, TSize stored) {
  SCOPED_TRACE(label->GetName());
  EXPECT_LE(std::abs(label->GetWidth() - stored.cx), 4);
  EXPECT_LE(std::abs(label->GetHeight() - stored.cy), 2);
}

TEST(GdiMetrics, TheAboutFormsLabelsComeNearTheirStoredSizes) {
  eOrvaneAbout::TOrvaneAboutForm form(nullptr);
  ExpectNear(form.lblVersion, {92, 22});
  ExpectNear(form.lblAuthor, {68, 16});
  ExpectNear(form.lblComponent, {3, 13});
  ExpectNear(form.lblURL, {138, 16});
  ExpectNear(form.lblCopyRight, {204, 14});
}

TEST(GdiMetrics, StyleAndSizeChangeTheExtentAndTextDoesNotChangeTheHeight) {
  const TFont arial{"Arial", -13};
  const TSize plain = TextExtent(arial, "Excel Databases");
  EXPECT_GT(plain.cx, 0);
  EXPECT_EQ(TextExtent(arial, "").cy, plain.cy);
  EXPECT_EQ(TextExtent(arial, "").cx, 0);
  TFont bold = arial;
  bold.Style = 1u << fsBold;
  EXPECT_GT(TextExtent(bold, "Excel Databases").cx, plain.cx);
  EXPECT_GT(TextExtent(TFont{"Arial", -26}, "Excel Databases").cx, plain.cx * 3 / 2);
}

}  // namespace
