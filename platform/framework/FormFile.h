// Text form files: a component and the components it owns, as the host framework stores them.
//
//   object Form1: TDemoForm
//     object TabrixCreator1: TTabrixCreator
//       Action = ADD_DSN
//       DSNNameOrAlias = 'Sales'#13#10'Q1'
//       MaxScanRows = -1
//       optDSNReadOnly = True
//     end
//   end
//
// Strings are quoted with ', a quote doubled, a control or non-ASCII byte written as #nn, a
// long string split with + at line ends. Enumerations by member name, booleans True/False,
// integers in decimal. Writer and reader both work from the classes' published properties.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framework/Component.h"

namespace platform {

// A form file the reader cannot take; the message starts with "line N: ".
class EReadError : public std::runtime_error {
 public:
  EReadError(int32_t line, const std::string& message);
  int32_t Line() const { return line_; }

 private:
  int32_t line_;
};

// `root` with its stored properties in declaration order, then each component it owns as a
// nested object.
std::string WriteComponent(const TComponent& root);

// Reads a form file into `root`. The outer object must be of root's class; its properties go
// to root. Nested objects of the classes in `classes` are created with root as their owner,
// at any depth; objects of other classes are skipped with everything inside them. Once all is
// read, Loaded is called on root and then on each component created, in file order.
//
// Raises EReadError for the first fault (a syntax error, an unknown property of a known class,
// a value the property cannot take, a component name already in use) and then has changed
// nothing: the whole file is checked before the first property is set.
void ReadComponent(std::string_view text, TComponent& root,
                   const std::vector<const TClassInfo*>& classes);

// Reads the objects of the classes in `classes` found anywhere in a form file of any class
// (the outer object included), searching inside the objects of other classes, which are
// skipped. They are created with `owner` as their owner and returned in file order, after
// Loaded was called on each. Raises EReadError as ReadComponent does, having created nothing.
std::vector<TComponent*> ReadComponents(std::string_view text, TComponent& owner,
                                        const std::vector<const TClassInfo*>& classes);

}  // namespace platform
