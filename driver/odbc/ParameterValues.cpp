// A parameter's value in its C type, checked and given to the engine.
#include <cstdio>
#include <cstring>

#include "odbc/Statement.h"

namespace tabrix::odbc {
namespace {

// Whether `text` is UTF-8 as the standard has it: no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
bool ValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t n;
    uint32_t c;
    if (b >= 0xC2 && b <= 0xDF)
      n = 2, c = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF)
      n = 3, c = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4)
      n = 4, c = b & 0x07;
    else
      return false;
    if (i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const unsigned char cont = static_cast<unsigned char>(text[i + k]);
      if ((cont & 0xC0) != 0x80) return false;
      c = (c << 6) | (cont & 0x3F);
    }
    if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    i += n;
  }
  return true;
}

// Whether UTF-16 text pairs every surrogate.
bool ValidUtf16(const SQLWCHAR* text, size_t units) {
  for (size_t i = 0; i < units; ++i) {
    const uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= units || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// The bytes at `data` as a value of C type T.
template <typename T>
T Read(const char* data) {
  T v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

SQLRETURN BindText(Stmt* stmt, const std::string& which, int index, SQLSMALLINT cType,
                   const char* data, SQLLEN length) {
  size_t n = length == SQL_NTS ? std::strlen(data) : static_cast<size_t>(length);
  const std::string_view text(data, n);
  if (cType == SQL_C_BINARY && !ValidUtf8(text)) {
    stmt->query->BindBlob(index, text);  // bytes that are no text compare as bytes
    return SQL_SUCCESS;
  }
  if (!ValidUtf8(text)) {
    return stmt->Error("22018", which +
                                    "the text is not UTF-8, the encoding this driver "
                                    "reads the ANSI calls in (bind it as SQL_C_WCHAR, "
                                    "or convert it)");
  }
  stmt->query->BindText(index, text);
  return SQL_SUCCESS;
}

SQLRETURN BindWide(Stmt* stmt, const std::string& which, int index, const char* data,
                   SQLLEN length) {
  const auto* wide = reinterpret_cast<const SQLWCHAR*>(data);
  size_t units = 0;
  if (length == SQL_NTS) {
    while (wide[units]) ++units;
  } else if (length % static_cast<SQLLEN>(sizeof(SQLWCHAR)) != 0) {
    return stmt->Error("HY090", which + "the length of a SQL_C_WCHAR value is " +
                                    std::to_string(length) +
                                    " bytes, not a whole number of "
                                    "2-byte characters");
  } else {
    units = static_cast<size_t>(length) / sizeof(SQLWCHAR);
  }
  if (!ValidUtf16(wide, units)) {
    return stmt->Error("22018", which + "the text has a UTF-16 surrogate without its pair");
  }
  stmt->query->BindText(index, FromWide(wide, static_cast<SQLLEN>(units)));
  return SQL_SUCCESS;
}

double NumericValue(const SQL_NUMERIC_STRUCT& n) {
  double v = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = v * 256 + n.val[i];
  for (int i = 0; i < n.scale; ++i) v /= 10;
  for (int i = 0; i > n.scale; --i) v *= 10;
  return n.sign ? v : -v;
}

// The numeric C types: false when `cType` is none of them.
bool BindNumber(sql::Query& q, int index, SQLSMALLINT cType, const char* data) {
  switch (cType) {
    case SQL_C_SLONG: case SQL_C_LONG: q.BindInteger(index, Read<int32_t>(data)); return true;
    case SQL_C_ULONG: q.BindInteger(index, Read<uint32_t>(data)); return true;
    case SQL_C_SSHORT: case SQL_C_SHORT: q.BindInteger(index, Read<int16_t>(data)); return true;
    case SQL_C_USHORT: q.BindInteger(index, Read<uint16_t>(data)); return true;
    case SQL_C_STINYINT: case SQL_C_TINYINT: q.BindInteger(index, Read<int8_t>(data)); return true;
    case SQL_C_UTINYINT: case SQL_C_BIT: q.BindInteger(index, Read<uint8_t>(data)); return true;
    case SQL_C_SBIGINT: q.BindInteger(index, Read<int64_t>(data)); return true;
    case SQL_C_UBIGINT: {
      const auto v = Read<uint64_t>(data);
      if (v > static_cast<uint64_t>(INT64_MAX)) q.BindReal(index, static_cast<double>(v));
      else q.BindInteger(index, static_cast<int64_t>(v));
      return true;
    }
    case SQL_C_DOUBLE: q.BindReal(index, Read<double>(data)); return true;
    case SQL_C_FLOAT: q.BindReal(index, Read<float>(data)); return true;
    case SQL_C_NUMERIC: q.BindReal(index, NumericValue(Read<SQL_NUMERIC_STRUCT>(data))); return true;
    default: return false;
  }
}

// The date and time C types, as the engine writes them: false when `cType` is none of them.
bool BindDateTime(sql::Query& q, int index, SQLSMALLINT cType, const char* data) {
  char text[48];
  int n;
  switch (cType) {
    case SQL_C_TYPE_DATE: case SQL_C_DATE: {
      const auto d = Read<SQL_DATE_STRUCT>(data);
      n = std::snprintf(text, sizeof text, "%04d-%02u-%02u 00:00:00", d.year, d.month, d.day);
      break;
    }
    case SQL_C_TYPE_TIME: case SQL_C_TIME: {
      const auto t = Read<SQL_TIME_STRUCT>(data);
      // That time on the day time-only cells are kept on, so that it equals them.
      n = std::snprintf(text, sizeof text, "1899-12-30 %02u:%02u:%02u", t.hour, t.minute, t.second);
      break;
    }
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP: {
      const auto ts = Read<SQL_TIMESTAMP_STRUCT>(data);
      // Milliseconds only when there are some.
      unsigned ms = ts.fraction / 1000000;
      n = ms ? std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%03u", ts.year,
                             ts.month, ts.day, ts.hour, ts.minute, ts.second, ms)
             : std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month,
                             ts.day, ts.hour, ts.minute, ts.second);
      break;
    }
    default:
      return false;
  }
  q.BindText(index, std::string_view(text, static_cast<size_t>(n)));
  return true;
}

}  // namespace

SQLRETURN BindValue(Stmt* stmt, SQLUSMALLINT number, const Binding& b, const char* data,
                    SQLLEN length) {
  sql::Query& q = *stmt->query;
  const int index = number;
  const std::string which = "[Tabrix] parameter " + std::to_string(number) + ": ";
  if (length == SQL_NULL_DATA) {
    q.BindNull(index);
    return SQL_SUCCESS;
  }
  if (!data) {
    return stmt->Error("HY009", which +
                                    "the value's pointer is null and its length indicator "
                                    "is not SQL_NULL_DATA");
  }
  if (length == SQL_DEFAULT_PARAM) {
    return stmt->Error("07S01", which +
                                    "SQL_DEFAULT_PARAM is for the parameters of procedures, "
                                    "and a workbook has none");
  }
  if (length < 0 && length != SQL_NTS) {
    return stmt->Error("HY090", which + "the length or indicator " + std::to_string(length) +
                                    " is none ODBC has (a length of 0 or more, SQL_NTS, "
                                    "SQL_NULL_DATA or data at execution)");
  }
  const SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType) : b.cType;
  if (cType == SQL_C_CHAR || cType == SQL_C_BINARY) return BindText(stmt, which, index, cType, data, length);
  if (cType == SQL_C_WCHAR) return BindWide(stmt, which, index, data, length);
  if (BindNumber(q, index, cType, data) || BindDateTime(q, index, cType, data)) return SQL_SUCCESS;
  return stmt->Error("HYC00", which + "the C type " + std::to_string(cType) + " is not offered");
}

}  // namespace tabrix::odbc
