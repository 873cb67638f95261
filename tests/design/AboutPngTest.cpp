// tabrix about --png: a PNG of the dialog in its frame, the same bytes every run, and the
// same as the picture in the README.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::Slurp;

uint32_t Be32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(b.at(at + i));
  return v;
}

TEST(AboutPng, DrawsTheBoxInItsFrameAsTheReadmeShowsIt) {
  const std::string path = std::string(TABRIX_TEST_SCRATCH) + "/about-test.png";
  const std::string command = std::string(TABRIX_CLIENT) + " about --png " + path;
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string png = Slurp(path);
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(Be32(png, 16), 332u + 6);       // the client area and a 3-pixel frame
  EXPECT_EQ(Be32(png, 20), 250u + 6 + 18);  // and the title bar
  EXPECT_EQ(png[24], 8);                    // bits per channel
  EXPECT_EQ(png[25], 2);                    // RGB

  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Slurp(path), png);
  EXPECT_EQ(Slurp(TABRIX_ABOUT_PICTURE), png) << "docs/about.png is out of date";

  EXPECT_NE(
      std::system(
          (std::string(TABRIX_CLIENT) + " about --png /nonexistent/x.png 2>/dev/null").c_str()),
      0);
}

}  // namespace
