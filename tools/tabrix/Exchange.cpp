#include "tools/tabrix/Exchange.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unordered_map>

#include "platform/odbcini/OdbcIni.h"
#include "platform/registry/RegFile.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Sources.h"

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

// The registry's spelling of each scope's ODBC.INI key, as its export writes it.
std::string RootKey(bool system) {
  return system ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI"
                : "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI";
}

}  // namespace

std::string Reason(const std::exception& e) {
  std::string reason = e.what();
  if (size_t colon = reason.find(": "); colon != std::string::npos) reason.erase(0, colon + 2);
  return reason;
}

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

std::string DriverOf(const platform::StoredSources& scope, const platform::StoredSource& source,
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

std::string WhyNotStorable(const std::string& name, const Pairs& attributes) {
  if (std::string why = platform::WhyListingName(name); !why.empty()) return why;
  for (const auto& pair : attributes)
    if (EqualsIgnoreCase(pair.first, "Driver"))
      return "Driver is given as the driver, not as a value";
  return sources::Store().Storable(name, attributes).reason();
}

namespace {

// Where `text` stops being UTF-8 (an overlong form, a surrogate or a code point past U+10FFFF
// included); npos when it is UTF-8 throughout.
size_t NotUtf8At(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80             ? 1
               : (c & 0xE0) == 0xC0 ? 2
               : (c & 0xF0) == 0xE0 ? 3
               : (c & 0xF8) == 0xF0 ? 4
                                    : 0;
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
    reg::RegKey listing{RootKey(system) + "\\" + std::string(platform::kDataSourcesSection),
                        false, {}, 0};
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

}  // namespace tabrix::cli::exchange
