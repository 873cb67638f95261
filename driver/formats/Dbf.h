// A dBase or FoxPro table (.dbf, with its memo file, .dbt or .fpt, beside it), read from the
// published layout: the header and its field descriptors, then fixed-length records, each
// streamed as cells of a row (deleted records left out).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {

struct DbfField {
  std::string name;     // UTF-8, as the descriptor spells it
  char type = 'C';      // C N F D L M, and FoxPro's I B Y T V Q G P
  uint32_t offset = 0;  // in the record; byte 0 is the deletion mark
  uint32_t length = 0;
  uint8_t decimals = 0;
  bool binary = false;    // bytes, not text: G P Q, and fields flagged binary
  bool nullable = false;  // FoxPro: a bit of _NullFlags says the value is NULL
  int nullBit = -1;       // that bit, or -1
  int lengthBit = -1;     // V and Q: the bit that says the last byte holds the value's length
};

// The kind a field's values come as.
enum class DbfKind : uint8_t { Number, Integer, Currency, Date, DateTime, Boolean, Text, Binary };
DbfKind KindOf(const DbfField& field);

class DbfTable {
 public:
  // Opens the table at `path` read-only (never blocking: anything but a regular file is
  // refused unopened) and reads its header; the memo file beside it is opened when a field
  // needs it (missing: an error naming it). Throws FormatError naming the file.
  static std::unique_ptr<DbfTable> Open(const std::string& path);
  // The same from open descriptors (taken, and closed): `memo` is -1 for none.
  static std::unique_ptr<DbfTable> Open(int fd, const std::string& path, int memo,
                                        const std::string& memoPath);
  virtual ~DbfTable() = default;

  // The fields, in the record's order; the system field _NullFlags is not among them.
  virtual const std::vector<DbfField>& Fields() const = 0;
  virtual uint8_t Version() const = 0;
  // The iconv name of the code page the header marks (byte 29); empty: no mark.
  virtual const std::string& CodePage() const = 0;
  // The records the header counts, deleted ones included.
  virtual uint32_t RecordCount() const = 0;
  // Streams the values of every record not deleted: row = its index among them, column = its
  // field's index in Fields(). NULLs are not sent; dates come as serials of the 1900 system,
  // binary values (KindOf: Binary) as Text cells of their bytes. Throws FormatError naming
  // the record and the field.
  virtual void Read(CellSink& sink) = 0;
};

}  // namespace tabrix::formats
