// The creator's published properties as options of create and configure. The component's
// property table says what each property is (its kind, its enumeration's members, its setter)
// and its data-source table what each is stored as; the client adds only the option's spelling.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/TabrixCreateUnit.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {

// How the client spells one published property: "--threads", and what its help says after the
// property's name.
struct PropertyOption {
  std::string_view property;
  std::string_view option;
  std::string_view help;
};

// One for every published property the options set: all but the identifying ones (About,
// Action, DSNNameOrAlias), in the component's published order.
const std::vector<PropertyOption>& PropertyOptions();

// The option that sets a property, for messages; the property's own name when none does.
std::string_view OptionOf(std::string_view property);

// The published property's data-source value, or null for one no data source stores.
const TabrixCreateUnit::TDataSourceValue* StoredAs(std::string_view property);

// What the options of one command line gave: a flag as --x or --no-x, an integer in decimal,
// an enumeration by a member's name, text as it is. The password is never an option's value:
// its option asks for it on standard input, and the caller gives the value it read.
class PropertyValues {
 public:
  void AddOptions(CLI::App& verb);
  bool PasswordFromStdin() const { return passwordStdin_; }
  void SetPassword(std::optional<std::string> password) { password_ = std::move(password); }

  // The properties given, in the component's published order.
  std::vector<std::string_view> Given() const;
  bool IsGiven(std::string_view property) const;
  // Sets the properties given on `creator`; the others keep its values.
  void ApplyTo(TabrixCreateUnit::TTabrixCreator& creator) const;

 private:
  struct Slot {
    const platform::TPropInfo* info = nullptr;
    CLI::Option* option = nullptr;
    std::optional<std::string> text;
    std::optional<int32_t> number;
    bool flag = false;
    bool password = false;
  };
  bool IsGiven(const Slot& slot) const;
  std::deque<Slot> slots_;  // the options write into them: they must not move
  bool passwordStdin_ = false;
  std::optional<std::string> password_;
};

}  // namespace tabrix::cli
