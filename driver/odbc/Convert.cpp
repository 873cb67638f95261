// The C-type conversions of result values, by the ODBC rules: texts cut with 01004 and their
// full length; numbers out of range 22003; fractions cut 01S07; text that is no number 22018.
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "odbc/Statement.h"

namespace tabrix::odbc {
namespace {

// Where one value goes: the caller's buffer, and the handle and place its diagnostics name.
struct Destination {
  SQLPOINTER target;
  SQLLEN bufferLength;
  SQLLEN* indicator;
  Handle& handle;
  SQLLEN row;
  SQLUSMALLINT column;

  std::string Column() const { return std::to_string(column); }
  SQLRETURN Fail(const char* state, const std::string& message) const {
    return handle.Error(state, "[Tabrix] " + message);
  }
  SQLRETURN NotANumber() const { return Fail("22018", "the text of column " + Column() + " is not a number"); }
  // 01S07: `what` of the value did not fit the C type.
  SQLRETURN Cut(const std::string& what) const {
    handle.Warn("01S07", "[Tabrix] the " + what + " of column " + Column() + " was cut");
    return SQL_SUCCESS_WITH_INFO;
  }
  template <typename T>
  void Store(const T& v) const {
    if (target) std::memcpy(target, &v, sizeof v);
    if (indicator) *indicator = sizeof v;
  }
};

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
SQLRETURN PutInteger(double number, const Destination& d) {
  double whole = std::trunc(number);
  if (std::isnan(number) || whole < static_cast<double>(std::numeric_limits<T>::min()) ||
      whole > static_cast<double>(std::numeric_limits<T>::max())) {
    d.Fail("22003", "the value of column " + d.Column() + " is out of the range of the C type asked for");
    d.handle.diags.back().row = d.row;
    d.handle.diags.back().column = d.column;
    return SQL_ERROR;
  }
  d.Store(static_cast<T>(whole));
  if (whole != number) return d.Cut("fraction");
  return SQL_SUCCESS;
}

SQLRETURN PutInt64(const Value& value, bool isSigned, const Destination& d) {
  // Integers keep all 64 bits; others go through a double.
  if (value.type == sql::ValueType::Integer) {
    if (!isSigned && value.integer < 0) {
      return d.Fail("22003", "the value of column " + d.Column() +
                                 " is out of the range of the C type asked for");
    }
    d.Store(value.integer);
    return SQL_SUCCESS;
  }
  double number;
  if (!AsNumber(value, number)) return d.NotANumber();
  return isSigned ? PutInteger<int64_t>(number, d) : PutInteger<uint64_t>(number, d);
}

// The integers of 32 bits and fewer, and BIT.
SQLRETURN PutSmallInteger(const Value& value, SQLSMALLINT cType, const Destination& d) {
  double n;
  if (!AsNumber(value, n)) return d.NotANumber();
  switch (cType) {
    case SQL_C_LONG: case SQL_C_SLONG: return PutInteger<int32_t>(n, d);
    case SQL_C_ULONG: return PutInteger<uint32_t>(n, d);
    case SQL_C_SHORT: case SQL_C_SSHORT: return PutInteger<int16_t>(n, d);
    case SQL_C_USHORT: return PutInteger<uint16_t>(n, d);
    case SQL_C_TINYINT: case SQL_C_STINYINT: return PutInteger<int8_t>(n, d);
    case SQL_C_UTINYINT: return PutInteger<uint8_t>(n, d);
    default:  // BIT: 0 or 1; a fraction between is cut, anything else is out of range
      if (n < 0 || n >= 2) return d.Fail("22003", "the value of column " + d.Column() + " is not 0 or 1");
      return PutInteger<uint8_t>(n, d);
  }
}

SQLRETURN PutReal(const Value& value, SQLSMALLINT cType, const Destination& d) {
  double n;
  if (!AsNumber(value, n)) return d.NotANumber();
  if (cType == SQL_C_DOUBLE) {
    d.Store(n);
    return SQL_SUCCESS;
  }
  if (std::isfinite(n) && std::fabs(n) > std::numeric_limits<float>::max()) {
    return d.Fail("22003", "the value of column " + d.Column() + " is out of the range of a float");
  }
  d.Store(static_cast<float>(n));
  return SQL_SUCCESS;
}

SQLRETURN PutNumeric(const Value& value, const Destination& d) {
  double n;
  if (!AsNumber(value, n)) return d.NotANumber();
  SQL_NUMERIC_STRUCT numeric{};
  numeric.precision = 38;
  numeric.scale = 0;
  numeric.sign = n >= 0 ? 1 : 0;
  double magnitude = std::fabs(n);
  double whole = std::trunc(magnitude);
  if (!std::isfinite(magnitude) || whole >= 3.4e38) {
    return d.Fail("22003", "the value of column " + d.Column() +
                               " is out of the range of SQL_NUMERIC_STRUCT");
  }
  // Little-endian, 16 bytes: long division of the whole part by 256.
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN && whole > 0; ++i) {
    double q = std::floor(whole / 256);
    numeric.val[i] = static_cast<SQLCHAR>(whole - q * 256);
    whole = q;
  }
  d.Store(numeric);
  if (std::trunc(magnitude) != magnitude) return d.Cut("fraction");
  return SQL_SUCCESS;
}

SQLRETURN PutDateTime(const Value& value, SQLSMALLINT cType, const Destination& d) {
  SQL_TIMESTAMP_STRUCT ts;
  bool hasDate, hasTime;
  if (value.type != sql::ValueType::Text || !ParseTimestamp(value.text, ts, hasDate, hasTime)) {
    return d.Fail("22018", "the value of column " + d.Column() + " is not a date or a time");
  }
  if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
    if (!hasDate) return d.Fail("22018", "the value of column " + d.Column() + " is a time, not a date");
    d.Store(SQL_DATE_STRUCT{ts.year, ts.month, ts.day});
    if (ts.hour || ts.minute || ts.second || ts.fraction) return d.Cut("time of day");
    return SQL_SUCCESS;
  }
  if (cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME) {
    d.Store(SQL_TIME_STRUCT{ts.hour, ts.minute, ts.second});
    if (ts.fraction) return d.Cut("fraction of a second");
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
  d.Store(ts);
  return SQL_SUCCESS;
}

// The whole value in the form asked: its text, or its UTF-16 units as bytes. A wide value
// read in pieces is converted once, into the statement, and read from there after.
std::string_view WholeText(const Value& value, const ColumnMeta& meta, SQLSMALLINT cType,
                           Stmt* pieces, char* number) {
  std::string_view text = AsText(value, number);
  if (value.type == sql::ValueType::Integer && meta.sqlType == SQL_BIT) text = value.integer ? "1" : "0";
  if (cType != SQL_C_WCHAR) return text;
  if (pieces && pieces->pieceOffset > 0) return pieces->scratch;
  // Bound wide columns convert into one buffer per thread: no allocation per value.
  // (Declared here: a thread-local costs a look-up on every pass by its declaration.)
  static thread_local std::string wideText;
  std::string& into = pieces ? pieces->scratch : wideText;
  into.clear();
  AppendWide(into, text);
  return into;
}

// How many bytes of `rest` fit in `room`: never half a character, but
// something when reading in pieces, lest a piece that gave nothing be asked for again and again.
size_t PieceLength(std::string_view rest, size_t room, SQLSMALLINT cType, bool isPiece) {
  const size_t left = rest.size();
  size_t n = std::min(left, room);
  if (cType == SQL_C_WCHAR && n < left && n >= sizeof(SQLWCHAR)) {
    // No half of a surrogate pair at the end of a piece.
    SQLWCHAR last;
    std::memcpy(&last, rest.data() + n - sizeof last, sizeof last);
    if (last >= 0xD800 && last <= 0xDBFF) n -= sizeof last;
  }
  if (cType == SQL_C_CHAR && n < left) {
    // No half of a UTF-8 character either.
    while (n > 0 && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) --n;
  }
  if (isPiece && n == 0 && left > 0) n = std::min(left, room);
  return n;
}

// The character and binary types: in pieces from where the last piece ended.
SQLRETURN PutText(const Value& value, const ColumnMeta& meta, SQLSMALLINT cType,
                  const Destination& d, Stmt* pieces) {
  const bool isPiece = pieces != nullptr;
  char number[40];
  const std::string_view whole = WholeText(value, meta, cType, pieces, number);
  const size_t offset = isPiece ? pieces->pieceOffset : 0;
  const size_t left = whole.size() - std::min(offset, whole.size());
  const size_t terminator = cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
  if (d.indicator) *d.indicator = static_cast<SQLLEN>(left);
  if (d.bufferLength < 0) return d.Fail("HY090", "the buffer length is negative");
  const auto bufferLength = static_cast<size_t>(d.bufferLength);
  size_t room = bufferLength >= terminator ? bufferLength - terminator : 0;
  if (cType == SQL_C_WCHAR) room -= room % sizeof(SQLWCHAR);
  const size_t n = PieceLength(whole.substr(whole.size() - left), room, cType, isPiece);
  if (d.target && bufferLength > 0) {
    std::memcpy(d.target, whole.data() + offset, n);
    if (terminator && bufferLength >= terminator) std::memset(static_cast<char*>(d.target) + n, 0, terminator);
  }
  if (isPiece) {
    pieces->pieceOffset = offset + n;
    if (n == left) pieces->pieceDone = true;
  }
  if (n == left) return SQL_SUCCESS;
  d.handle.Warn("01004", "[Tabrix] the value of column " + d.Column() + " was cut to the buffer: " +
                             std::to_string(left - n) + " bytes are left");
  d.handle.diags.back().row = d.row;
  d.handle.diags.back().column = d.column;
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN PutNull(SQLLEN* indicator, Stmt* pieces, Handle& handle, SQLUSMALLINT column) {
  if (!indicator) {
    return handle.Error("22002", "[Tabrix] column " + std::to_string(column) +
                                     " is NULL and no indicator was given to say so");
  }
  *indicator = SQL_NULL_DATA;
  if (pieces) pieces->pieceDone = true;
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN ConvertValue(const Value& value, const ColumnMeta& meta, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator, Stmt* pieces,
                       Handle& handle, SQLLEN row, SQLUSMALLINT column) {
  if (pieces && pieces->pieceDone) return SQL_NO_DATA;
  if (value.type == sql::ValueType::Null) return PutNull(indicator, pieces, handle, column);
  if (cType == SQL_C_DEFAULT || cType == SQL_ARD_TYPE) cType = DefaultCType(meta.sqlType);
  const Destination d{target, bufferLength, indicator, handle, row, column};
  switch (cType) {
    case SQL_C_CHAR: case SQL_C_WCHAR: case SQL_C_BINARY:
      return PutText(value, meta, cType, d, pieces);
    default:
      break;
  }
  // The other types are read whole, in one piece.
  if (pieces) pieces->pieceDone = true;
  switch (cType) {
    case SQL_C_DOUBLE: case SQL_C_FLOAT:
      return PutReal(value, cType, d);
    case SQL_C_SBIGINT: return PutInt64(value, true, d);
    case SQL_C_UBIGINT: return PutInt64(value, false, d);
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG:
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT:
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT:
      return PutSmallInteger(value, cType, d);
    case SQL_C_NUMERIC:
      return PutNumeric(value, d);
    case SQL_C_TYPE_DATE: case SQL_C_DATE: case SQL_C_TYPE_TIME: case SQL_C_TIME:
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP:
      return PutDateTime(value, cType, d);
    default:
      return d.Fail("07006", "column " + d.Column() + " cannot be converted to the C type " +
                                 std::to_string(cType));
  }
}

}  // namespace tabrix::odbc
