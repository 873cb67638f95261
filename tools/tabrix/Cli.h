// The tabrix command-line client: shared pieces of its verbs.
#pragma once

#include <nlohmann/json.hpp>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/tabrix/Os.h"
#include "tools/tabrix/Passwords.h"

namespace tabrix::cli {

// Keys stay in the order they were added.
using Json = nlohmann::ordered_json;

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;  // refused, failed, or not found
inline constexpr int kUsage = 2;

// Options every verb takes.
struct Common {
  std::string configDir;
  bool json = false;
};

// --user / --system; neither means both where a verb looks, the system where it changes.
struct Scope {
  bool user = false;
  bool system = false;
  bool Both() const { return user == system; }
};

void AddCommon(CLI::App& verb, Common& common, bool json);
void AddScope(CLI::App& verb, Scope& scope);

// Output.
bool ProgressWanted();  // a terminal or console on standard error
class Progress {
 public:
  Progress(std::string what, size_t total);
  ~Progress();
  void Step(size_t done);

 private:
  std::string what_;
  size_t total_;
  bool shown_;
  int lastPercent_ = -1;
  int width_ = 0;  // of the longest line shown, to blank it at the end
};

using Row = std::vector<std::string>;
// Left-aligned columns under a header, two blanks apart.
void PrintTable(const Row& header, const std::vector<Row>& rows);
void PrintJson(const Json& value);
// What this run changed, for the one message that must still say so when the output itself
// cannot be written (a full disk, a closed pipe): "created user data source "Sales"".
void NoteChange(const std::string& what);
const std::vector<std::string>& ChangesMade();
int Fail(const std::string& message);   // prints "tabrix: message" to stderr, returns kFailed
int Usage(const std::string& message);  // the same, returns kUsage
void Warn(const std::string& message);
void Notice(const std::string& message);  // "tabrix: message", for what is neither fault nor risk
// Text from a file or the command line, fit to echo: control bytes escaped (\xNN), cut to
// `limit` bytes with "..." after.
std::string Shown(std::string_view text, size_t limit = 64);
inline constexpr size_t kLongText = 4096;  // for paths and reasons, which hold names
// Why `name` cannot name a data source (empty, or the listing section); "" when it can.
std::string WhyNotAName(const std::string& name);
// --wait SECONDS, for the verbs that change files: how long to wait for another process's
// lock (30 by default, 0 = do not wait).
void AddWait(CLI::App& verb, double& seconds);
inline constexpr double kMaxWait = 1e6;  // eleven days: longer is a mistake, not a wish
// For integer options: decimal digits with an optional sign ("010" is ten, "" an error).
CLI::Validator DecimalInteger();

// The verbs. Each registers itself and returns the function that runs it once parsed.
using Runner = std::function<int()>;
Runner AddFind(CLI::App& app);
Runner AddList(CLI::App& app);
Runner AddDrivers(CLI::App& app);
Runner AddRegisterMdw(CLI::App& app);
Runner AddCreate(CLI::App& app);
Runner AddConfigure(CLI::App& app);
Runner AddRemove(CLI::App& app);
Runner AddRun(CLI::App& app);
Runner AddAbout(CLI::App& app);
Runner AddExport(CLI::App& app);
Runner AddImport(CLI::App& app);
Runner AddApply(CLI::App& app);

}  // namespace tabrix::cli
