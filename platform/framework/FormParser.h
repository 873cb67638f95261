// The syntax of text form files: a form file parsed to a tree of objects and the values of
// their properties as written. What the names and values mean is the reader's to check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::formfile {

enum class ValueKind { Ident, Integer, Float, String, Binary, Set, List, Collection };

// A property's value as written. Lists, collections and binary data are checked for their
// syntax and kept as their kind alone: no published property takes them.
struct Value {
  ValueKind kind = ValueKind::Ident;
  std::string text{};                   // an identifier or number as written; a string's bytes
  std::vector<std::string> elements{};  // a set's, each an identifier or a number
};

struct PropertyNode {
  std::string name;
  Value value;
  int32_t line;
};

struct ObjectNode {
  std::string name;  // empty when the header line gives the class alone
  std::string className;
  int32_t line;
  std::vector<PropertyNode> properties;
  std::vector<ObjectNode> objects;
};

// The one outer object of a form file, with everything inside it. Raises EReadError
// (FormFile.h) for the first syntax error, and for objects or values nested so deep that
// reading them could exhaust the stack.
ObjectNode ParseForm(std::string_view text);

}  // namespace platform::formfile
