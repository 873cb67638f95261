// What the .xls reader's helper program sends its parent down a pipe: a status, the date
// system, then each sheet (its name, its dimension, its cells, a status). Numbers are in the
// machine's own order: both ends are built together.
//
//   status:  int32 (FREEXL_OK, a FreeXL error, kEncrypted, or kReason then text)
//   text:    uint32 length, then the UTF-8 bytes
//   cell:    uint8 kind, uint32 row, uint16 column, then a double (kNumber, kBoolean) or text
//   sheet:   text name, uint32 rows, uint16 columns, cells..., uint8 kEndOfSheet, status
#pragma once

#include <cstdint>

namespace tabrix::formats::xls {

// Statuses of our own beside FreeXL's (which are 0 and negative).
constexpr int32_t kEncrypted = 1;
constexpr int32_t kReason = 2;  // followed by the reason as text ("damaged: ...")

enum : uint8_t { kEndOfSheet = 0, kNumber = 1, kText = 2, kDate = 3, kBoolean = 4, kError = 5 };

// The helper's file name, installed beside the driver's library.
constexpr const char* kHelperName = "tabrixodbc-xls";

}  // namespace tabrix::formats::xls
