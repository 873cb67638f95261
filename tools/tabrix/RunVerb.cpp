// run: every TTabrixCreator stored in a form file, executed in order, as an application
// reading that form would.
#include <iostream>

#include "platform/framework/FormFile.h"
#include "tools/tabrix/Sources.h"
#include "tools/tabrix/Creators.h"

namespace tabrix::cli {
namespace {

using TabrixCreateUnit::TTabrixCreator;

// EReadError's text without its "line N: " start.
std::string WhatIsWrong(const platform::EReadError& e) {
  std::string what = e.what();
  const std::string lead = "line " + std::to_string(e.Line()) + ": ";
  return what.rfind(lead, 0) == 0 ? what.substr(lead.size()) : what;
}

// The component's name in the form, or its place among the creators.
std::string Label(const TTabrixCreator& creator, size_t index) {
  return creator.GetName().empty() ? "#" + std::to_string(index + 1) : creator.GetName();
}

struct Args {
  Common common;
  bool dryRun = false;
  double wait = 30;
  std::string file;
};

// Nothing runs while any creator would be refused for what it is; what depends on the data
// sources (one that exists already, or not yet) is left to each in its turn. False, having
// told why, when one would be.
bool NoneRefused(const Args& args, const std::vector<platform::TComponent*>& creators) {
  std::vector<std::pair<std::string, std::string>> faults;
  for (size_t i = 0; i < creators.size() && !args.dryRun; ++i) {
    auto& creator = static_cast<TTabrixCreator&>(*creators[i]);
    if (std::string why = WhyRefusedWhatever(creator); !why.empty())
      faults.emplace_back(Label(creator, i), why);
  }
  if (faults.empty()) return true;
  Json refused = Json::array();
  for (const auto& [label, why] : faults) {
    if (args.common.json)
      refused.push_back({{"component", label}, {"reason", why}});
    else
      Fail(args.file + ": " + label + ": " + why);
  }
  if (args.common.json)
    PrintJson({{"file", args.file}, {"executed", false}, {"refused", std::move(refused)}});
  return false;
}

int ExecuteAll(const Args& args, const std::vector<platform::TComponent*>& creators) {
  int code = kOk;
  Json results = Json::array();
  Progress progress("Executing", creators.size() > 1 ? creators.size() : 0);
  for (size_t i = 0; i < creators.size(); ++i) {
    auto& creator = static_cast<TTabrixCreator&>(*creators[i]);
    const std::string label = Label(creator, i);
    Json result;
    if (RunCreator(creator, args.dryRun, args.common.json ? &result : nullptr, label) != kOk)
      code = kFailed;
    if (args.common.json) results.push_back(std::move(result));
    progress.Step(i + 1);
  }
  if (args.common.json) PrintJson({{"file", args.file}, {"results", std::move(results)}});
  return code;
}

int Run(const Args& args) {
  std::string text;
  try {
    text = os::ReadWholeFile(args.file);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  platform::TComponent form(nullptr);  // owns what is read, frees it with itself
  std::vector<platform::TComponent*> creators;
  try {
    creators = platform::ReadComponents(text, form, {&TTabrixCreator::StaticClass()});
  } catch (const platform::EReadError& e) {
    return Fail(args.file + ":" + std::to_string(e.Line()) + ": " + WhatIsWrong(e));
  }
  if (creators.empty() && !args.common.json)
    std::cout << args.file << ": no TTabrixCreator in the file\n";
  if (!NoneRefused(args, creators)) return Fail(args.file + ": nothing was executed");
  return ExecuteAll(args, creators);
}

}  // namespace

Runner AddRun(CLI::App& app) {
  auto args = std::make_shared<Args>();
  CLI::App* verb = app.add_subcommand(
      "run",
      "Execute every TTabrixCreator stored in a form file, in order (the whole file is "
      "checked first; a fault executes nothing)");
  verb->add_option("FORMFILE", args->file, "A text form file")->required();
  verb->add_flag("--dry-run", args->dryRun, "Show what each one would send; change nothing");
  AddWait(*verb, args->wait);
  AddCommon(*verb, args->common, true);
  verb->footer("Example: tabrix run Setup.dfm --dry-run");
  return [args] {
    os::UseConfigDir(args->common.configDir);
    sources::UseLockWait(args->wait);
    return Run(*args);
  };
}

}  // namespace tabrix::cli
