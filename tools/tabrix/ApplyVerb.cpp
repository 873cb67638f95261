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

struct Outcome {
  std::string name;
  bool system = true;
  std::string action = "unchanged";  // created, updated, removed, unchanged, failed
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
std::optional<host::SourceEdit> Plan(const Incoming& in, const std::string& driver,
                                     const host::StoredSources& stored,
                                     const host::StoredSource* current, const Drivers& drivers,
                                     Outcome& out) {
  const std::string& name = in.source.name;
  if (!in.present) {
    if (!current) return std::nullopt;
    out.action = "removed";
    for (const auto& [k, v] : current->values) out.changes.push_back({k, v, std::nullopt});
    return host::SourceEdit{host::SourceEdit::Kind::Remove, current->name, "", {}};
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
    out.action = "created";
    out.changes.push_back({"Driver", std::nullopt, driver});
    for (const auto& [k, v] : values) out.changes.push_back({k, std::nullopt, v});
    return host::SourceEdit{host::SourceEdit::Kind::Replace, name, driver, std::move(values)};
  }

  host::SourceEdit edit{host::SourceEdit::Kind::Update, current->name, "", {}};
  const std::optional<std::string> value = First(current->values, "Driver");
  std::optional<std::string> listed = First(stored.listing, current->name);
  auto names = [&](const std::optional<std::string>& v) {
    return v && EqualsIgnoreCase(drivers.Find(*v).value_or(*v), driver);
  };
  if (!names(value)) out.changes.push_back({"Driver", value, driver});
  if (!names(listed))
    out.changes.push_back({std::string(platform::odbcini::kDataSourcesSection), listed, driver});
  if (!out.changes.empty()) edit.driver = driver;
  for (const auto& [k, v] : wanted) {
    if (IsPasswordKeyword(k) && v == kMasked) continue;  // keep the stored one
    std::optional<std::string> now = First(current->values, k);
    if (now == v) continue;
    out.changes.push_back({k, now, v});
    edit.values.emplace_back(k, v);
  }
  if (out.changes.empty()) return std::nullopt;
  out.action = "updated";
  return edit;
}

// The Driver value of a stored data source, else its line in the listing.
std::string StoredDriver(const host::StoredSources& stored, const host::StoredSource& source) {
  if (auto value = First(source.values, "Driver")) return *value;
  return First(stored.listing, source.name).value_or("");
}

// One change sent to a driver's setup library as an installer request.
struct Request {
  uint16_t code;
  std::string driver;
  std::string list;  // DSN=name, then the pairs
  size_t outcome;
  host::Pairs values;
};

uint16_t ToRequest(const host::SourceEdit& edit, bool exists, bool system) {
  if (edit.kind == host::SourceEdit::Kind::Remove)
    return system ? platform::ODBC_REMOVE_SYS_DSN : platform::ODBC_REMOVE_DSN;
  if (edit.kind == host::SourceEdit::Kind::Update && exists)
    return system ? platform::ODBC_CONFIG_SYS_DSN : platform::ODBC_CONFIG_DSN;
  return system ? platform::ODBC_ADD_SYS_DSN : platform::ODBC_ADD_DSN;
}

std::string RequestList(const host::SourceEdit& edit) {
  std::string list;
  platform::AppendAttribute(list, "DSN", edit.name);
  if (edit.kind != host::SourceEdit::Kind::Remove)
    for (const auto& [k, v] : edit.values) platform::AppendAttribute(list, k, v);
  return list + '\0';
}

}  // namespace

Runner AddApply(CLI::App& app) {
  struct Args {
    Common common;
    std::string file;
    bool check = false, diff = false;
    double wait = 30;
  };
  auto args = std::make_shared<Args>();
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
  return [args] {
    host::UseConfigDir(args->common.configDir);
    host::UseLockWait(args->wait);
    const bool input = args->file == "-";
    const std::string file = input ? "standard input" : args->file;
    std::vector<Incoming> incoming;
    std::optional<Drivers> drivers;
    try {
      std::string text;
      if (input)
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
      else
        text = host::ReadWholeFile(args->file);
      try {
        incoming = ParseJson(text, file, true);
      } catch (const Malformed& e) {
        return Usage(std::string(e.what()) + "; nothing applied");
      }
      drivers = Drivers::Read();
    } catch (const std::exception& e) {
      return Fail(std::string("cannot apply: ") + e.what());
    }

    std::vector<Outcome> outcomes(incoming.size());
    std::vector<size_t> of[2];  // the entries of each scope
    std::unordered_map<std::string, size_t> first[2];
    for (size_t i = 0; i < incoming.size(); ++i) {
      const Incoming& in = incoming[i];
      outcomes[i].name = in.source.name;
      outcomes[i].system = in.source.system;
      if (!first[in.source.system].emplace(Folded(in.source.name), i).second)
        return Usage(in.where + ": given twice in one scope; nothing applied");
      of[in.source.system].push_back(i);
    }

    bool failed = false;
    auto fail = [&](Outcome& out, const std::string& why) {
      out.action = "failed";
      out.changes.clear();
      out.error = why;
      failed = true;
      Fail(std::string(ScopeName(out.system)) + " data source \"" + out.name + "\": " + why);
    };
    for (bool sys : {false, true}) {
      if (of[sys].empty()) continue;
      try {
        std::shared_ptr<void> lock;
        if (!args->check) lock = host::LockDataSources(sys);
        const host::StoredSources stored = host::ReadDataSources(sys);
        std::unordered_map<std::string, const host::StoredSource*> existing;
        for (const host::StoredSource& s : stored.sources) existing.emplace(Folded(s.name), &s);
        std::vector<host::SourceEdit> edits;
        std::vector<size_t> edited;
        std::vector<Request> requests;
        for (size_t i : of[sys]) {
          const Incoming& in = incoming[i];
          std::optional<std::string> driver;
          if (in.present) {
            driver = drivers->Find(in.driverValue);
            if (!driver) {
              fail(outcomes[i],
                   "the driver \"" + in.driverValue + "\" is not defined in " + Drivers::Where());
              continue;
            }
            if (!rules::DesktopDriver(*driver)) {
              fail(outcomes[i], "the driver \"" + *driver +
                                    "\" is not one of the six desktop drivers; tabrix changes "
                                    "only data sources of those drivers");
              continue;
            }
            if (std::string why = WhyNotWritable(in.source.name, in.source.attributes);
                !why.empty()) {
              fail(outcomes[i], why);
              continue;
            }
          }
          auto found = existing.find(Folded(in.source.name));
          const host::StoredSource* current = found == existing.end() ? nullptr : found->second;
          if (current) {
            if (std::string why = rules::WhyNotOurs(StoredDriver(stored, *current));
                !why.empty()) {
              fail(outcomes[i], why);
              continue;
            }
          }
          auto edit = Plan(in, driver.value_or(""), stored, current, *drivers, outcomes[i]);
          if (!edit) continue;
          // A driver with a setup library decides itself what its data sources hold, as it
          // does for create: the change goes to it as a request.
          const std::string decider =
              edit->kind == host::SourceEdit::Kind::Remove
                  ? rules::DesktopDriver(StoredDriver(stored, *current)).value_or("")
                  : *driver;
          if (!rules::SetupLibrary(decider).empty()) {
            requests.push_back({ToRequest(*edit, current != nullptr, sys), decider,
                                RequestList(*edit), i, edit->values});
            continue;
          }
          edits.push_back(std::move(*edit));
          edited.push_back(i);
        }
        if (!args->check) {
          host::Pairs written;
          try {
            host::EditDataSources(sys, edits);
            for (const host::SourceEdit& e : edits)
              written.insert(written.end(), e.values.begin(), e.values.end());
          } catch (const std::exception& e) {
            for (size_t i : edited) fail(outcomes[i], e.what());
          }
          for (const Request& r : requests) {
            if (platform::SQLConfigDataSource(nullptr, r.code, r.driver, r.list))
              written.insert(written.end(), r.values.begin(), r.values.end());
            else
              fail(outcomes[r.outcome], Shown(platform::InstallerError(), kLongText));
          }
          rules::WarnIfPasswordExposed(sys, written);
        }
      } catch (const std::exception& e) {
        for (size_t i : of[sys])
          if (outcomes[i].action != "failed") fail(outcomes[i], e.what());
      }
    }

    bool changed = false;
    size_t counts[5] = {};
    const char* kActions[5] = {"created", "updated", "removed", "unchanged", "failed"};
    Json dsns = Json::array();
    for (const Outcome& out : outcomes) {
      for (size_t a = 0; a < 5; ++a)
        if (out.action == kActions[a]) ++counts[a];
      const bool differs = out.action != "unchanged" && out.action != "failed";
      changed = changed || differs;
      if (differs && !args->check)
        NoteChange(out.action + " " + ScopeName(out.system) + " data source \"" +
                   Shown(out.name) + "\"");
      if (args->common.json) {
        Json changes = Json::array();
        for (const Change& c : out.changes)
          changes.push_back({{"key", c.key},
                             {"before", Value(c.key, c.before)},
                             {"after", Value(c.key, c.after)}});
        Json entry{{"name", out.name},
                   {"scope", ScopeName(out.system)},
                   {"action", out.action},
                   {"changes", std::move(changes)}};
        if (!out.error.empty()) entry["error"] = out.error;
        dsns.push_back(std::move(entry));
        continue;
      }
      if (!differs) continue;
      std::string action = out.action;
      if (args->check) action = "would be " + action;
      std::cout << Shown(out.name, 200) << " (" << ScopeName(out.system) << "): " << action << '\n';
      if (args->diff)
        for (const Change& c : out.changes)
          std::cout << "  " << Shown(c.key, 200) << ": " << Text(c.key, c.before) << " -> "
                    << Text(c.key, c.after) << '\n';
    }
    if (args->common.json) {
      PrintJson({{"changed", changed}, {"dsns", std::move(dsns)}});
    } else if (!changed && !failed) {
      std::cout << "Nothing to change: " << counts[3] << " data source"
                << (counts[3] == 1 ? "" : "s") << " as the state wants "
                << (counts[3] == 1 ? "it" : "them") << ".\n";
    } else {
      std::cout << (args->check ? "Would change: " : "Changed: ") << counts[0] << " created, "
                << counts[1] << " updated, " << counts[2] << " removed, " << counts[3]
                << " unchanged";
      if (counts[4] > 0) std::cout << ", " << counts[4] << " failed";
      std::cout << ".\n";
    }
    return failed ? kFailed : kOk;
  };
}

}  // namespace tabrix::cli
