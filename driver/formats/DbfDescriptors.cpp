// A table's field descriptors: 32 bytes each after the header's first 32, up to the mark 0x0D.
#include <optional>

#include "driver/formats/DbfTableImpl.h"

namespace tabrix::formats::dbf {

void Table::ReadDescriptors(const std::vector<unsigned char>& header) {
  uint32_t offset = 1;  // byte 0: the deletion mark
  int bits = 0;
  bool hasNullFlags = false;
  uint32_t nullFlagsLength = 0;
  for (size_t at = 32;; at += 32) {
    if (at == header.size()) break;  // no end mark, but the header ends where one would be
    if (header[at] == 0x0D) break;
    if (at + 32 > header.size())
      throw FormatError(path_ + ": damaged (its field descriptors run past its header)");
    DbfField field = ReadDescriptor(header.data() + at, offset, bits);
    if (field.type == '0') {  // _NullFlags, a system field
      hasNullFlags = true;
      nullFlagsOffset_ = field.offset;
      nullFlagsLength = field.length;
      continue;
    }
    fields_.push_back(std::move(field));
  }
  if (fields_.empty()) throw FormatError(path_ + ": damaged (a table without fields)");
  CheckNullFlags(bits, hasNullFlags, nullFlagsLength);
}

// The descriptor at `d`: its field placed at `offset` (moved past it); `bits` counts the
// _NullFlags bits taken so far.
DbfField Table::ReadDescriptor(const unsigned char* d, uint32_t& offset, int& bits) {
  const bool vfp = VisualFoxPro(version_);
  DbfField field;
  size_t nameLength = 0;
  while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
  std::string_view raw(reinterpret_cast<const char*>(d), nameLength);
  while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
  text_->Append(raw, field.name);
  field.type = static_cast<char>(d[11]);
  if (field.type >= 'a' && field.type <= 'z') field.type = static_cast<char>(field.type - 32);
  field.length = d[16];
  field.decimals = d[17];
  // Character fields longer than 255 keep the high byte of their length in the decimals.
  if (field.type == 'C' && !vfp) {
    field.length |= static_cast<uint32_t>(d[17]) << 8;
    field.decimals = 0;
  }
  const uint8_t flags = vfp ? d[18] : 0;
  const std::string named = "field " + std::to_string(fields_.size() + 1) +
                            (field.name.empty() ? "" : " (" + field.name + ")");
  if (field.length == 0) throw FormatError(path_ + ": damaged (" + named + " has a length of 0)");
  if (offset + field.length > recordLength_)
    throw FormatError(path_ + ": damaged (" + named + " ends at byte " +
                      std::to_string(offset + field.length) + ", past the record's " +
                      std::to_string(recordLength_) + ")");
  field.offset = offset;
  offset += field.length;
  if (field.type == '0') return field;
  CheckType(field, d, named);
  if ((flags & 0x04) && (field.type == 'C' || field.type == 'M' || field.type == 'V'))
    field.binary = true;
  if (field.type == 'V' || field.type == 'Q') field.lengthBit = bits++;
  if (flags & 0x02) {
    field.nullable = true;
    field.nullBit = bits++;
  }
  return field;
}

// Refuses a type this driver does not read, and a length its type cannot have; marks the
// types that hold bytes.
void Table::CheckType(DbfField& field, const unsigned char* d, const std::string& named) const {
  std::optional<uint32_t> expected;
  switch (field.type) {
    case 'C':
    case 'N':
    case 'F':
    case 'V':
      break;
    case 'Q':
    case 'G':
    case 'P':
    case 'W':
      field.binary = true;
      break;
    case 'D':
    case 'T':
    case 'Y':
      expected = 8;
      break;
    case 'L':
      expected = 1;
      break;
    case 'I':
      expected = 4;
      break;
    case 'M':
      if (field.length != 4 && field.length != 10) expected = 10;
      break;
    case 'B':  // Visual FoxPro's double; dBase IV's binary memo
      if (field.length == 10 || field.length == 4)
        field.binary = true;
      else
        expected = 8;
      break;
    default:
      throw FormatError(
          path_ + ": " + named + " has the type '" +
          (field.type >= 0x20 && field.type < 0x7F ? std::string(1, field.type) : Hex(d[11])) +
          "', which this driver does not read");
  }
  if (expected && field.length != *expected)
    throw FormatError(path_ + ": damaged (" + named + " of type " + field.type + " is " +
                      std::to_string(field.length) + " bytes long, not " +
                      std::to_string(*expected) + ")");
}

void Table::CheckNullFlags(int bits, bool hasNullFlags, uint32_t nullFlagsLength) {
  if (bits == 0 || (hasNullFlags && static_cast<uint64_t>(bits) <= nullFlagsLength * 8ull)) return;
  if (hasNullFlags)
    throw FormatError(path_ + ": damaged (its _NullFlags field holds " +
                      std::to_string(nullFlagsLength * 8) + " bits, its fields need " +
                      std::to_string(bits) + ")");
  // Without the field, nothing is NULL and every V and Q value fills its field.
  for (auto& field : fields_) field.nullBit = field.lengthBit = -1;
}

}  // namespace tabrix::formats::dbf
