#include "tools/tabrix/Creators.h"

#include <iostream>

#include "library/TabrixCodeUnit.h"
#include "platform/odbcinst/AttributeList.h"
#include "platform/odbcinst/Installer.h"
#include "platform/registry/Registry.h"

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

  bool ConfigDataSource(platform::HWND parent, uint16_t request, const std::string& driver,
                        const std::string& attributes) override {
    called = true;
    this->request = request;
    this->driver = driver;
    this->attributes = attributes;
    plan = real_.Plan(request, driver, attributes);
    if (dryRun_) return plan.accepted;
    bool ok = real_.ConfigDataSource(parent, request, driver, attributes);
    reason = ok ? "" : real_.LastError();
    return ok;
  }

  std::string LastError() const override { return dryRun_ ? plan.reason : reason; }

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
  return request >= 4 ? "system" : "user";
}

std::string Where(int32_t request, const std::string& name) {
  platform::HKEY root =
      request >= 4 && request <= 6 ? platform::HKEY_LOCAL_MACHINE : platform::HKEY_CURRENT_USER;
  return platform::CurrentKeyStore().Describe(
      root, "\\Software\\ODBC\\ODBC.INI\\" + (request == 7 ? "Default" : name));
}

// Why Execute answered false without reaching the installer.
std::string UnsentReason(const TTabrixCreator& creator, int32_t request) {
  const std::string name = creator.GetDSNNameOrAlias();
  if (request == 0) return "the action is not one of the known actions";
  if (name.empty()) return "the data source needs a name";
  if ((request == 1 || request == 4) && TabrixCodeUnit::FindDSN(name, request))
    return "the " + std::string(ScopeName(request)) + " data source \"" + name +
           "\" exists already (" + Where(request, name) + ")";
  return "the library refused it: an argument holds a NUL byte";
}

void PrintSent(const Observer& sent, std::ostream& out) {
  platform::AttributePairs pairs;
  size_t consumed = 0;
  std::string ignored;
  platform::ParseAttributeList(sent.attributes, pairs, consumed, ignored);
  out << "request:    " << sent.request << " ("
      << (sent.request < 8 ? kRequestNames[sent.request] : "unknown") << ")\n";
  out << "driver:     " << sent.driver << '\n';
  out << "attributes:\n";
  for (const auto& [k, v] : pairs) out << "  " << MaskedPair(k, v) << '\n';
}

Json SentJson(const Observer& sent) {
  platform::AttributePairs pairs;
  size_t consumed = 0;
  std::string ignored;
  platform::ParseAttributeList(sent.attributes, pairs, consumed, ignored);
  Json attributes = Json::array();
  for (const auto& [k, v] : pairs) attributes.push_back(MaskedPair(k, v));
  return Json{{"request", sent.request},
              {"requestName", sent.request < 8 ? kRequestNames[sent.request] : "unknown"},
              {"driver", sent.driver},
              {"attributes", std::move(attributes)}};
}

}  // namespace

int RunCreator(TTabrixCreator& creator, bool dryRun, Json* json, const std::string& label) {
  const std::string lead = label.empty() ? "" : label + ": ";
  const int32_t request = GetDSNActionFromEnumType(creator.GetAction());
  const std::string name = creator.GetDSNNameOrAlias();
  Observer observer(platform::CurrentInstaller(), dryRun);
  bool ok = false;
  {
    platform::ScopedInstaller use(observer);
    ok = creator.Execute();
  }

  std::string reason;
  if (!ok) reason = observer.called ? observer.LastError() : UnsentReason(creator, request);
  const std::string target = observer.called && !observer.plan.target.empty()
                                 ? observer.plan.target
                                 : Where(request, name);
  const std::string verb = request >= 1 && request <= 7 ? kVerbs[request] : "execute";

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
              << " data source \"" << name << "\"\n";
    if (observer.called) PrintSent(observer, std::cout);
    std::cout << "target:     " << target << '\n';
    if (!ok) std::cout << "refused:    " << reason << '\n';
  } else if (ok) {
    std::cout << lead << verb << ": " << ScopeName(request) << " data source \"" << name << "\" ("
              << target << ")\n";
  }
  if (!ok && !dryRun && !json)
    return Fail(lead + "cannot " + verb + " " + ScopeName(request) + " data source \"" + name +
                "\": " + reason);
  return ok ? kOk : kFailed;
}

}  // namespace tabrix::cli
