// The Linux text backend with the real fonts: the form resource's stored design-time sizes
// come out exactly as the host measured them.
#include <gtest/gtest.h>

#include "design/eOrvaneAbout.h"
#include "platform/framework/Graphics.h"

using namespace platform;

namespace {

TEST(FreeTypeMetrics, ReproduceTheStoredLabelSizesOfTheAboutForm) {
  eOrvaneAbout::TOrvaneAboutForm form(nullptr);
  EXPECT_EQ(TSize(form.lblVersion->GetWidth(), form.lblVersion->GetHeight()), TSize(92, 22));
  EXPECT_EQ(TSize(form.lblAuthor->GetWidth(), form.lblAuthor->GetHeight()), TSize(68, 16));
  EXPECT_EQ(TSize(form.lblComponent->GetWidth(), form.lblComponent->GetHeight()), TSize(3, 13));
  EXPECT_EQ(TSize(form.lblURL->GetWidth(), form.lblURL->GetHeight()), TSize(138, 16));
  EXPECT_EQ(TSize(form.lblCopyRight->GetWidth(), form.lblCopyRight->GetHeight()), TSize(204, 14));
}

TEST(FreeTypeMetrics, MeasureCodePage1252BytesAndAFaceByItsCharacterHeight) {
  const TFont sansSerif;  // MS Sans Serif -11: the 13-pixel face
  EXPECT_EQ(TextExtent(sansSerif, " "), TSize(3, 13));
  EXPECT_EQ(TextExtent(sansSerif, ""), TSize(0, 13));
  // An e with acute accent is one byte and as wide as an e in this face.
  EXPECT_EQ(TextExtent(sansSerif, "\xe9").cx, TextExtent(sansSerif, "e").cx);
  const TFont arial{"Arial", -13};
  EXPECT_GT(TextExtent(arial, "\x80").cx, 0);  // the euro sign, mapped to U+20AC
  EXPECT_THROW(TextExtent(TFont{"MS Sans Serif", -99}, "x"), std::runtime_error);
}

}  // namespace
