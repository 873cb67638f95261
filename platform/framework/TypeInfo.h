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
#include <utility>
#include <vector>

namespace platform {

class TComponent;

enum TTypeKind : uint8_t { tkInteger, tkEnumeration, tkString, tkClass, tkSet, tkMethod };

// An event handler as a form file names it: a published method of the form, bound to it.
using TNotifyEvent = std::function<void(TComponent* sender)>;
struct TEventHandler {
  std::string Name{};
  TNotifyEvent Code{};
};

// A published method: what a form file's "OnClick = btnOKClick" refers to.
struct TMethodInfo {
  std::string Name{};
  std::function<void(TComponent& self, TComponent* sender)> Code{};
};

struct TPropInfo {
  std::string Name{};
  TTypeKind Kind = tkInteger;
  std::string TypeName{};                // for messages: "Integer", "Boolean", "TDSNExecuteAction"
  std::vector<std::string> EnumNames{};  // tkEnumeration, tkSet: member names by ordinal
  // tkInteger: values a form file may give by name (colours, cursors, character sets).
  std::vector<std::pair<std::string, int64_t>> Idents{};
  int64_t MinValue = 0;  // ordinals: the range the storage holds
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
  // tkMethod: the handler's name, and binding a method of `self` (the form) as handler.
  std::function<std::string(const TComponent&)> GetMethodName{};
  std::function<void(TComponent&, TComponent& self, const TMethodInfo&)> SetMethod{};

  // Whether the writer puts the property's value of `instance` into the form file.
  bool IsStored(const TComponent& instance) const;
};

struct TClassInfo {
  std::string Name{};
  const TClassInfo* Parent = nullptr;
  // Makes an instance owned by `owner`; the reader creates nested objects with it.
  std::function<TComponent*(TComponent* owner)> Create{};
  std::vector<TPropInfo> Properties{};  // the class's own, in declaration order
  std::vector<TMethodInfo> Methods{};   // the class's own published methods
};

// Every published property of the class, the inherited ones first.
std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls);
// The published property of that name (compared without regard to ASCII case), or null.
const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name);
// The published method of that name, the class's own or inherited, or null.
const TMethodInfo* FindMethod(const TClassInfo& cls, std::string_view name);

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

  // An integer that a form file may also give by one of `idents`' names.
  static TPropInfo NamedInteger(std::string name, std::string typeName, int32_t (C::*get)() const,
                                void (C::*set)(int32_t), std::optional<int32_t> streamDefault,
                                std::vector<std::pair<std::string, int64_t>> idents) {
    TPropInfo p = Integer(std::move(name), get, set, streamDefault);
    p.TypeName = std::move(typeName);
    p.Idents = std::move(idents);
    return p;
  }

  // A set of up to 32 members, bit n for member n.
  static TPropInfo Set(std::string name, std::string typeName, uint32_t (C::*get)() const,
                       void (C::*set)(uint32_t), std::vector<std::string> memberNames,
                       uint32_t streamDefault) {
    TPropInfo p = Ordinal(std::move(name), tkSet, std::move(typeName), streamDefault);
    p.MaxValue = (int64_t{1} << memberNames.size()) - 1;
    p.EnumNames = std::move(memberNames);
    p.GetOrd = [get](const TComponent& c) { return int64_t{(static_cast<const C&>(c).*get)()}; };
    p.SetOrd = [set](TComponent& c, int64_t v) {
      (static_cast<C&>(c).*set)(static_cast<uint32_t>(v));
    };
    return p;
  }

  // An event; stored when it has a handler.
  static TPropInfo Event(std::string name, const TEventHandler& (C::*get)() const,
                         void (C::*set)(TEventHandler)) {
    TPropInfo p{.Name = std::move(name), .Kind = tkMethod, .TypeName = "TNotifyEvent"};
    p.GetMethodName = [get](const TComponent& c) { return (static_cast<const C&>(c).*get)().Name; };
    p.SetMethod = [set](TComponent& c, TComponent& self, const TMethodInfo& m) {
      TComponent* bound = &self;
      auto code = m.Code;
      (static_cast<C&>(c).*
       set)(TEventHandler{m.Name, [bound, code](TComponent* sender) { code(*bound, sender); }});
    };
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
