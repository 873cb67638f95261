// The reader of text form files: the parsed tree is checked in full against the classes'
// published properties, and only then are components created and their properties set.
#include <charconv>
#include <optional>
#include <set>

#include "platform/framework/FormFile.h"
#include "platform/framework/FormParser.h"
#include "platform/text/Text.h"

namespace platform {
namespace {

using formfile::ObjectNode;
using formfile::PropertyNode;
using formfile::ValueKind;

// One checked assignment, ready to be made.
struct Assignment {
  const TPropInfo* prop;
  int64_t ordinal = 0;
  std::string text{};
  const TMethodInfo* method = nullptr;  // of the owner, which the handler is bound to
};

struct PlannedObject {
  const TClassInfo* cls;  // null for the root, which exists already
  std::string name;
  std::vector<Assignment> assignments;
};

// Values: one function per kind of property, each giving what the property's setter takes
// from the value as written, or raising EReadError on the property's line.

EReadError TypeMismatch(const PropertyNode& p, const TPropInfo& prop) {
  return EReadError(p.line, prop.Name + " takes a value of type " + prop.TypeName);
}

std::string StringValue(const PropertyNode& p, const TPropInfo& prop) {
  if (p.value.kind != ValueKind::String) throw TypeMismatch(p, prop);
  return p.value.text;
}

// A handler is a published method of `owner`, the form it is bound to.
const TMethodInfo* MethodValue(const PropertyNode& p, const TPropInfo& prop,
                               const TComponent& owner) {
  if (p.value.kind != ValueKind::Ident) throw TypeMismatch(p, prop);
  const TMethodInfo* method = FindMethod(owner.ClassType(), p.value.text);
  if (!method) throw EReadError(p.line, owner.ClassName() + " has no method " + p.value.text);
  return method;
}

// Bit n for member n.
int64_t SetValue(const PropertyNode& p, const TPropInfo& prop) {
  if (p.value.kind != ValueKind::Set) throw TypeMismatch(p, prop);
  int64_t bits = 0;
  for (const std::string& element : p.value.elements) {
    size_t i = 0;
    while (i < prop.EnumNames.size() && !text::EqualsIgnoreCase(prop.EnumNames[i], element)) ++i;
    if (i == prop.EnumNames.size())
      throw EReadError(p.line, element + " is not a member of " + prop.TypeName);
    bits |= int64_t{1} << i;
  }
  return bits;
}

std::optional<int64_t> ParseInteger(const std::string& digits) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// A number in the range the property's storage holds.
int64_t NumberValue(const PropertyNode& p, const TPropInfo& prop) {
  if (p.value.kind != ValueKind::Integer) throw TypeMismatch(p, prop);
  const std::optional<int64_t> n = ParseInteger(p.value.text);
  if (!n || *n < prop.MinValue || *n > prop.MaxValue)
    throw EReadError(p.line, p.value.text + " is out of range for " + prop.Name);
  return *n;
}

// A number, or one of the names the property has for values (a colour, a cursor).
int64_t IntegerValue(const PropertyNode& p, const TPropInfo& prop) {
  if (p.value.kind != ValueKind::Ident) return NumberValue(p, prop);
  for (const auto& [name, value] : prop.Idents)
    if (text::EqualsIgnoreCase(name, p.value.text)) return value;
  throw EReadError(p.line, p.value.text + " is not a " + prop.TypeName + " value");
}

// A member's name, or an ordinal, which the storage may hold beyond the members. Booleans
// are the enumeration of False and True in the property table, so they are read here too.
int64_t EnumerationValue(const PropertyNode& p, const TPropInfo& prop) {
  if (p.value.kind != ValueKind::Ident) return NumberValue(p, prop);
  for (size_t i = 0; i < prop.EnumNames.size(); ++i)
    if (text::EqualsIgnoreCase(prop.EnumNames[i], p.value.text)) return static_cast<int64_t>(i);
  throw EReadError(p.line, p.value.text + " is not a " + prop.TypeName + " value");
}

// A component name as its owner compares it: ASCII case ignored.
std::string NameKey(std::string_view name) { return text::Folded(name); }

// Checks a parsed form against the classes, all of it before anything is created, so that a
// fault changes nothing. Every object it plans is created with `owner` as its owner, whatever
// its depth in the file, so its name must be free among the names in use: those of the
// components owner holds already and of the objects planned before it. One plan per planner.
class Planner {
 public:
  Planner(const TComponent& owner, const std::vector<const TClassInfo*>& classes)
      : owner_(owner), classes_(classes) {
    for (int32_t i = 0; i < owner.ComponentCount(); ++i)
      if (const std::string name = owner.Components(i)->GetName(); !name.empty())
        namesInUse_.insert(NameKey(name));
  }

  // The outer object is `owner` itself; the objects of known classes inside it are planned,
  // and an object of another class is skipped with everything inside it.
  std::vector<PlannedObject> PlanForm(const ObjectNode& form) {
    if (!text::EqualsIgnoreCase(form.className, owner_.ClassName()))
      throw EReadError(form.line,
                       "the form holds a " + form.className + ", not a " + owner_.ClassName());
    // The root keeps its own owner, so its name is checked there and not among its children.
    const TComponent* rootOwner = owner_.GetOwner();
    const TComponent* holder = rootOwner ? rootOwner->FindComponent(form.name) : nullptr;
    if (holder && holder != &owner_)
      throw EReadError(form.line, "a component named " + form.name + " already exists");
    plan_.push_back(PlannedObject{nullptr, form.name, Assignments(form, owner_.ClassType())});
    PlanInside(form);
    return std::move(plan_);
  }

  // Every object of a known class, the outer one included, searching inside the others.
  std::vector<PlannedObject> PlanFound(const ObjectNode& form) {
    Search(form);
    return std::move(plan_);
  }

 private:
  void PlanInside(const ObjectNode& node) {
    for (const ObjectNode& child : node.objects)
      if (const TClassInfo* cls = FindClass(child.className)) {
        Add(child, *cls);
        PlanInside(child);
      }
  }

  void Search(const ObjectNode& node) {
    if (const TClassInfo* cls = FindClass(node.className)) Add(node, *cls);
    for (const ObjectNode& child : node.objects) Search(child);
  }

  void Add(const ObjectNode& node, const TClassInfo& cls) {
    if (!node.name.empty() && !namesInUse_.insert(NameKey(node.name)).second)
      throw EReadError(node.line, "a component named " + node.name + " already exists");
    plan_.push_back(PlannedObject{&cls, node.name, Assignments(node, cls)});
  }

  // The class objects of that name are created with, or null when they are skipped.
  const TClassInfo* FindClass(const std::string& name) const {
    for (const TClassInfo* cls : classes_)
      if (text::EqualsIgnoreCase(cls->Name, name)) return cls->Create ? cls : nullptr;
    return nullptr;
  }

  std::vector<Assignment> Assignments(const ObjectNode& node, const TClassInfo& cls) const {
    std::vector<Assignment> list;
    for (const PropertyNode& p : node.properties) list.push_back(Convert(p, cls));
    return list;
  }

  Assignment Convert(const PropertyNode& p, const TClassInfo& cls) const {
    const TPropInfo* prop = GetPropInfo(cls, p.name);
    if (!prop) throw EReadError(p.line, "unknown property " + p.name + " of " + cls.Name);
    if (!prop->Streamed)
      throw EReadError(
          p.line, "property " + prop->Name + " of " + cls.Name + " is not read from a form file");
    switch (prop->Kind) {
      case tkString:
        return Assignment{.prop = prop, .text = StringValue(p, *prop)};
      case tkMethod:
        return Assignment{.prop = prop, .method = MethodValue(p, *prop, owner_)};
      case tkSet:
        return Assignment{.prop = prop, .ordinal = SetValue(p, *prop)};
      case tkInteger:
        return Assignment{.prop = prop, .ordinal = IntegerValue(p, *prop)};
      case tkEnumeration:
        return Assignment{.prop = prop, .ordinal = EnumerationValue(p, *prop)};
      case tkClass:  // never streamed, so refused above; as an ordinal it would take a number
        break;
    }
    return Assignment{.prop = prop, .ordinal = NumberValue(p, *prop)};
  }

  const TComponent& owner_;
  const std::vector<const TClassInfo*>& classes_;
  std::vector<PlannedObject> plan_;
  std::set<std::string> namesInUse_;  // as NameKey gives them
};

void Assign(TComponent& c, TComponent& owner, const std::vector<Assignment>& assignments) {
  for (const Assignment& a : assignments) {
    if (a.method)
      a.prop->SetMethod(c, owner, *a.method);
    else if (a.prop->Kind == tkString)
      a.prop->SetStr(c, a.text);
    else
      a.prop->SetOrd(c, a.ordinal);
  }
}

// Makes what was planned: each object created with `owner` as its owner (the planned root is
// `owner` itself), named, and its properties set while it is loading; then Loaded is called on
// each, in file order, once all are set. Answers the components in that order.
std::vector<TComponent*> Instantiate(const std::vector<PlannedObject>& plan, TComponent& owner) {
  std::vector<TComponent*> loaded;
  for (const PlannedObject& planned : plan) {
    TComponent* c = planned.cls ? planned.cls->Create(&owner) : &owner;
    loaded.push_back(c);
    c->SetLoading(true);
    c->SetName(planned.name);
    Assign(*c, owner, planned.assignments);
  }
  for (TComponent* c : loaded) c->SetLoading(false);
  for (TComponent* c : loaded) c->Loaded();
  return loaded;
}

}  // namespace

void ReadComponent(std::string_view text, TComponent& root,
                   const std::vector<const TClassInfo*>& classes) {
  const ObjectNode form = formfile::ParseForm(text);
  Instantiate(Planner(root, classes).PlanForm(form), root);
}

std::vector<TComponent*> ReadComponents(std::string_view text, TComponent& owner,
                                        const std::vector<const TClassInfo*>& classes) {
  const ObjectNode form = formfile::ParseForm(text);
  return Instantiate(Planner(owner, classes).PlanFound(form), owner);
}

}  // namespace platform
