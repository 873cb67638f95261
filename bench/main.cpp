// tabrix_bench: one process per way and file size, since unixODBC reads ODBCSYSINI once per
// process. bench/compare drives it; each mode prints plain "key value" lines on stdout.
//
//   generate --dir=D --size=N           write the files for N data sources into D
//   time --way=W --size=N --reps=R --exists-reps=E [--benchmark_...]
//                                       median time of add, remove and the existence test
//   peak --way=W --op=add|remove|exists --size=N
//                                       peak resident set of one operation, in a fresh process
//   probe-cache                         how long libodbcinst answers from its value cache
//
// Every mode but generate takes its files from ODBCSYSINI and ODBCINI (see Files).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/Ways.h"
#include "library/TabrixCodeUnit.h"

#include <odbcinst.h>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// --key=value options; everything else is left for Google Benchmark.
struct Options {
  std::map<std::string, std::string> values;
  std::vector<char*> rest;

  Options(int argc, char** argv) {
    rest.push_back(argv[0]);
    for (int i = 2; i < argc; ++i) {
      std::string a = argv[i];
      size_t eq = a.find('=');
      if (a.starts_with("--") && !a.starts_with("--benchmark_") && eq != std::string::npos)
        values[a.substr(2, eq - 2)] = a.substr(eq + 1);
      else
        rest.push_back(argv[i]);
    }
  }
  std::string Get(const std::string& key) const {
    auto it = values.find(key);
    if (it != values.end()) return it->second;
    std::fprintf(stderr, "tabrix_bench: missing --%s\n", key.c_str());
    std::exit(2);
  }
  int Int(const std::string& key) const { return std::stoi(Get(key)); }
};

std::unique_ptr<Way> WayOrExit(const std::string& name, const Files& files) {
  std::unique_ptr<Way> way = MakeWay(name, files);
  if (!way) {
    std::fprintf(stderr, "tabrix_bench: unknown way \"%s\"\n", name.c_str());
    std::exit(2);
  }
  return way;
}

// Resident set figures of this process from /proc/self/status, in kB.
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
      return std::stol(line.substr(n + 1));
  return -1;
}

// Keeps the medians of the repetitions, and shows the usual console report on stderr.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  MedianReporter() : benchmark::ConsoleReporter(OO_Tabular) {
    SetOutputStream(&std::cerr);
    SetErrorStream(&std::cerr);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    benchmark::ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        std::printf("time %s %.9f %lld\n", run.run_name.function_name.c_str(),
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit),
                    static_cast<long long>(run.repetitions));
  }
};

// The tool's peaks are those of its own processes; one that only starts is the baseline.
void PrintChildPeaks(const std::map<std::string, long>& peakKb) {
  long idleKb = 0;
  for (const auto& [op, kb] : peakKb) {
    if (kb <= 0) continue;
    if (idleKb == 0) RunQuietly({"odbcinst", "--version"}, idleKb);
    std::printf("peak %s %ld %ld\n", op.c_str(), kb, idleKb);
  }
}

void Register(const char* name, std::function<void(benchmark::State&)> fn, int repetitions) {
  benchmark::RegisterBenchmark(name, std::move(fn))
      ->UseManualTime()
      ->Iterations(1)
      ->Repetitions(repetitions)
      ->ReportAggregatesOnly(true)
      ->Unit(benchmark::kMillisecond);
}

int Time(const Options& options) {
  const Files files = Files::FromEnvironment();
  std::unique_ptr<Way> way = WayOrExit(options.Get("way"), files);
  const int reps = options.Int("reps");
  const std::string last = SourceName(options.Int("size"));
  // The file the user file is an untouched copy of; empty once an operation changed it.
  std::string pristine;
  // The tool's peak per operation: every repetition is a process doing just that operation.
  std::map<std::string, long> childPeakKb;

  // One operation per iteration, on a file restored beforehand outside the timing.
  auto timeOne = [&](benchmark::State& state, const std::string& from, bool changesFile,
                     const char* what, const std::function<bool()>& op) {
    for (auto _ : state) {
      if (pristine != from) Restore(from, files.userFile);
      pristine = from;
      const auto start = Clock::now();
      const bool ok = op();
      state.SetIterationTime(Seconds(start));
      if (changesFile) pristine.clear();
      childPeakKb[what] = std::max(childPeakKb[what], way->LastChildPeakKb());
      if (!ok) {
        std::printf("error %s failed\n", what);
        state.SkipWithError(what);
        break;
      }
    }
  };
  Register(
      "add",
      [&](benchmark::State& s) { timeOne(s, files.base, true, "add", [&] { return way->Add(); }); },
      reps);
  Register(
      "remove",
      [&](benchmark::State& s) {
        timeOne(s, files.with, true, "remove", [&] { return way->Remove(); });
      },
      reps);
  Register(
      "exists",
      [&](benchmark::State& s) {
        timeOne(s, files.base, false, "exists", [&] { return way->Exists(last); });
      },
      options.Int("exists-reps"));

  int argc = static_cast<int>(options.rest.size());
  std::vector<char*> argv = options.rest;
  argv.push_back(nullptr);
  benchmark::Initialize(&argc, argv.data());
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  PrintChildPeaks(childPeakKb);
  return 0;
}

int Peak(const Options& options) {
  const Files files = Files::FromEnvironment();
  std::unique_ptr<Way> way = WayOrExit(options.Get("way"), files);
  const std::string op = options.Get("op");
  Restore(op == "remove" ? files.with : files.base, files.userFile);

  const long startKb = StatusKb("VmRSS");
  bool ok = false;
  if (op == "add")
    ok = way->Add();
  else if (op == "remove")
    ok = way->Remove();
  else if (op == "exists")
    ok = way->Exists(SourceName(options.Int("size")));
  const long peakKb = StatusKb("VmHWM");
  if (!ok) {
    std::printf("error %s failed\n", op.c_str());
    return 1;
  }
  if (way->LastChildPeakKb() > 0)
    PrintChildPeaks({{op, way->LastChildPeakKb()}});
  else
    std::printf("peak %s %ld %ld\n", op.c_str(), peakKb, startKb);
  return 0;
}

// Reads one value twice, removes its data source through libodbcinst, then asks again every
// quarter second until libodbcinst stops answering with the removed value.
int ProbeCache() {
  const Files files = Files::FromEnvironment();
  Restore(files.with, files.userFile);
  SQLSetConfigMode(ODBC_USER_DSN);
  char value[512];
  auto lookup = [&] {
    return SQLGetPrivateProfileString(kAddedName, "DBQ", "", value, sizeof value, "odbc.ini");
  };
  if (lookup() <= 0) {
    std::printf("error probe the added data source is not there\n");
    return 1;
  }
  auto start = Clock::now();
  lookup();
  std::printf("cached_lookup_s %.9f\n", Seconds(start));

  if (!SQLRemoveDSNFromIni(kAddedName)) {
    std::printf("error probe remove failed\n");
    return 1;
  }
  auto removed = Clock::now();
  char keys[4096];
  std::printf("listing_after_remove %d\n",
              SQLGetPrivateProfileString(kAddedName, nullptr, "", keys, sizeof keys, "odbc.ini"));
  std::printf("tabrix_after_remove %d\n", TabrixCodeUnit::FindDSN(kAddedName, 1) ? 1 : 0);
  std::printf("lookup_after_remove %d\n", lookup());
  while (lookup() > 0 && Seconds(removed) < 40)
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  std::printf("stale_for_s %.2f\n", Seconds(removed));
  return 0;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  using namespace bench;
  const std::string mode = argc > 1 ? argv[1] : "";
  const Options options(argc, argv);
  try {
    if (mode == "generate") {
      size_t bytes = Generate(options.Get("dir"), options.Int("size"));
      std::printf("bytes %zu\n", bytes);
      return 0;
    }
    if (mode == "time") return Time(options);
    if (mode == "peak") return Peak(options);
    if (mode == "probe-cache") return ProbeCache();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tabrix_bench: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: tabrix_bench generate|time|peak|probe-cache --key=value...\n");
  return 2;
}
