// The writer of text form files, from the classes' published properties.
#include "platform/framework/FormFile.h"

namespace platform {
namespace {

constexpr size_t kBytesPerLine = 64;  // of a string's value, before a + continuation

bool Printable(unsigned char c) { return c >= 0x20 && c < 0x7f; }

std::string QuoteString(std::string_view value) {
  if (value.empty()) return "''";
  std::string out;
  bool quoted = false;
  for (unsigned char c : value) {
    if (Printable(c)) {
      if (!quoted) out += '\'';
      quoted = true;
      out += static_cast<char>(c);
      if (c == '\'') out += '\'';
    } else {
      if (quoted) out += '\'';
      quoted = false;
      out += '#' + std::to_string(c);
    }
  }
  if (quoted) out += '\'';
  return out;
}

// A long string goes on lines of its own below the property's name, joined by +.
void WriteString(std::string& out, const std::string& indent, std::string_view value) {
  if (value.size() <= kBytesPerLine) {
    out += ' ' + QuoteString(value) + '\n';
    return;
  }
  out += '\n';
  for (size_t at = 0; at < value.size(); at += kBytesPerLine) {
    out += indent + "  " + QuoteString(value.substr(at, kBytesPerLine));
    out += at + kBytesPerLine < value.size() ? " +\n" : "\n";
  }
}

std::string SetText(const TPropInfo& prop, int64_t ord) {
  std::string members;
  for (size_t i = 0; i < prop.EnumNames.size(); ++i)
    if (ord & (int64_t{1} << i)) members += (members.empty() ? "" : ", ") + prop.EnumNames[i];
  return '[' + members + ']';
}

// A name where the property has one for the value, else the number.
std::string OrdinalText(const TPropInfo& prop, int64_t ord) {
  for (const auto& [name, value] : prop.Idents)
    if (value == ord) return name;
  // An enumeration value outside its members is written as its ordinal, so it survives.
  if (prop.Kind == tkEnumeration && ord >= 0 && static_cast<uint64_t>(ord) < prop.EnumNames.size())
    return prop.EnumNames[ord];
  return std::to_string(ord);
}

void WriteProperty(std::string& out, const std::string& indent, const TPropInfo& prop,
                   const TComponent& instance) {
  out += indent + prop.Name + " =";
  if (prop.Kind == tkString)
    WriteString(out, indent, prop.GetStr(instance));
  else if (prop.Kind == tkMethod)
    out += ' ' + prop.GetMethodName(instance) + '\n';
  else if (prop.Kind == tkSet)
    out += ' ' + SetText(prop, prop.GetOrd(instance)) + '\n';
  else
    out += ' ' + OrdinalText(prop, prop.GetOrd(instance)) + '\n';
}

void WriteObject(std::string& out, const std::string& indent, const TComponent& c, bool withOwned) {
  const std::string name = c.GetName();
  out += indent + "object " + (name.empty() ? "" : name + ": ") + c.ClassName() + '\n';
  for (const TPropInfo* prop : GetPropList(c.ClassType()))
    if (prop->IsStored(c)) WriteProperty(out, indent + "  ", *prop, c);
  if (withOwned)
    for (int32_t i = 0; i < c.ComponentCount(); ++i)
      WriteObject(out, indent + "  ", *c.Components(i), false);
  out += indent + "end\n";
}

}  // namespace

std::string WriteComponent(const TComponent& root) {
  std::string out;
  WriteObject(out, "", root, true);
  return out;
}

}  // namespace platform
