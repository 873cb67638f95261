#include "tools/tabrix/Exchange.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unordered_map>

#include "platform/odbcini/OdbcIni.h"
#include "platform/registry/RegFile.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"

namespace tabrix::cli::exchange {
namespace {

namespace ini = platform::odbcini;
namespace reg = platform::registry;
using platform::text::EqualsIgnoreCase;

using platform::text::Folded;

// The key holding every driver's definition.
std::string DriversKey() {
  std::string key = platform::DriverKey("");
  key.pop_back();
  return key;
}

// A codec's reason without its "line N: ".
std::string Reason(const std::exception& e) {
  std::string reason = e.what();
  if (size_t colon = reason.find(": "); colon != std::string::npos) reason.erase(0, colon + 2);
  return reason;
}

// The registry's spelling of each scope's ODBC.INI key, as its export writes it.
std::string RootKey(bool system) {
  return system ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI"
                : "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI";
}

}  // namespace

std::string Masked(bool passwords, const std::string& keyword, const std::string& value) {
  return !passwords && IsPasswordKeyword(keyword) && !value.empty() ? std::string(kMasked) : value;
}

Drivers Drivers::Read() {
  Drivers drivers;
  auto& store = platform::CurrentKeyStore();
  const std::string parent = DriversKey();
  auto libraries = store.ReadSubKeys(platform::HKEY_LOCAL_MACHINE, parent, "Driver");
  auto libraries64 = store.ReadSubKeys(platform::HKEY_LOCAL_MACHINE, parent, "Driver64");
  if (!libraries) return drivers;
  for (size_t i = 0; i < libraries->size(); ++i) {
    const auto& [description, library] = (*libraries)[i];
    // odbcinst.ini's [ODBC] holds the driver manager's own settings, never a driver.
    if (EqualsIgnoreCase(description, "ODBC")) continue;
    std::string library64;
    if (libraries64 && i < libraries64->size() && (*libraries64)[i].first == description)
      library64 = (*libraries64)[i].second;
    drivers.list_.push_back({description, library64, library});
  }
  return drivers;
}

std::optional<std::string> Drivers::Find(std::string_view value) const {
  if (value.empty()) return std::nullopt;
  for (const Driver& d : list_)
    if (EqualsIgnoreCase(d.description, value)) return d.description;
  for (const Driver& d : list_)
    if ((!d.driver64.empty() && d.driver64 == value) || (!d.driver.empty() && d.driver == value))
      return d.description;
  return std::nullopt;
}

std::string Drivers::Library(std::string_view description) const {
  for (const Driver& d : list_)
    if (EqualsIgnoreCase(d.description, description))
      return d.driver64.empty() ? d.driver : d.driver64;
  return "";
}

std::string Drivers::Where() {
  return platform::CurrentKeyStore().Describe(platform::HKEY_LOCAL_MACHINE, DriversKey());
}

std::string DriverOf(const host::StoredSources& scope, const host::StoredSource& source,
                     const Drivers& drivers) {
  std::string value;
  for (const auto& [k, v] : source.values)
    if (EqualsIgnoreCase(k, "Driver")) {
      value = v;
      break;
    }
  if (auto defined = drivers.Find(value)) return *defined;
  for (const auto& [k, v] : scope.listing)
    if (EqualsIgnoreCase(k, source.name)) return drivers.Find(v).value_or(v);
  return value;
}

Pairs WithoutDriver(const Pairs& values) {
  Pairs kept;
  for (const auto& pair : values)
    if (!EqualsIgnoreCase(pair.first, "Driver")) kept.push_back(pair);
  return kept;
}

std::string WhyNotWritable(const std::string& name, const Pairs& attributes) {
  if (std::string why = platform::WhyListingName(name); !why.empty()) return why;
  for (const auto& pair : attributes)
    if (EqualsIgnoreCase(pair.first, "Driver"))
      return "Driver is given as the driver, not as a value";
  return host::WhyNotStorable(name, attributes);
}

namespace {

// Where `text` stops being UTF-8 (an overlong form, a surrogate or a code point past U+10FFFF
// included); npos when it is UTF-8 throughout.
size_t NotUtf8At(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return i;
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) return i;
      cp = cp << 6 | (b & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += n;
  }
  return std::string_view::npos;
}

// JSON holds text, and a byte that is not UTF-8 would come back as another character: such a
// value is refused by name rather than changed.
void RequireUtf8(const DataSource& s, std::string_view what, std::string_view text) {
  const size_t at = NotUtf8At(text);
  if (at == std::string_view::npos) return;
  char byte[8];
  std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[at]));
  throw std::runtime_error(std::string(ScopeName(s.system)) + " data source \"" + Shown(s.name) +
                           "\": " + std::string(what) + " is not UTF-8 (byte " + byte +
                           " at offset " + std::to_string(at) +
                           "), which JSON cannot hold exactly; export it with --format ini, "
                           "which keeps every byte");
}

}  // namespace

std::string ToJson(const std::vector<DataSource>& sources, bool passwords) {
  Json dsns = Json::array();
  for (const DataSource& s : sources) {
    RequireUtf8(s, "its name", s.name);
    RequireUtf8(s, "its driver", s.driver);
    for (const auto& [k, v] : s.attributes) {
      RequireUtf8(s, "the keyword \"" + Shown(k) + "\"", k);
      RequireUtf8(s, "the value of " + Shown(k), Masked(passwords, k, v));
    }
    Json attributes = Json::array();
    for (const auto& [k, v] : s.attributes) attributes.push_back({k, Masked(passwords, k, v)});
    dsns.push_back({{"name", s.name},
                    {"scope", ScopeName(s.system)},
                    {"driver", s.driver},
                    {"attributes", std::move(attributes)}});
  }
  // As PrintJson writes it.
  return Json{{"dsns", std::move(dsns)}}.dump(2, ' ', false) + '\n';
}

// Each scope as the registry holds it: its ODBC.INI key, the listing, then each data
// source's key with Driver naming the library, as Windows' own setup writes it.
std::string ToReg(const std::vector<DataSource>& sources, bool passwords, const Drivers& drivers) {
  reg::RegFile file;
  for (bool system : {false, true}) {
    std::vector<const DataSource*> here;
    for (const DataSource& s : sources)
      if (s.system == system) here.push_back(&s);
    if (here.empty()) continue;
    file.keys.push_back({RootKey(system), false, {}, 0});
    reg::RegKey listing{RootKey(system) + "\\ODBC Data Sources", false, {}, 0};
    for (const DataSource* s : here)
      listing.values.push_back({s->name, reg::RegType::String, 1, s->driver, {}, false, 0});
    file.keys.push_back(std::move(listing));
    for (const DataSource* s : here) {
      reg::RegKey key{RootKey(system) + "\\" + s->name, false, {}, 0};
      std::string library = drivers.Library(s->driver);
      key.values.push_back(
          {"Driver", reg::RegType::String, 1, library.empty() ? s->driver : library, {}, false, 0});
      for (const auto& [k, v] : s->attributes)
        key.values.push_back({k, reg::RegType::String, 1, Masked(passwords, k, v), {}, false, 0});
      file.keys.push_back(std::move(key));
    }
  }
  return reg::WriteRegFile(file);
}

Format Detect(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 8) == "REGEDIT4" ||
      bytes.substr(0, 23) == "Windows Registry Editor")
    return Format::Reg;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '{' ? Format::Json : Format::Ini;
}

namespace {

// The attributes of each data source as the text spells them, with their lines: a JSON
// object keeps one value of a repeated key, so repeats are found in the text itself. Reads
// text that has parsed as JSON already.
struct Spelt {
  std::string key, value;
  size_t line = 0;
};
class AttributeScan {
 public:
  explicit AttributeScan(std::string_view text) : t_(text) {}

  // Per data source (dsns[i]), its attributes in text order.
  std::vector<std::vector<Spelt>> Run() {
    std::vector<std::string> path;
    Value(path);
    return found_;
  }

 private:
  void Space() {
    while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\t' || t_[pos_] == '\r' ||
                                t_[pos_] == '\n'))
      if (t_[pos_++] == '\n') ++line_;
  }
  std::string String() {
    const size_t start = pos_++;
    while (pos_ < t_.size() && t_[pos_] != '"') pos_ += t_[pos_] == '\\' ? 2 : 1;
    ++pos_;
    return Json::parse(t_.substr(start, pos_ - start)).get<std::string>();
  }
  // The attributes live at dsns[i].attributes.KEY (`kinds` "[{{") or
  // dsns[i].attributes[j][0 or 1] (`kinds` "[{[[").
  std::vector<Spelt>* Owner(const std::vector<std::string>& path, std::string_view kinds) {
    if (path.size() < 3 || kinds_.substr(1, kinds.size()) != kinds || path[0] != "dsns" ||
        path[2] != "attributes" ||
        path[1].find_first_not_of("0123456789") != std::string::npos)
      return nullptr;
    const size_t i = std::stoul(path[1]);
    if (found_.size() <= i) found_.resize(i + 1);
    return &found_[i];
  }
  void Value(std::vector<std::string>& path) {
    Space();
    const char c = t_[pos_];
    if (c == '{' || c == '[') {
      ++pos_;
      kinds_ += c;
      for (size_t index = 0;; ++index) {
        Space();
        if (t_[pos_] == '}' || t_[pos_] == ']') break;
        const size_t line = line_;
        path.push_back(c == '{' ? String() : std::to_string(index));
        if (path.size() == 2 && kinds_ == "{[" && path[0] == "dsns") entryLines.push_back(line);
        if (c == '{') {
          Space();
          ++pos_;  // the colon
        }
        if (path.size() == 4 && kinds_.size() == 4) {
          if (auto* owner = Owner(path, c == '{' ? "[{{" : "[{["))
            owner->push_back({c == '{' ? path.back() : "", "", line});
        }
        Value(path);
        path.pop_back();
        Space();
        if (t_[pos_] == ',') ++pos_;
      }
      ++pos_;
      kinds_.pop_back();
      return;
    }
    if (c == '"') {
      std::string text = String();
      if (path.size() == 4 && kinds_.size() == 4) {
        if (auto* owner = Owner(path, "[{{"); owner && !owner->empty())
          owner->back().value = std::move(text);
      } else if (path.size() == 5 && kinds_.size() == 5) {
        if (auto* owner = Owner(path, "[{[["); owner && !owner->empty())
          (path[4] == "0" ? owner->back().key : owner->back().value) = std::move(text);
      }
      return;
    }
    while (pos_ < t_.size() && std::string_view(",]} \t\r\n").find(t_[pos_]) == std::string_view::npos)
      ++pos_;
  }

  std::string_view t_;
  size_t pos_ = 0, line_ = 1;
  std::string kinds_;  // the open containers, outermost first
  std::vector<std::vector<Spelt>> found_;

 public:
  std::vector<size_t> entryLines;  // where each dsns[i] starts
};

}  // namespace

std::vector<Incoming> ParseJson(const std::string& text, const std::string& file,
                                bool stateAllowed) {
  Json json;
  try {
    json = Json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    // Its own words after "parse error at line L, column C: "; the line counted here.
    const size_t at = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    const size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n'));
    throw Malformed(file + ":" + std::to_string(line) + ": " + Reason(e));
  }
  if (!json.is_object() || !json.contains("dsns") || !json["dsns"].is_array())
    throw Malformed(file + ":1: an object with a \"dsns\" array is expected");
  AttributeScan scan(text);
  std::vector<std::vector<Spelt>> spelt = scan.Run();
  // A malformed entry is named by the line where it starts.
  auto bad = [&](const std::string& where, const std::string& why) {
    const size_t i = std::stoul(where.substr(5));
    const std::string line =
        i < scan.entryLines.size() ? ":" + std::to_string(scan.entryLines[i]) : "";
    return Malformed(file + line + ": " + where + ": " + why);
  };
  std::vector<Incoming> result;
  const Json& dsns = json["dsns"];
  for (size_t i = 0; i < dsns.size(); ++i) {
    const Json& d = dsns[i];
    const std::string where = "dsns[" + std::to_string(i) + "]";
    if (!d.is_object()) throw bad(where, "an object is expected");
    auto text = [&](const char* field, bool required) -> std::string {
      if (!d.contains(field)) {
        if (required) throw bad(where, std::string("\"") + field + "\" is missing");
        return "";
      }
      if (!d[field].is_string())
        throw bad(where, std::string("\"") + field + "\" must be a string");
      return d[field].get<std::string>();
    };
    Incoming in;
    in.where = file + (i < scan.entryLines.size() ? ":" + std::to_string(scan.entryLines[i]) : "") +
               ": " + where;
    in.source.name = text("name", true);
    in.where += " (\"" + in.source.name + "\")";
    const std::string scope = text("scope", false);
    in.scopeGiven = !scope.empty();
    if (in.scopeGiven && scope != "user" && scope != "system")
      throw bad(where, "\"scope\" must be \"user\" or \"system\", not \"" + scope + "\"");
    in.source.system = scope != "user";
    const std::string state = stateAllowed ? text("state", false) : "";
    if (!stateAllowed && d.contains("state"))
      throw bad(where, "\"state\" belongs to tabrix apply; import only adds data sources");
    if (!state.empty() && state != "present" && state != "absent")
      throw bad(where, "\"state\" must be \"present\" or \"absent\", not \"" + state + "\"");
    in.present = state != "absent";
    in.driverValue = text("driver", in.present);
    if (d.contains("attributes")) {
      const Json& a = d["attributes"];
      if (a.is_object()) {
        for (const auto& [k, v] : a.items()) {
          if (!v.is_string()) throw bad(where, "the value of \"" + k + "\" must be a string");
          in.source.attributes.emplace_back(k, v.get<std::string>());
        }
      } else if (a.is_array()) {
        for (const Json& pair : a) {
          if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string())
            throw bad(where, "each attribute must be a pair of strings [\"KEY\", \"value\"]");
          in.source.attributes.emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
        }
      } else {
        throw bad(where, "\"attributes\" must be an array of pairs or an object");
      }
    }
    result.push_back(std::move(in));
  }
  // One value per keyword: a keyword given twice with two values is a contradiction, named
  // at the line of the second; given twice alike, it is one value.
  for (size_t i = 0; i < result.size() && i < spelt.size(); ++i) {
    Pairs kept;
    std::vector<size_t> lines;
    for (const Spelt& a : spelt[i]) {
      auto same = [&](const auto& pair) { return EqualsIgnoreCase(pair.first, a.key); };
      auto it = std::find_if(kept.begin(), kept.end(), same);
      if (it == kept.end()) {
        kept.emplace_back(a.key, a.value);
        lines.push_back(a.line);
      } else if (it->second != a.value) {
        throw Malformed(file + ":" + std::to_string(a.line) + ": dsns[" + std::to_string(i) +
                        "] (\"" + result[i].source.name + "\"): \"" + a.key +
                        "\" is given a second value (the first at line " +
                        std::to_string(lines[static_cast<size_t>(it - kept.begin())]) +
                        "); which one is meant?");
      }
    }
    if (kept.size() < result[i].source.attributes.size()) result[i].source.attributes = kept;
  }
  return result;
}

namespace {

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

}  // namespace

std::vector<Incoming> ParseReg(const std::string& bytes, const std::string& file) {
  reg::RegFile parsed;
  try {
    parsed = reg::ParseRegFile(bytes);
  } catch (const reg::RegFileError& e) {
    throw Malformed(file + ":" + std::to_string(e.line) + ": " + Reason(e));
  }
  std::vector<Incoming> result;
  std::unordered_map<std::string, size_t> index;  // scope and folded name -> result
  std::unordered_map<std::string, std::string> listed;
  std::vector<std::vector<bool>> fromOwnKey;  // per result, per attribute: from its own key
  auto at = [&](size_t line) { return file + ":" + std::to_string(line); };
  for (const reg::RegKey& key : parsed.keys) {
    std::optional<UnderOdbcIni> where = Locate(key.path);
    if (!where)
      throw Malformed(at(key.line) + ": the key [" + key.path +
                      "] is not under HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI or "
                      "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI; only data sources are "
                      "imported");
    if (key.remove) throw Malformed(at(key.line) + ": a key removal is not imported");
    for (const reg::RegValue& v : key.values)
      if (v.removed) throw Malformed(at(v.line) + ": a value removal is not imported");
    const std::string scope = where->system ? "s:" : "u:";
    if (where->below.empty()) {
      if (!key.values.empty())
        Warn(at(key.values[0].line) + ": values of ODBC.INI itself are not data sources; skipped");
      continue;
    }
    const std::string& name = where->below[0];
    if (platform::IsListingName(name)) {
      if (where->below.size() > 1) continue;
      for (const reg::RegValue& v : key.values)
        if (v.type == reg::RegType::String || v.type == reg::RegType::ExpandString)
          listed[scope + Folded(v.name)] = v.text;  // the last, as regedit keeps it
      continue;
    }
    auto [it, added] = index.emplace(scope + Folded(name), result.size());
    if (added) {
      Incoming in;
      in.source.name = name;
      in.source.system = where->system;
      in.where = at(key.line);
      result.push_back(std::move(in));
      fromOwnKey.emplace_back();
    }
    Incoming& in = result[it->second];
    std::vector<bool>& fromOwn = fromOwnKey[it->second];
    const bool own = where->below.size() == 1;
    for (const reg::RegValue& v : key.values) {
      std::string text;
      switch (v.type) {
        case reg::RegType::String:
        case reg::RegType::ExpandString:
        case reg::RegType::Dword:
        case reg::RegType::Qword:
          text = v.text;
          break;
        case reg::RegType::MultiString:
          text = Joined(v.items);
          break;
        default:
          // Flags such as FirstRowHasNames=hex:01: a little-endian number, as the driver
          // reads it; hex(5) is REG_DWORD_BIG_ENDIAN, four bytes, most significant first.
          if (v.rawType == 5 ? v.text.size() != 4 : v.text.empty() || v.text.size() > 8) {
            Warn(at(v.line) + ": \"" + v.name +
                 "\" holds binary data that is not a number; odbc.ini cannot hold it; skipped");
            continue;
          }
          text = std::to_string(v.rawType == 5 ? BigEndian(v.text) : LittleEndian(v.text));
      }
      if (v.name.empty()) {
        Warn(at(v.line) + ": a key's default value is not a keyword; skipped");
        continue;
      }
      // One value per keyword, as the registry holds it: a value given twice in a key is the
      // last one (regedit sets it again), and a subkey's value never stands for the data
      // source's own.
      if (own && EqualsIgnoreCase(v.name, "Driver")) {
        in.driverValue = text;
        continue;
      }
      auto same = [&](const auto& pair) { return EqualsIgnoreCase(pair.first, v.name); };
      auto it = std::find_if(in.source.attributes.begin(), in.source.attributes.end(), same);
      if (it == in.source.attributes.end()) {
        in.source.attributes.emplace_back(v.name, std::move(text));
        fromOwn.push_back(own);
        continue;
      }
      const size_t place = static_cast<size_t>(it - in.source.attributes.begin());
      if (fromOwn[place] && !own) continue;  // the data source's own value stands
      it->second = std::move(text);
      fromOwn[place] = own;
    }
  }
  for (Incoming& in : result)
    if (auto it = listed.find((in.source.system ? "s:" : "u:") + Folded(in.source.name));
        it != listed.end())
      in.listed = it->second;
  return result;
}

}  // namespace tabrix::cli::exchange
