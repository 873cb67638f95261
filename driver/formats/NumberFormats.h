// Which number formats show a number as a date or a time.
#pragma once

#include <cstdint>
#include <string_view>

namespace tabrix::formats {

// The built-in formats that are dates or times: 14 to 22, 27 to 36, 45 to 47, 50 to 58 (the
// last two groups are the East Asian locales' date formats).
bool IsDateFormatId(uint32_t id);

// A custom format code with a day, month, year, hour or second part outside quoted text,
// escapes and bracketed colours or conditions ("yyyy-mm-dd", "h:mm AM/PM", "[h]:mm"); "0.00",
// "#,##0 \"days\"" and "[Red]0" are not.
bool IsDateFormatCode(std::string_view code);

}  // namespace tabrix::formats
