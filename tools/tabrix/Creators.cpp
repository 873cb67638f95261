#include "tools/tabrix/Creators.h"

#include <iostream>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Rules.h"
#include "tools/tabrix/Sources.h"

namespace tabrix::cli {
namespace {

using namespace TabrixCreateUnit;

// Stands in front of the installer in force: keeps what Execute sent and what came back;
// on a dry run it asks for the installer's plan instead of the change itself.
class Observer : public platform::Installer {
 public:
  Observer(platform::Installer& real, bool dryRun) : real_(real), dryRun_(dryRun) {}

  platform::InstallPlan Plan(uint16_t request, const std::string& driver,
                             const std::string& attributes) override {
    return real_.Plan(request, driver, attributes);
  }

  platform::Status ConfigDataSource(platform::HWND parent, uint16_t request,
                                    const std::string& driver,
                                    const std::string& attributes) override {
    called = true;
    this->request = request;
    this->driver = driver;
    this->attributes = attributes;
    plan = real_.Plan(request, driver, attributes);
    platform::Status done = dryRun_ ? (plan.accepted ? platform::Status()
                                                     : platform::Refused(plan.reason))
                                    : real_.ConfigDataSource(parent, request, driver, attributes);
    reason = done.reason();
    return done;
  }

  bool called = false;
  uint16_t request = 0;
  std::string driver, attributes, reason;
  platform::InstallPlan plan;

 private:
  platform::Installer& real_;
  bool dryRun_;
};

const char* const kRequestNames[] = {"",
                                     "ODBC_ADD_DSN",
                                     "ODBC_CONFIG_DSN",
                                     "ODBC_REMOVE_DSN",
                                     "ODBC_ADD_SYS_DSN",
                                     "ODBC_CONFIG_SYS_DSN",
                                     "ODBC_REMOVE_SYS_DSN",
                                     "ODBC_REMOVE_DEFAULT_DSN"};
const char* const kVerbs[] = {"",       "create",    "configure", "remove",
                              "create", "configure", "remove",    "remove"};

const char* ScopeName(int32_t request) {
  if (request == 7) return "default";
  return platform::IsSystemRequest(request) ? "system" : "user";
}

std::string Where(int32_t request, const std::string& name) {
  return Shown(
      sources::Store().Where(platform::IsSystemRequest(request), request == 7 ? "Default" : name),
      kLongText);
}

platform::AttributePairs SentPairs(const Observer& sent) {
  platform::AttributePairs pairs;
  size_t consumed = 0;
  std::string ignored;
  platform::ParseAttributeList(sent.attributes, pairs, consumed, ignored);
  return pairs;
}

void PrintSent(const Observer& sent, std::ostream& out) {
  out << "request:    " << sent.request << " ("
      << (sent.request < 8 ? kRequestNames[sent.request] : "unknown") << ")\n";
  out << "driver:     " << sent.driver << '\n';
  out << "attributes:\n";
  for (const auto& [k, v] : SentPairs(sent)) out << "  " << Shown(MaskedPair(k, v), 1000) << '\n';
}

Json SentJson(const Observer& sent) {
  Json attributes = Json::array();
  for (const auto& [k, v] : SentPairs(sent)) attributes.push_back(MaskedPair(k, v));
  return Json{{"request", sent.request},
              {"requestName", sent.request < 8 ? kRequestNames[sent.request] : "unknown"},
              {"driver", sent.driver},
              {"attributes", std::move(attributes)}};
}

// A password written into a file that others can read is worth a warning.
void WarnIfPasswordExposed(const Observer& sent, int32_t request) {
  if (request == 3 || request == 6 || request == 7) return;
  rules::WarnIfPasswordExposed(platform::IsSystemRequest(request), SentPairs(sent));
}

// Runs `send` (Execute, or one request of the client's own) with the observer in front of
// the installer, under the lock of the file it changes, and reports as RunCreator says.
int Run(int32_t request, const std::string& name, bool dryRun, Json* json, const std::string& label,
        const std::function<bool()>& send) {
  const std::string lead = label.empty() ? "" : label + ": ";
  const std::string verb = request >= 1 && request <= 7 ? kVerbs[request] : "execute";
  Observer observer(platform::CurrentInstaller(), dryRun);
  bool ok = false;
  std::string reason;
  try {
    // From the existence test before a create to the rename of the file written.
    std::shared_ptr<void> lock =
        dryRun ? nullptr : sources::Lock(platform::IsSystemRequest(request));
    platform::ScopedInstaller use(observer);
    ok = send();
    // The reason comes from the layer that refused: the installer, or the library or the
    // component before it.
    if (!ok) reason = platform::InstallerError();
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (ok && !dryRun) {
    WarnIfPasswordExposed(observer, request);
    NoteChange(lead + verb + " " + ScopeName(request) + " data source \"" + Shown(name) + "\"");
  }
  const std::string target = observer.called && !observer.plan.target.empty()
                                 ? Shown(observer.plan.target, kLongText)
                                 : Where(request, name);
  reason = Shown(reason, kLongText);

  if (json) {
    Json result;
    if (!label.empty()) result["component"] = label;
    result.update(Json{{"name", name}, {"action", verb}, {"scope", ScopeName(request)}});
    if (dryRun) result["dryRun"] = true;
    if (observer.called) result.update(SentJson(observer));
    result["target"] = target;
    result["ok"] = ok;
    if (!ok) result["reason"] = reason;
    *json = std::move(result);
  } else if (dryRun) {
    std::cout << lead << "dry run, nothing changed: " << verb << ' ' << ScopeName(request)
              << " data source \"" << Shown(name) << "\"\n";
    if (observer.called) PrintSent(observer, std::cout);
    std::cout << "target:     " << target << '\n';
    if (!ok) std::cout << "refused:    " << reason << '\n';
  } else if (ok) {
    std::cout << lead << verb << ": " << ScopeName(request) << " data source \"" << Shown(name)
              << "\" (" << target << ")\n";
  }
  if (!ok && !dryRun && !json)
    return Fail(lead + "cannot " + verb + " " + ScopeName(request) + " data source \"" +
                Shown(name) + "\": " + reason);
  return ok ? kOk : kFailed;
}

}  // namespace

std::string WhyRefusedWhatever(TTabrixCreator& creator) {
  const std::string name = creator.GetDSNNameOrAlias();
  const int32_t request = GetDSNActionFromEnumType(creator.GetAction());
  if (request == 0) return "the action is not one of the known actions";
  if (std::string why = WhyNotAName(name); !why.empty()) return why;
  Observer observer(platform::CurrentInstaller(), true);
  bool ok = false;
  {
    platform::ScopedInstaller use(observer);
    ok = creator.Execute();
  }
  if (ok) return "";
  if (observer.called) return observer.plan.dependsOnState ? "" : observer.reason;
  // An add of one that exists already depends on the data sources too.
  const bool adds = request == 1 || request == 4;
  return adds && TabrixCodeUnit::FindDSN(name, request) ? "" : platform::InstallerError();
}

int RunCreator(TTabrixCreator& creator, bool dryRun, Json* json, const std::string& label) {
  return Run(GetDSNActionFromEnumType(creator.GetAction()), creator.GetDSNNameOrAlias(), dryRun,
             json, label, [&] { return creator.Execute(); });
}

int RunRequest(uint16_t request, const std::string& driver, const std::string& attributes,
               const std::string& name, bool dryRun, Json* json) {
  return Run(request, name, dryRun, json, "",
             [&] { return platform::SQLConfigDataSource(nullptr, request, driver, attributes); });
}

int RunLibraryCall(int32_t request, const std::string& name, bool dryRun, Json* json,
                   const std::function<bool()>& send) {
  return Run(request, name, dryRun, json, "", send);
}

}  // namespace tabrix::cli
