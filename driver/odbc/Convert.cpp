// The C-type conversions of result values, by the ODBC rules: texts cut with 01004 and their
// full length; numbers out of range 22003; fractions cut 01S07; text that is no number 22018.
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "odbc/Statement.h"

namespace tabrix::odbc {

std::string FromWide(const SQLWCHAR* text, SQLLEN length) {
  std::string out;
  if (!text) return out;
  if (length == SQL_NTS) {
    length = 0;
    while (text[length]) ++length;
  }
  if (length < 0) return out;
  out.reserve(static_cast<size_t>(length));
  for (SQLLEN i = 0; i < length; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void AppendWide(std::string& out, std::string_view s) {
  auto put = [&out](uint32_t unit) {
    SQLWCHAR w = static_cast<SQLWCHAR>(unit);
    out.append(reinterpret_cast<const char*>(&w), sizeof w);
  };
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    uint32_t c;
    size_t n;
    if (b < 0x80) {
      c = b, n = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, n = 4;
    } else {
      put(0xFFFD);
      ++i;
      continue;
    }
    if (i + n > s.size()) {
      put(0xFFFD);
      break;
    }
    bool valid = true;
    for (size_t k = 1; k < n; ++k) {
      unsigned char cont = static_cast<unsigned char>(s[i + k]);
      if ((cont & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (cont & 0x3F);
    }
    if (!valid) {
      put(0xFFFD);
      ++i;
      continue;
    }
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
}

bool PutString(const std::string& utf8, SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* length,
               bool wide, bool lengthInBytes) {
  if (!wide) {
    if (length) *length = static_cast<SQLLEN>(utf8.size());
    if (!buffer) return false;  // only the length was asked for
    if (bufferLength <= 0) return !utf8.empty();
    size_t n = std::min(utf8.size(), static_cast<size_t>(bufferLength - 1));
    // Cut at a whole character.
    while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, utf8.data(), n);
    static_cast<char*>(buffer)[n] = 0;
    return n < utf8.size();
  }
  std::string units;
  AppendWide(units, utf8);
  const size_t count = units.size() / sizeof(SQLWCHAR);
  if (length) *length = static_cast<SQLLEN>(lengthInBytes ? units.size() : count);
  SQLLEN capacity = lengthInBytes ? bufferLength / static_cast<SQLLEN>(sizeof(SQLWCHAR)) : bufferLength;
  if (!buffer) return false;
  if (capacity <= 0) return count > 0;
  size_t n = std::min(count, static_cast<size_t>(capacity - 1));
  auto* out = static_cast<SQLWCHAR*>(buffer);
  std::memcpy(out, units.data(), n * sizeof(SQLWCHAR));
  if (n > 0 && n < count && out[n - 1] >= 0xD800 && out[n - 1] <= 0xDBFF) --n;  // no half pair
  out[n] = 0;
  return n < count;
}

namespace {

// The value as text, for the character and binary types.
std::string_view AsText(const Value& value, char* buffer) {
  switch (value.type) {
    case sql::ValueType::Integer: {
      auto r = std::to_chars(buffer, buffer + 32, value.integer);
      return std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
    }
    case sql::ValueType::Real:
      return std::string_view(buffer, sql::FormatNumber(value.real, buffer));
    case sql::ValueType::Text:
      return value.text;
    default:
      return {};
  }
}

// The value as a number: false when a text is no number (22018).
bool AsNumber(const Value& value, double& number) {
  switch (value.type) {
    case sql::ValueType::Integer:
      number = static_cast<double>(value.integer);
      return true;
    case sql::ValueType::Real:
      number = value.real;
      return true;
    case sql::ValueType::Text: {
      std::string_view t = value.text;
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
      if (!t.empty() && t.front() == '+') t.remove_prefix(1);
      auto r = std::from_chars(t.data(), t.data() + t.size(), number);
      return r.ec == std::errc() && r.ptr == t.data() + t.size() && !t.empty();
    }
    default:
      return false;
  }
}

// 'YYYY-MM-DD[ HH:MM:SS[.fff]]' or 'HH:MM:SS'.
bool ParseTimestamp(std::string_view t, SQL_TIMESTAMP_STRUCT& ts, bool& hasDate, bool& hasTime) {
  ts = {};
  hasDate = hasTime = false;
  auto digits = [&t](size_t at, size_t n, unsigned& out) {
    if (at + n > t.size()) return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      out = out * 10 + static_cast<unsigned>(t[i] - '0');
    }
    return true;
  };
  unsigned y, m, d, hh = 0, mi = 0, ss = 0;
  size_t at = 0;
  if (t.size() >= 10 && t[4] == '-' && t[7] == '-') {
    if (!digits(0, 4, y) || !digits(5, 2, m) || !digits(8, 2, d)) return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    ts.year = static_cast<SQLSMALLINT>(y);
    ts.month = static_cast<SQLUSMALLINT>(m);
    ts.day = static_cast<SQLUSMALLINT>(d);
    hasDate = true;
    at = 10;
    if (at == t.size()) return true;
    if (t[at] != ' ' && t[at] != 'T') return false;
    ++at;
  }
  if (!digits(at, 2, hh) || at + 2 >= t.size() || t[at + 2] != ':' || !digits(at + 3, 2, mi)) {
    return false;
  }
  at += 5;
  if (at < t.size() && t[at] == ':') {
    if (!digits(at + 1, 2, ss)) return false;
    at += 3;
  }
  if (hh > 23 || mi > 59 || ss > 61) return false;
  ts.hour = static_cast<SQLUSMALLINT>(hh);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(ss);
  hasTime = true;
  if (at < t.size() && t[at] == '.') {
    SQLUINTEGER fraction = 0, scale = 1000000000;
    for (++at; at < t.size() && t[at] >= '0' && t[at] <= '9'; ++at) {
      scale /= 10;
      fraction += static_cast<SQLUINTEGER>(t[at] - '0') * scale;
      if (scale == 1) break;
    }
    ts.fraction = fraction;
  }
  return at >= t.size() || (at + 1 == t.size() && t[at] == 'Z');
}

template <typename T>
SQLRETURN PutInteger(double number, SQLPOINTER target, SQLLEN* indicator, Handle& handle,
                     SQLLEN row, SQLUSMALLINT column) {
  double whole = std::trunc(number);
  if (std::isnan(number) || whole < static_cast<double>(std::numeric_limits<T>::min()) ||
      whole > static_cast<double>(std::numeric_limits<T>::max())) {
    handle.Error("22003", "[Tabrix] the value of column " + std::to_string(column) +
                              " is out of the range of the C type asked for");
    handle.diags.back().row = row;
    handle.diags.back().column = column;
    return SQL_ERROR;
  }
  if (target) {
    T v = static_cast<T>(whole);
    std::memcpy(target, &v, sizeof v);
  }
  if (indicator) *indicator = sizeof(T);
  if (whole != number) {
    handle.Warn("01S07", "[Tabrix] the fraction of column " + std::to_string(column) + " was cut");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

SQLRETURN PutInt64(const Value& value, bool isSigned, SQLPOINTER target, SQLLEN* indicator,
                   Handle& handle, SQLLEN row, SQLUSMALLINT column) {
  // Integers keep all 64 bits; others go through a double.
  if (value.type == sql::ValueType::Integer) {
    if (!isSigned && value.integer < 0) {
      handle.Error("22003", "[Tabrix] the value of column " + std::to_string(column) +
                                " is out of the range of the C type asked for");
      return SQL_ERROR;
    }
    if (target) std::memcpy(target, &value.integer, sizeof value.integer);
    if (indicator) *indicator = sizeof(int64_t);
    return SQL_SUCCESS;
  }
  double number;
  if (!AsNumber(value, number)) {
    handle.Error("22018", "[Tabrix] the text of column " + std::to_string(column) + " is not a number");
    return SQL_ERROR;
  }
  return isSigned ? PutInteger<int64_t>(number, target, indicator, handle, row, column)
                  : PutInteger<uint64_t>(number, target, indicator, handle, row, column);
}

}  // namespace

SQLRETURN ConvertValue(const Value& value, const ColumnMeta& meta, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator, Stmt* pieces,
                       Handle& handle, SQLLEN row, SQLUSMALLINT column) {
  const bool isPiece = pieces != nullptr;
  if (isPiece && pieces->pieceDone) return SQL_NO_DATA;
  if (value.type == sql::ValueType::Null) {
    if (!indicator) {
      handle.Error("22002", "[Tabrix] column " + std::to_string(column) +
                                " is NULL and no indicator was given to say so");
      return SQL_ERROR;
    }
    *indicator = SQL_NULL_DATA;
    if (isPiece) pieces->pieceDone = true;
    return SQL_SUCCESS;
  }
  if (cType == SQL_C_DEFAULT) cType = DefaultCType(meta.sqlType);
  if (cType == SQL_ARD_TYPE) cType = DefaultCType(meta.sqlType);
  char number[40];

  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY: {
      // The whole value in the form asked; in pieces from where the last piece ended.
      std::string_view whole;
      std::string_view text = AsText(value, number);
      if (value.type == sql::ValueType::Integer && meta.sqlType == SQL_BIT) {
        text = value.integer ? "1" : "0";
      }
      if (cType == SQL_C_WCHAR) {
        if (isPiece && pieces->pieceOffset > 0) {
          whole = pieces->scratch;
        } else {
          // Bound wide columns convert into one buffer per thread: no allocation per value.
          // (Declared here: a thread-local costs a look-up on every pass by its declaration.)
          static thread_local std::string wideText;
          std::string& into = isPiece ? pieces->scratch : wideText;
          into.clear();
          AppendWide(into, text);
          whole = into;
        }
      } else {
        whole = text;
      }
      const size_t offset = isPiece ? pieces->pieceOffset : 0;
      const size_t left = whole.size() - std::min(offset, whole.size());
      const size_t terminator = cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
      if (indicator) *indicator = static_cast<SQLLEN>(left);
      if (bufferLength < 0) {
        handle.Error("HY090", "[Tabrix] the buffer length is negative");
        return SQL_ERROR;
      }
      size_t room = static_cast<size_t>(bufferLength) >= terminator ? static_cast<size_t>(bufferLength) - terminator : 0;
      if (cType == SQL_C_WCHAR) room -= room % sizeof(SQLWCHAR);
      size_t n = std::min(left, room);
      if (cType == SQL_C_WCHAR && n < left && n >= sizeof(SQLWCHAR)) {
        // No half of a surrogate pair at the end of a piece.
        SQLWCHAR last;
        std::memcpy(&last, whole.data() + offset + n - sizeof last, sizeof last);
        if (last >= 0xD800 && last <= 0xDBFF) n -= sizeof last;
      }
      if (cType == SQL_C_CHAR && n < left) {
        // No half of a UTF-8 character either.
        while (n > 0 && (static_cast<unsigned char>(whole[offset + n]) & 0xC0) == 0x80) --n;
      }
      // A buffer too small for the whole character still moves the reading on: a piece that
      // gave nothing would be asked for again and again.
      if (isPiece && n == 0 && left > 0) n = std::min(left, room);
      if (target && bufferLength > 0) {
        std::memcpy(target, whole.data() + offset, n);
        if (terminator && static_cast<size_t>(bufferLength) >= terminator) {
          std::memset(static_cast<char*>(target) + n, 0, terminator);
        }
      }
      if (isPiece) {
        pieces->pieceOffset = offset + n;
        if (n == left) pieces->pieceDone = true;
      }
      if (n < left) {
        handle.Warn("01004", "[Tabrix] the value of column " + std::to_string(column) +
                                 " was cut to the buffer: " + std::to_string(left - n) +
                                 " bytes are left");
        handle.diags.back().row = row;
        handle.diags.back().column = column;
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    }
    default:
      break;
  }
  if (isPiece) pieces->pieceDone = true;

  switch (cType) {
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
      double n;
      if (!AsNumber(value, n)) {
        return handle.Error("22018", "[Tabrix] the text of column " + std::to_string(column) +
                                         " is not a number");
      }
      if (cType == SQL_C_DOUBLE) {
        if (target) std::memcpy(target, &n, sizeof n);
        if (indicator) *indicator = sizeof(double);
      } else {
        if (std::isfinite(n) && std::fabs(n) > std::numeric_limits<float>::max()) {
          return handle.Error("22003", "[Tabrix] the value of column " + std::to_string(column) +
                                           " is out of the range of a float");
        }
        float f = static_cast<float>(n);
        if (target) std::memcpy(target, &f, sizeof f);
        if (indicator) *indicator = sizeof(float);
      }
      return SQL_SUCCESS;
    }
    case SQL_C_SBIGINT:
      return PutInt64(value, true, target, indicator, handle, row, column);
    case SQL_C_UBIGINT:
      return PutInt64(value, false, target, indicator, handle, row, column);
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT: {
      double n;
      if (!AsNumber(value, n)) {
        return handle.Error("22018", "[Tabrix] the text of column " + std::to_string(column) +
                                         " is not a number");
      }
      switch (cType) {
        case SQL_C_LONG: case SQL_C_SLONG:
          return PutInteger<int32_t>(n, target, indicator, handle, row, column);
        case SQL_C_ULONG:
          return PutInteger<uint32_t>(n, target, indicator, handle, row, column);
        case SQL_C_SHORT: case SQL_C_SSHORT:
          return PutInteger<int16_t>(n, target, indicator, handle, row, column);
        case SQL_C_USHORT:
          return PutInteger<uint16_t>(n, target, indicator, handle, row, column);
        case SQL_C_TINYINT: case SQL_C_STINYINT:
          return PutInteger<int8_t>(n, target, indicator, handle, row, column);
        case SQL_C_UTINYINT:
          return PutInteger<uint8_t>(n, target, indicator, handle, row, column);
        default:  // BIT: 0 or 1; a fraction between is cut, anything else is out of range
          if (n < 0 || n >= 2) {
            return handle.Error("22003", "[Tabrix] the value of column " + std::to_string(column) +
                                             " is not 0 or 1");
          }
          return PutInteger<uint8_t>(n, target, indicator, handle, row, column);
      }
    }
    case SQL_C_NUMERIC: {
      double n;
      if (!AsNumber(value, n)) {
        return handle.Error("22018", "[Tabrix] the text of column " + std::to_string(column) +
                                         " is not a number");
      }
      SQL_NUMERIC_STRUCT numeric{};
      numeric.precision = 38;
      numeric.scale = 0;
      numeric.sign = n >= 0 ? 1 : 0;
      double magnitude = std::fabs(n);
      double whole = std::trunc(magnitude);
      if (!std::isfinite(magnitude) || whole >= 3.4e38) {
        return handle.Error("22003", "[Tabrix] the value of column " + std::to_string(column) +
                                         " is out of the range of SQL_NUMERIC_STRUCT");
      }
      // Little-endian, 16 bytes: long division of the whole part by 256.
      for (int i = 0; i < SQL_MAX_NUMERIC_LEN && whole > 0; ++i) {
        double q = std::floor(whole / 256);
        numeric.val[i] = static_cast<SQLCHAR>(whole - q * 256);
        whole = q;
      }
      if (target) std::memcpy(target, &numeric, sizeof numeric);
      if (indicator) *indicator = sizeof numeric;
      if (std::trunc(magnitude) != magnitude) {
        handle.Warn("01S07", "[Tabrix] the fraction of column " + std::to_string(column) + " was cut");
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts;
      bool hasDate, hasTime;
      if (value.type != sql::ValueType::Text || !ParseTimestamp(value.text, ts, hasDate, hasTime)) {
        return handle.Error("22018", "[Tabrix] the value of column " + std::to_string(column) +
                                         " is not a date or a time");
      }
      if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
        if (!hasDate) return handle.Error("22018", "[Tabrix] the value of column " + std::to_string(column) + " is a time, not a date");
        SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
        if (target) std::memcpy(target, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
        if (ts.hour || ts.minute || ts.second || ts.fraction) {
          handle.Warn("01S07", "[Tabrix] the time of day of column " + std::to_string(column) + " was cut");
          return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
      }
      if (cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME) {
        SQL_TIME_STRUCT t{ts.hour, ts.minute, ts.second};
        if (target) std::memcpy(target, &t, sizeof t);
        if (indicator) *indicator = sizeof t;
        if (ts.fraction) {
          handle.Warn("01S07", "[Tabrix] the fraction of a second of column " + std::to_string(column) + " was cut");
          return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
      }
      if (!hasDate) {
        // A time alone is on the current date, as ODBC has it.
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        ts.year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
        ts.month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
        ts.day = static_cast<SQLUSMALLINT>(local.tm_mday);
      }
      if (target) std::memcpy(target, &ts, sizeof ts);
      if (indicator) *indicator = sizeof ts;
      return SQL_SUCCESS;
    }
    default:
      return handle.Error("07006", "[Tabrix] column " + std::to_string(column) +
                                       " cannot be converted to the C type " + std::to_string(cType));
  }
}

}  // namespace tabrix::odbc
