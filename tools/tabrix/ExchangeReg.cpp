// ParseReg: data sources in a Windows registry file of ODBC.INI (REGEDIT4 or Version 5.00).
#include <algorithm>
#include <unordered_map>

#include "platform/odbcinst/DataSources.h"
#include "platform/registry/RegFile.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Exchange.h"

namespace tabrix::cli::exchange {
namespace {

namespace reg = platform::registry;
using platform::text::EqualsIgnoreCase;
using platform::text::Folded;


// Where a registry key lies under a scope's ODBC.INI: the scope and the path below it ("" for
// ODBC.INI itself); nullopt for any other key.
struct UnderOdbcIni {
  bool system;
  std::vector<std::string> below;
};
std::optional<UnderOdbcIni> Locate(std::string_view path) {
  std::vector<std::string> parts = platform::text::Split(path, '\\');
  if (parts.size() < 4) return std::nullopt;
  UnderOdbcIni where;
  if (EqualsIgnoreCase(parts[0], "HKEY_LOCAL_MACHINE"))
    where.system = true;
  else if (EqualsIgnoreCase(parts[0], "HKEY_CURRENT_USER"))
    where.system = false;
  else
    return std::nullopt;
  size_t i = 1;
  if (!EqualsIgnoreCase(parts[i++], "SOFTWARE")) return std::nullopt;
  // 32-bit programs' data sources on 64-bit Windows.
  if (where.system && EqualsIgnoreCase(parts[i], "Wow6432Node")) ++i;
  if (parts.size() < i + 2 || !EqualsIgnoreCase(parts[i], "ODBC") ||
      !EqualsIgnoreCase(parts[i + 1], "ODBC.INI"))
    return std::nullopt;
  where.below.assign(parts.begin() + static_cast<long>(i) + 2, parts.end());
  return where;
}

uint64_t LittleEndian(std::string_view bytes) {
  uint64_t n = 0;
  for (size_t i = bytes.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(bytes[i]);
  return n;
}

uint64_t BigEndian(std::string_view bytes) {
  uint64_t n = 0;
  for (unsigned char c : bytes) n = n << 8 | c;
  return n;
}

// A multi-string's items on the one line odbc.ini has for a value.
std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ";") + item;
  return text;
}

// A value as odbc.ini holds it: text, a number, or a multi-string's items joined; nullopt,
// having warned, for binary data that is not a number.
std::optional<std::string> ValueText(const reg::RegValue& v, const std::string& at) {
  switch (v.type) {
    case reg::RegType::String:
    case reg::RegType::ExpandString:
    case reg::RegType::Dword:
    case reg::RegType::Qword:
      return v.text;
    case reg::RegType::MultiString:
      return Joined(v.items);
    default:
      // Flags such as FirstRowHasNames=hex:01: a little-endian number, as the driver reads
      // it; hex(5) is REG_DWORD_BIG_ENDIAN, four bytes, most significant first.
      if (v.rawType == 5 ? v.text.size() != 4 : v.text.empty() || v.text.size() > 8) {
        Warn(at + ": \"" + v.name +
             "\" holds binary data that is not a number; odbc.ini cannot hold it; skipped");
        return std::nullopt;
      }
      return std::to_string(v.rawType == 5 ? BigEndian(v.text) : LittleEndian(v.text));
  }
}

// The data sources of a registry file as its keys come: each data source's key and its
// subkeys (Engines\Excel) give one, and the listing key the lines that name their drivers.
class RegReader {
 public:
  explicit RegReader(const std::string& file) : file_(file) {}

  void Add(const reg::RegKey& key) {
    std::optional<UnderOdbcIni> where = Locate(key.path);
    Check(key, where.has_value());
    if (where->below.empty()) {
      if (!key.values.empty())
        Warn(At(key.values[0].line) + ": values of ODBC.INI itself are not data sources; skipped");
      return;
    }
    const std::string scope = where->system ? "s:" : "u:";
    const std::string& name = where->below[0];
    if (platform::IsListingName(name)) {
      if (where->below.size() > 1) return;
      for (const reg::RegValue& v : key.values)
        if (v.type == reg::RegType::String || v.type == reg::RegType::ExpandString)
          listed_[scope + Folded(v.name)] = v.text;  // the last, as regedit keeps it
      return;
    }
    auto [it, added] = index_.emplace(scope + Folded(name), result_.size());
    if (added) {
      Incoming in;
      in.source.name = name;
      in.source.system = where->system;
      in.where = At(key.line);
      result_.push_back(std::move(in));
      fromOwnKey_.emplace_back();
    }
    const bool own = where->below.size() == 1;
    for (const reg::RegValue& v : key.values) AddValue(it->second, v, own);
  }

  std::vector<Incoming> Result() {
    for (Incoming& in : result_)
      if (auto it = listed_.find((in.source.system ? "s:" : "u:") + Folded(in.source.name));
          it != listed_.end())
        in.listed = it->second;
    return std::move(result_);
  }

 private:
  std::string At(size_t line) const { return file_ + ":" + std::to_string(line); }

  // Only data sources are imported, and only as they are: no removals.
  void Check(const reg::RegKey& key, bool underOdbcIni) const {
    if (!underOdbcIni)
      throw Malformed(At(key.line) + ": the key [" + key.path +
                      "] is not under HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI or "
                      "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI; only data sources are "
                      "imported");
    if (key.remove) throw Malformed(At(key.line) + ": a key removal is not imported");
    for (const reg::RegValue& v : key.values)
      if (v.removed) throw Malformed(At(v.line) + ": a value removal is not imported");
  }

  // One value per keyword, as the registry holds it: a value given twice in a key is the last
  // one (regedit sets it again), and a subkey's value never stands for the data source's own.
  void AddValue(size_t source, const reg::RegValue& v, bool own) {
    Incoming& in = result_[source];
    std::vector<bool>& fromOwn = fromOwnKey_[source];
    std::optional<std::string> text = ValueText(v, At(v.line));
    if (!text) return;
    if (v.name.empty()) {
      Warn(At(v.line) + ": a key's default value is not a keyword; skipped");
      return;
    }
    if (own && EqualsIgnoreCase(v.name, "Driver")) {
      in.driverValue = *text;
      return;
    }
    auto same = [&](const auto& pair) { return EqualsIgnoreCase(pair.first, v.name); };
    auto it = std::find_if(in.source.attributes.begin(), in.source.attributes.end(), same);
    if (it == in.source.attributes.end()) {
      in.source.attributes.emplace_back(v.name, std::move(*text));
      fromOwn.push_back(own);
      return;
    }
    const size_t place = static_cast<size_t>(it - in.source.attributes.begin());
    if (fromOwn[place] && !own) return;  // the data source's own value stands
    it->second = std::move(*text);
    fromOwn[place] = own;
  }

  const std::string& file_;
  std::vector<Incoming> result_;
  std::unordered_map<std::string, size_t> index_;  // scope and folded name -> result_
  std::unordered_map<std::string, std::string> listed_;
  std::vector<std::vector<bool>> fromOwnKey_;  // per result, per attribute: from its own key
};

}  // namespace

std::vector<Incoming> ParseReg(const std::string& bytes, const std::string& file) {
  reg::RegFile parsed;
  try {
    parsed = reg::ParseRegFile(bytes);
  } catch (const reg::RegFileError& e) {
    throw Malformed(file + ":" + std::to_string(e.line) + ": " + Reason(e));
  }
  RegReader reader(file);
  for (const reg::RegKey& key : parsed.keys) reader.Add(key);
  return reader.Result();
}

}  // namespace tabrix::cli::exchange
