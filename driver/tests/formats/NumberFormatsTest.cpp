#include "driver/formats/NumberFormats.h"

#include <gtest/gtest.h>

namespace tabrix::formats {
namespace {

TEST(NumberFormats, BuiltInDatesAndTimes) {
  for (uint32_t id = 0; id < 200; ++id) {
    const bool date = (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
                      (id >= 50 && id <= 58);
    EXPECT_EQ(IsDateFormatId(id), date) << id;
  }
}

TEST(NumberFormats, CustomCodes) {
  for (const char* date :
       {"yyyy-mm-dd", "dd/mm/yyyy hh:mm:ss", "h:mm AM/PM", "[h]:mm", "[mm]:ss", "[ss]",
        "[$-409]mmmm d, yyyy", "[Red]dd-mm", "\"Day \"d", "mmm", "D", "YY"})
    EXPECT_TRUE(IsDateFormatCode(date)) << date;
  for (const char* number :
       {"0.00", "General", "#,##0", "0 \"days\"", "[Red]0.0", "[<=99]0;0.0", "0\\d", "0_m", "0*s",
        "@", "0.00E+00", "[$$-409]#,##0.00", "\"yyyy", "[h"})
    EXPECT_FALSE(IsDateFormatCode(number)) << number;
}

}  // namespace
}  // namespace tabrix::formats
