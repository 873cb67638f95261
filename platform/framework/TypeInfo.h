// Published properties: one table per class, the single description the form-file writer and
// reader both work from, so the two cannot drift apart.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace platform {

class TComponent;

enum TTypeKind : uint8_t { tkInteger, tkEnumeration, tkString, tkClass };

struct TPropInfo {
  std::string Name{};
  TTypeKind Kind = tkInteger;
  std::string TypeName{};                // for messages: "Integer", "Boolean", "TDSNExecuteAction"
  std::vector<std::string> EnumNames{};  // tkEnumeration: member names by ordinal
  int64_t MinValue = 0;                  // ordinals: the range the storage holds
  int64_t MaxValue = 0;
  // False for properties a form file never carries: object references, and Name, which
  // rides in the object's header line.
  bool Streamed = true;
  // With a default the writer leaves out an ordinal equal to `Default`, or an empty string.
  // Without one the value is always written: a string whose initial value is not empty needs
  // this, or a blank set by a designer would load as the initial value.
  bool HasDefault = true;
  int64_t Default = 0;

  std::function<int64_t(const TComponent&)> GetOrd{};
  std::function<void(TComponent&, int64_t)> SetOrd{};
  std::function<std::string(const TComponent&)> GetStr{};
  std::function<void(TComponent&, const std::string&)> SetStr{};

  bool IsOrdinal() const { return Kind == tkInteger || Kind == tkEnumeration; }
  // Whether the writer puts the property's value of `instance` into the form file.
  bool IsStored(const TComponent& instance) const;
};

struct TClassInfo {
  std::string Name{};
  const TClassInfo* Parent = nullptr;
  // Makes an instance owned by `owner`; the reader creates nested objects with it.
  std::function<TComponent*(TComponent* owner)> Create{};
  std::vector<TPropInfo> Properties{};  // the class's own, in declaration order
};

// Every published property of the class, the inherited ones first.
std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls);
// The published property of that name (compared without regard to ASCII case), or null.
const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name);

// Table entries for class C, built from its accessor methods.
template <class C>
struct Published {
  static TPropInfo Integer(std::string name, int32_t (C::*get)() const, void (C::*set)(int32_t),
                           std::optional<int32_t> streamDefault) {
    TPropInfo p = Ordinal(std::move(name), tkInteger, "Integer", streamDefault);
    p.MinValue = std::numeric_limits<int32_t>::min();
    p.MaxValue = std::numeric_limits<int32_t>::max();
    p.GetOrd = [get](const TComponent& c) { return int64_t{(static_cast<const C&>(c).*get)()}; };
    p.SetOrd = [set](TComponent& c, int64_t v) {
      (static_cast<C&>(c).*set)(static_cast<int32_t>(v));
    };
    return p;
  }

  static TPropInfo Boolean(std::string name, bool (C::*get)() const, void (C::*set)(bool),
                           std::optional<bool> streamDefault) {
    TPropInfo p = Ordinal(std::move(name), tkEnumeration, "Boolean", streamDefault);
    p.EnumNames = {"False", "True"};
    p.MaxValue = 1;
    p.GetOrd = [get](const TComponent& c) { return int64_t{(static_cast<const C&>(c).*get)()}; };
    p.SetOrd = [set](TComponent& c, int64_t v) { (static_cast<C&>(c).*set)(v != 0); };
    return p;
  }

  // A plain enumeration; its storage, not its member list, sets the range a value may take.
  template <class E>
  static TPropInfo Enumeration(std::string name, std::string typeName, E (C::*get)() const,
                               void (C::*set)(E), std::vector<std::string> memberNames,
                               std::optional<E> streamDefault) {
    using U = std::underlying_type_t<E>;
    std::optional<int64_t> def;
    if (streamDefault) def = static_cast<int64_t>(*streamDefault);
    TPropInfo p = Ordinal(std::move(name), tkEnumeration, std::move(typeName), def);
    p.EnumNames = std::move(memberNames);
    p.MinValue = std::numeric_limits<U>::min();
    p.MaxValue = std::numeric_limits<U>::max();
    p.GetOrd = [get](const TComponent& c) {
      return static_cast<int64_t>((static_cast<const C&>(c).*get)());
    };
    p.SetOrd = [set](TComponent& c, int64_t v) {
      (static_cast<C&>(c).*set)(static_cast<E>(static_cast<U>(v)));
    };
    return p;
  }

  static TPropInfo String(std::string name, std::string (C::*get)() const,
                          void (C::*set)(const std::string&), bool emptyIsDefault = true) {
    TPropInfo p{.Name = std::move(name), .Kind = tkString, .TypeName = "String"};
    p.HasDefault = emptyIsDefault;
    p.GetStr = [get](const TComponent& c) { return (static_cast<const C&>(c).*get)(); };
    p.SetStr = [set](TComponent& c, const std::string& v) { (static_cast<C&>(c).*set)(v); };
    return p;
  }

  // An object reference: listed for the designer, never stored.
  static TPropInfo Class(std::string name, std::string typeName) {
    TPropInfo p{.Name = std::move(name), .Kind = tkClass, .TypeName = std::move(typeName)};
    p.Streamed = false;
    return p;
  }

 private:
  static TPropInfo Ordinal(std::string name, TTypeKind kind, std::string typeName,
                           std::optional<int64_t> streamDefault) {
    TPropInfo p{.Name = std::move(name), .Kind = kind, .TypeName = std::move(typeName)};
    p.HasDefault = streamDefault.has_value();
    p.Default = streamDefault.value_or(0);
    return p;
  }
};

}  // namespace platform
