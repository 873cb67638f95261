#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/text/Text.h"
#include "tools/tabrix/Cli.h"

namespace tabrix::cli {

void AddCommon(CLI::App& verb, Common& common, bool json) {
  os::AddConfigDirOption(verb, common.configDir);
  if (json) verb.add_flag("--json", common.json, "Print JSON");
}

void AddScope(CLI::App& verb, Scope& scope) {
  auto* user = verb.add_flag("--user", scope.user, "User data sources");
  auto* system = verb.add_flag("--system", scope.system, "System data sources");
  user->excludes(system);
}

bool ProgressWanted() { return os::StandardErrorIsTerminal(); }

Progress::Progress(std::string what, size_t total)
    : what_(std::move(what)), total_(total), shown_(ProgressWanted() && total > 0) {}

// Blanks over the line rather than an ANSI erase, which not every Windows console obeys.
Progress::~Progress() {
  if (shown_ && width_ > 0) std::fprintf(stderr, "\r%*s\r", width_, "");
}

void Progress::Step(size_t done) {
  if (!shown_) return;
  int percent = static_cast<int>(100 * std::min(done, total_) / total_);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  width_ = std::max(
      width_,
      std::fprintf(stderr, "\r%s %3d%% (%zu/%zu)", what_.c_str(), percent, done, total_) - 1);
  std::fflush(stderr);
}

void PrintTable(const Row& header, const std::vector<Row>& rows) {
  std::vector<size_t> widths(header.size());
  for (size_t i = 0; i < header.size(); ++i) widths[i] = header[i].size();
  for (const Row& row : rows)
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], row[i].size());
  auto print = [&](const Row& row) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::cout << line << '\n';
  };
  print(header);
  for (const Row& row : rows) print(row);
}

void PrintJson(const Json& value) {
  // Bytes that are not UTF-8 (names in a legacy code page) are replaced, not fatal.
  std::cout << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

namespace {
std::vector<std::string>& Changes() {
  static std::vector<std::string> changes;
  return changes;
}
}  // namespace

void NoteChange(const std::string& what) { Changes().push_back(what); }
const std::vector<std::string>& ChangesMade() { return Changes(); }

namespace {
// One write per line, so that lines of runs sharing a terminal or a log do not mix.
void Say(const std::string& prefix, const std::string& message) {
  std::cerr << (prefix + Shown(message, kLongText) + '\n') << std::flush;
}
}  // namespace

// Messages echo names and values from files and arguments: never a raw control byte.
int Fail(const std::string& message) {
  Notice(message);
  return kFailed;
}

int Usage(const std::string& message) {
  Fail(message);
  return kUsage;
}

void Warn(const std::string& message) {
  Say("tabrix: warning: ", message);
}

void Notice(const std::string& message) { Say("tabrix: ", message); }

std::string Shown(std::string_view text, size_t limit) {
  std::string out = platform::text::EscapeControls(text.substr(0, limit));
  if (text.size() > limit) out += "...";
  return out;
}

std::string WhyNotAName(const std::string& name) {
  if (name.empty()) return "NAME must not be empty";
  return platform::WhyListingName(name);
}

void AddWait(CLI::App& verb, double& seconds) {
  verb.add_option("--wait", seconds,
                  "Seconds to wait for a lock held by another process (0: do not wait)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0 ||
                value > kMaxWait)
              return "a number of seconds from 0 to " + std::to_string(int(kMaxWait)) +
                     " is needed, not " + Shown(text);
            return "";
          },
          "SECONDS"))
      ->default_val(30);
}

// CLI11 would read "010" as octal and "" as nothing: integers here are decimal, and given.
CLI::Validator DecimalInteger() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
        if (text.size() <= digits ||
            text.find_first_not_of("0123456789", digits) != std::string::npos)
          return "a decimal integer is needed, not '" + Shown(text) + "'";
        const size_t first = std::min(text.find_first_not_of('0', digits), text.size() - 1);
        text.erase(digits, first - digits);
        return "";
      },
      "INTEGER");
}

}  // namespace tabrix::cli
