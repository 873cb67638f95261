#include "tools/tabrix/PropertyOptions.h"

#include <algorithm>
#include <stdexcept>

namespace tabrix::cli {

using namespace TabrixCreateUnit;

const std::vector<PropertyOption>& PropertyOptions() {
  static const std::vector<PropertyOption> options{
      {"DSNUserDescription", "--description", ""},
      {"DatabasePath", "--workbook", ": the workbook"},
      {"DefaultDir", "--default-dir", " (one trailing backslash removed)"},
      {"UserID", "--uid", ""},
      {"Password", "--password-stdin",
       ": read the first line of standard input (else $TABRIX_PASSWORD)"},
      {"MaxScanRows", "--max-scan-rows", ""},
      {"optExcelVersion", "--excel-version", ""},
      {"optImplitCommitSync", "--implicit-commit-sync", " (text)"},
      {"optDSNReadOnly", "--read-only", ""},
      {"optFirstRowHasNames", "--first-row-has-names", ""},
      {"optSafeTransactions", "--safe-transactions", ""},
      {"optThreads", "--threads", ""},
      {"optUserCommitSync", "--user-commit-sync", ""},
  };
  return options;
}

namespace {

// Set by the verb and its NAME, not by options (About, an object reference, by nothing).
bool Identifying(std::string_view property) {
  return property == "Action" || property == "DSNNameOrAlias";
}

const PropertyOption* SpellingOf(std::string_view property) {
  for (const PropertyOption& o : PropertyOptions())
    if (o.property == property) return &o;
  return nullptr;
}

bool IsFlag(const platform::TPropInfo& info) { return info.TypeName == "Boolean"; }

}  // namespace

std::string_view OptionOf(std::string_view property) {
  const PropertyOption* spelling = SpellingOf(property);
  return spelling ? spelling->option : property;
}

const TDataSourceValue* StoredAs(std::string_view property) {
  for (const TDataSourceValue& value : DataSourceValues())
    if (value.Property == property) return &value;
  return nullptr;
}

void PropertyValues::AddOptions(CLI::App& verb) {
  // The creator's own, not the ones every component has (Name, Tag).
  for (const platform::TPropInfo& own : TTabrixCreator::StaticClass().Properties) {
    const platform::TPropInfo* info = &own;
    if (info->Kind == platform::tkClass || Identifying(info->Name)) continue;
    const PropertyOption* spelling = SpellingOf(info->Name);
    // A property the component gained is an option the client must spell, not one it drops.
    if (!spelling) throw std::logic_error("the property " + info->Name + " has no option");
    Slot& slot = slots_.emplace_back();
    slot.info = info;
    const std::string option(spelling->option);
    const std::string help = info->Name + std::string(spelling->help);
    const TDataSourceValue* stored = StoredAs(info->Name);
    if (stored && IsPasswordKeyword(stored->Keyword)) {
      slot.password = true;
      slot.option = verb.add_flag(option, passwordStdin_, help);
    } else if (IsFlag(*info)) {
      slot.option = verb.add_flag(option + ",!--no-" + option.substr(2), slot.flag, help);
    } else if (info->Kind == platform::tkInteger) {
      slot.option = verb.add_option(option, slot.number, help)->transform(DecimalInteger());
    } else if (info->Kind == platform::tkEnumeration) {
      slot.option = verb.add_option(option, slot.text, help)->check(CLI::IsMember(info->EnumNames));
    } else {
      slot.option = verb.add_option(option, slot.text, help);
    }
  }
}

bool PropertyValues::IsGiven(const Slot& slot) const {
  return slot.password ? password_.has_value() : slot.option->count() > 0;
}

std::vector<std::string_view> PropertyValues::Given() const {
  std::vector<std::string_view> given;
  for (const Slot& slot : slots_)
    if (IsGiven(slot)) given.emplace_back(slot.info->Name);
  return given;
}

bool PropertyValues::IsGiven(std::string_view property) const {
  for (const Slot& slot : slots_)
    if (slot.info->Name == property) return IsGiven(slot);
  return false;
}

void PropertyValues::ApplyTo(TTabrixCreator& creator) const {
  for (const Slot& slot : slots_) {
    if (!IsGiven(slot)) continue;
    const platform::TPropInfo& info = *slot.info;
    if (slot.password) {
      info.SetStr(creator, *password_);
    } else if (IsFlag(info)) {
      info.SetOrd(creator, slot.flag ? 1 : 0);
    } else if (info.Kind == platform::tkInteger) {
      info.SetOrd(creator, *slot.number);
    } else if (info.Kind == platform::tkEnumeration) {
      const auto& names = info.EnumNames;
      info.SetOrd(creator, std::find(names.begin(), names.end(), *slot.text) - names.begin());
    } else {
      info.SetStr(creator, *slot.text);
    }
  }
}

}  // namespace tabrix::cli
