// The reader behind DbfTable: the header and its field descriptors (DbfDescriptors.cpp), the
// records' values (DbfValues.cpp), and the file and its memo (Dbf.cpp).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/formats/Dbf.h"
#include "driver/formats/DbfMemo.h"
#include "driver/formats/DbfText.h"

namespace tabrix::formats::dbf {

inline uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline int64_t Le64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return static_cast<int64_t>(v);
}
inline double LeDouble(const unsigned char* p) {
  const uint64_t bits = static_cast<uint64_t>(Le64(p));
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// "0x3F": a byte as the messages show it.
std::string Hex(unsigned v);

inline bool VisualFoxPro(uint8_t v) { return v == 0x30 || v == 0x31 || v == 0x32; }

// One field's value in one record, with what a message about it names.
struct Slot {
  const DbfField& field;
  const unsigned char* record;
  const unsigned char* value;  // record + field.offset
  std::string_view bytes;      // the field's bytes
  uint64_t number;             // the record's number, counted from 1
};

class Table final : public DbfTable {
 public:
  Table(int fd, std::string path);
  ~Table() override;

  const std::vector<DbfField>& Fields() const override { return fields_; }
  uint8_t Version() const override { return version_; }
  const std::string& CodePage() const override { return codePage_; }
  uint32_t RecordCount() const override { return count_; }

  bool NeedsMemo() const;
  // The memo file's extensions, the likelier first.
  std::vector<std::string> MemoExtensions() const;
  std::string ExpectedMemo() const;
  void AttachMemo(int fd, const std::string& memoPath);

  void Read(CellSink& sink) override;

 private:
  void ReadHeader();
  void ReadDescriptors(const std::vector<unsigned char>& header);
  DbfField ReadDescriptor(const unsigned char* d, uint32_t& offset, int& bits);
  void CheckType(DbfField& field, const unsigned char* d, const std::string& named) const;
  void CheckNullFlags(int bits, bool hasNullFlags, uint32_t nullFlagsLength);

  // false: the sink asked to stop.
  bool Decode(const unsigned char* record, uint32_t row, uint64_t number, CellSink& sink);
  // Each puts the slot's value into `cell`; false for no value (NULL, blank).
  bool ValueOf(const Slot& slot, Cell& cell);
  bool CharacterValue(const Slot& slot, Cell& cell);
  bool VaryingValue(const Slot& slot, Cell& cell);
  bool NumericValue(const Slot& slot, Cell& cell) const;
  bool DateValue(const Slot& slot, Cell& cell) const;
  bool DateTimeValue(const Slot& slot, Cell& cell) const;
  bool LogicalValue(const Slot& slot, Cell& cell) const;
  bool MemoValue(const Slot& slot, Cell& cell);
  // Text cells: the bytes as they are for a binary field, else decoded into scratch_.
  void TextValue(std::string_view bytes, bool binary, Cell& cell);

  bool Bit(const unsigned char* record, int bit) const {
    return bit >= 0 && (record[nullFlagsOffset_ + bit / 8] >> (bit % 8) & 1) != 0;
  }
  [[noreturn]] void Fail(uint64_t number, const DbfField& field, const std::string& what) const {
    throw FormatError(path_ + ": record " + std::to_string(number) + ", field " + field.name +
                      ": " + what);
  }
  // The memo a field points at into memoBytes_; false for none.
  bool ReadMemo(const unsigned char* value, const DbfField& field, uint64_t number);

  int fd_;
  std::string path_;
  uint64_t size_ = 0;
  uint8_t version_ = 0;
  uint32_t count_ = 0;
  uint32_t readable_ = 0;  // the records the file holds of those counted
  std::string warning_;
  uint32_t headerLength_ = 0;
  uint32_t recordLength_ = 0;
  std::string codePage_;
  std::unique_ptr<DbfText> text_;
  std::vector<DbfField> fields_;
  uint32_t nullFlagsOffset_ = 0;
  std::unique_ptr<DbfMemo> memo_;
  std::string scratch_, memoBytes_;
};

}  // namespace tabrix::formats::dbf
