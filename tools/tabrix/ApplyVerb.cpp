// apply: makes the data sources match a desired state, the JSON of export with "state" per
// data source. Only what differs is written, one change of each scope's file, so a second run
// finds nothing to do.
#include <iostream>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "platform/odbcini/OdbcIni.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Sources.h"
#include "tools/tabrix/Exchange.h"
#include "tools/tabrix/Rules.h"

namespace tabrix::cli {
namespace {

using namespace exchange;
using platform::text::EqualsIgnoreCase;

using platform::text::Folded;

struct Change {
  std::string key;
  std::optional<std::string> before, after;
};

// What apply did, or would do, with one wanted data source.
enum class Action { Created, Updated, Removed, Unchanged, Failed };
constexpr size_t kActionCount = 5;

const char* ActionName(Action action) {
  static const char* const kNames[kActionCount] = {"created", "updated", "removed", "unchanged",
                                                   "failed"};
  return kNames[static_cast<size_t>(action)];
}

// A change made or to be made, not one that was refused or not needed.
bool Differs(Action action) { return action != Action::Unchanged && action != Action::Failed; }

struct Outcome {
  std::string name;
  bool system = true;
  Action action = Action::Unchanged;
  std::vector<Change> changes;
  std::string error;
};

// Before and after as people and JSON see them: a password masked, a missing value null.
Json Value(const std::string& key, const std::optional<std::string>& value) {
  if (!value) return nullptr;
  return IsPasswordKeyword(key) && !value->empty() ? std::string(kMasked) : *value;
}

std::string Text(const std::string& key, const std::optional<std::string>& value) {
  Json v = Value(key, value);
  return v.is_null() ? "(none)" : "\"" + Shown(v.get<std::string>(), 200) + "\"";
}

std::optional<std::string> First(const Pairs& values, std::string_view key) {
  for (const auto& [k, v] : values)
    if (EqualsIgnoreCase(k, key)) return v;
  return std::nullopt;
}

// What one wanted data source needs against what is stored; its edit when it needs one.
std::optional<platform::SourceEdit> Plan(const Incoming& in, const std::string& driver,
                                     const platform::StoredSources& stored,
                                     const platform::StoredSource* current, const Drivers& drivers,
                                     Outcome& out) {
  const std::string& name = in.source.name;
  if (!in.present) {
    if (!current) return std::nullopt;
    out.action = Action::Removed;
    for (const auto& [k, v] : current->values) out.changes.push_back({k, v, std::nullopt});
    return platform::SourceEdit{platform::SourceEdit::Kind::Remove, current->name, "", {}};
  }
  // Only the first of a keyword counts, as unixODBC reads only the first.
  Pairs wanted;
  std::unordered_set<std::string> keys;
  for (const auto& pair : in.source.attributes)
    if (keys.insert(Folded(pair.first)).second) wanted.push_back(pair);

  if (!current) {
    Pairs values;
    for (const auto& [k, v] : wanted) {
      if (IsPasswordKeyword(k) && v == kMasked) {
        Warn("data source \"" + name + "\": " + k +
             " is masked and none is stored: it is not written");
        continue;
      }
      values.emplace_back(k, v);
    }
    out.action = Action::Created;
    out.changes.push_back({"Driver", std::nullopt, driver});
    for (const auto& [k, v] : values) out.changes.push_back({k, std::nullopt, v});
    return platform::SourceEdit{platform::SourceEdit::Kind::Replace, name, driver, std::move(values)};
  }

  platform::SourceEdit edit{platform::SourceEdit::Kind::Update, current->name, "", {}};
  const std::optional<std::string> value = First(current->values, "Driver");
  std::optional<std::string> listed = First(stored.listing, current->name);
  auto names = [&](const std::optional<std::string>& v) {
    return v && EqualsIgnoreCase(drivers.Find(*v).value_or(*v), driver);
  };
  if (!names(value)) out.changes.push_back({"Driver", value, driver});
  if (!names(listed))
    out.changes.push_back({std::string(platform::kDataSourcesSection), listed, driver});
  if (!out.changes.empty()) edit.driver = driver;
  for (const auto& [k, v] : wanted) {
    if (IsPasswordKeyword(k) && v == kMasked) continue;  // keep the stored one
    std::optional<std::string> now = First(current->values, k);
    if (now == v) continue;
    out.changes.push_back({k, now, v});
    edit.values.emplace_back(k, v);
  }
  if (out.changes.empty()) return std::nullopt;
  out.action = Action::Updated;
  return edit;
}

// The Driver value of a stored data source, else its line in the listing.
std::string StoredDriver(const platform::StoredSources& stored, const platform::StoredSource& source) {
  if (auto value = First(source.values, "Driver")) return *value;
  return First(stored.listing, source.name).value_or("");
}

// One change sent to a driver's setup library as an installer request.
struct Request {
  uint16_t code;
  std::string driver;
  std::string list;  // DSN=name, then the pairs
  size_t outcome;
  platform::Pairs values;
};

uint16_t ToRequest(const platform::SourceEdit& edit, bool exists, bool system) {
  if (edit.kind == platform::SourceEdit::Kind::Remove)
    return system ? platform::ODBC_REMOVE_SYS_DSN : platform::ODBC_REMOVE_DSN;
  if (edit.kind == platform::SourceEdit::Kind::Update && exists)
    return system ? platform::ODBC_CONFIG_SYS_DSN : platform::ODBC_CONFIG_DSN;
  return system ? platform::ODBC_ADD_SYS_DSN : platform::ODBC_ADD_DSN;
}

std::string RequestList(const platform::SourceEdit& edit) {
  std::string list;
  platform::AppendAttribute(list, "DSN", edit.name);
  if (edit.kind != platform::SourceEdit::Kind::Remove)
    for (const auto& [k, v] : edit.values) platform::AppendAttribute(list, k, v);
  return list + '\0';
}

struct ApplyArgs {
  Common common;
  std::string file;
  bool check = false, diff = false;
  double wait = 30;
};

// What the changes of one scope come to: written here, or sent to a setup library.
struct ScopeWork {
  std::vector<platform::SourceEdit> edits;
  std::vector<size_t> edited;  // each edit's entry
  std::vector<Request> requests;
};

// One run of apply: the wanted state, entry by entry, and what became of each.
class Application {
 public:
  Application(const ApplyArgs& args, std::vector<Incoming> incoming, Drivers drivers)
      : args_(args), incoming_(std::move(incoming)), drivers_(std::move(drivers)),
        outcomes_(incoming_.size()) {}

  // The entries of each scope; a usage error for a name given twice in one.
  std::optional<int> Index() {
    std::unordered_map<std::string, size_t> first[2];
    for (size_t i = 0; i < incoming_.size(); ++i) {
      const DataSource& s = incoming_[i].source;
      outcomes_[i].name = s.name;
      outcomes_[i].system = s.system;
      if (!first[s.system].emplace(Folded(s.name), i).second)
        return Usage(incoming_[i].where + ": given twice in one scope; nothing applied");
      of_[s.system].push_back(i);
    }
    return std::nullopt;
  }

  // Reads the scope, plans each of its entries and writes what differs, under its lock.
  void ApplyScope(bool sys) {
    if (of_[sys].empty()) return;
    try {
      platform::DataSourceStore::Lock lock;
      if (!args_.check) lock = sources::Lock(sys);
      const platform::StoredSources stored = sources::Read(sys);
      std::unordered_map<std::string, const platform::StoredSource*> existing;
      for (const platform::StoredSource& s : stored.sources) existing.emplace(Folded(s.name), &s);
      ScopeWork work;
      for (size_t i : of_[sys]) PlanEntry(i, sys, stored, existing, work);
      if (!args_.check) Write(sys, work);
    } catch (const std::exception& e) {
      for (size_t i : of_[sys])
        if (outcomes_[i].action != Action::Failed) Failed(outcomes_[i], e.what());
    }
  }

  int Report() const;

 private:
  void Failed(Outcome& out, const std::string& why) {
    out.action = Action::Failed;
    out.changes.clear();
    out.error = why;
    failed_ = true;
    Fail(std::string(ScopeName(out.system)) + " data source \"" + out.name + "\": " + why);
  }
  // The driver a present entry names, when tabrix may write its data source; else why not.
  std::string WhyNot(const Incoming& in, std::optional<std::string>& driver) const;
  void PlanEntry(size_t i, bool sys, const platform::StoredSources& stored,
                 const std::unordered_map<std::string, const platform::StoredSource*>& existing,
                 ScopeWork& work);
  void Write(bool sys, const ScopeWork& work);
  void PrintEntry(const Outcome& out, Json& dsns) const;

  const ApplyArgs& args_;
  std::vector<Incoming> incoming_;
  Drivers drivers_;
  std::vector<Outcome> outcomes_;
  std::vector<size_t> of_[2];  // the entries of each scope
  bool failed_ = false;
};

std::string Application::WhyNot(const Incoming& in, std::optional<std::string>& driver) const {
  driver = drivers_.Find(in.driverValue);
  if (!driver) return "the driver \"" + in.driverValue + "\" is not defined in " + Drivers::Where();
  if (!rules::DesktopDriver(*driver))
    return "the driver \"" + *driver +
           "\" is not one of the six desktop drivers; tabrix changes only data sources of those "
           "drivers";
  return WhyNotStorable(in.source.name, in.source.attributes);
}

void Application::PlanEntry(
    size_t i, bool sys, const platform::StoredSources& stored,
    const std::unordered_map<std::string, const platform::StoredSource*>& existing,
    ScopeWork& work) {
  const Incoming& in = incoming_[i];
  std::optional<std::string> driver;
  if (in.present)
    if (std::string why = WhyNot(in, driver); !why.empty()) return Failed(outcomes_[i], why);
  auto found = existing.find(Folded(in.source.name));
  const platform::StoredSource* current = found == existing.end() ? nullptr : found->second;
  if (current)
    if (std::string why = rules::WhyNotOurs(StoredDriver(stored, *current)); !why.empty())
      return Failed(outcomes_[i], why);
  auto edit = Plan(in, driver.value_or(""), stored, current, drivers_, outcomes_[i]);
  if (!edit) return;
  // A driver with a setup library decides itself what its data sources hold, as it does for
  // create: the change goes to it as a request.
  const std::string decider =
      edit->kind == platform::SourceEdit::Kind::Remove
          ? rules::DesktopDriver(StoredDriver(stored, *current)).value_or("")
          : *driver;
  if (!rules::SetupLibrary(decider).empty()) {
    work.requests.push_back({ToRequest(*edit, current != nullptr, sys), decider,
                             RequestList(*edit), i, edit->values});
    return;
  }
  work.edits.push_back(std::move(*edit));
  work.edited.push_back(i);
}

void Application::Write(bool sys, const ScopeWork& work) {
  platform::Pairs written;
  try {
    sources::Edit(sys, work.edits);
    for (const platform::SourceEdit& e : work.edits)
      written.insert(written.end(), e.values.begin(), e.values.end());
  } catch (const std::exception& e) {
    for (size_t i : work.edited) Failed(outcomes_[i], e.what());
  }
  for (const Request& r : work.requests) {
    if (platform::SQLConfigDataSource(nullptr, r.code, r.driver, r.list))
      written.insert(written.end(), r.values.begin(), r.values.end());
    else
      Failed(outcomes_[r.outcome], Shown(platform::InstallerError(), kLongText));
  }
  rules::WarnIfPasswordExposed(sys, written);
}

// One entry: in the JSON's list, or as lines of text when it differs.
void Application::PrintEntry(const Outcome& out, Json& dsns) const {
  const std::string action = ActionName(out.action);
  if (Differs(out.action) && !args_.check)
    NoteChange(action + " " + ScopeName(out.system) + " data source \"" + Shown(out.name) + "\"");
  if (args_.common.json) {
    Json changes = Json::array();
    for (const Change& c : out.changes)
      changes.push_back(
          {{"key", c.key}, {"before", Value(c.key, c.before)}, {"after", Value(c.key, c.after)}});
    Json entry{{"name", out.name},
               {"scope", ScopeName(out.system)},
               {"action", action},
               {"changes", std::move(changes)}};
    if (!out.error.empty()) entry["error"] = out.error;
    dsns.push_back(std::move(entry));
    return;
  }
  if (!Differs(out.action)) return;
  std::cout << Shown(out.name, 200) << " (" << ScopeName(out.system)
            << "): " << (args_.check ? "would be " + action : action) << '\n';
  if (args_.diff)
    for (const Change& c : out.changes)
      std::cout << "  " << Shown(c.key, 200) << ": " << Text(c.key, c.before) << " -> "
                << Text(c.key, c.after) << '\n';
}

int Application::Report() const {
  bool changed = false;
  size_t counts[kActionCount] = {};
  Json dsns = Json::array();
  for (const Outcome& out : outcomes_) {
    ++counts[static_cast<size_t>(out.action)];
    changed = changed || Differs(out.action);
    PrintEntry(out, dsns);
  }
  const size_t unchanged = counts[static_cast<size_t>(Action::Unchanged)];
  if (args_.common.json) {
    PrintJson({{"changed", changed}, {"dsns", std::move(dsns)}});
  } else if (!changed && !failed_) {
    std::cout << "Nothing to change: " << unchanged << " data source"
              << (unchanged == 1 ? "" : "s") << " as the state wants "
              << (unchanged == 1 ? "it" : "them") << ".\n";
  } else {
    std::cout << (args_.check ? "Would change: " : "Changed: ") << counts[0] << " created, "
              << counts[1] << " updated, " << counts[2] << " removed, " << unchanged
              << " unchanged";
    if (const size_t failures = counts[static_cast<size_t>(Action::Failed)]; failures > 0)
      std::cout << ", " << failures << " failed";
    std::cout << ".\n";
  }
  return failed_ ? kFailed : kOk;
}

// The wanted state and the drivers; the exit code when either cannot be had.
std::optional<int> ReadState(const ApplyArgs& args, std::vector<Incoming>& incoming,
                             std::optional<Drivers>& drivers) {
  const bool input = args.file == "-";
  try {
    std::string text;
    if (input)
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    else
      text = os::ReadWholeFile(args.file);
    try {
      incoming = ParseJson(text, input ? "standard input" : args.file, true);
    } catch (const Malformed& e) {
      return Usage(std::string(e.what()) + "; nothing applied");
    }
    drivers = Drivers::Read();
  } catch (const std::exception& e) {
    return Fail(std::string("cannot apply: ") + e.what());
  }
  return std::nullopt;
}

int RunApply(const ApplyArgs& args) {
  os::UseConfigDir(args.common.configDir);
  sources::UseLockWait(args.wait);
  std::vector<Incoming> incoming;
  std::optional<Drivers> drivers;
  if (auto exit = ReadState(args, incoming, drivers)) return *exit;
  Application application(args, std::move(incoming), std::move(*drivers));
  if (auto exit = application.Index()) return *exit;
  for (bool sys : {false, true}) application.ApplyScope(sys);
  return application.Report();
}

}  // namespace

Runner AddApply(CLI::App& app) {
  auto args = std::make_shared<ApplyArgs>();
  CLI::App* verb = app.add_subcommand(
      "apply", "Make data sources match a desired state: create, change, remove");
  verb->add_option("FILE", args->file,
                   "The state: export's JSON with \"state\": \"present\" or \"absent\" per data "
                   "source; - reads standard input")
      ->required();
  verb->add_flag("--check", args->check, "Report what would change; change nothing");
  verb->add_flag("--diff", args->diff, "Show each changed value before and after");
  AddWait(*verb, args->wait);
  AddCommon(*verb, args->common, true);
  verb->footer(
      "Values a data source has and the state does not name are left alone; a password of "
      "\"********\" keeps the stored one. Exit 0 whether or not anything changed, 1 when "
      "something could not be applied, 2 for a malformed state.\n"
      "Example: tabrix export --user > state.json; tabrix apply state.json --diff");
  return [args] { return RunApply(*args); };
}

}  // namespace tabrix::cli
