// tabrix_bench: one process per way and file size, since unixODBC reads ODBCSYSINI once per
// process. bench/compare drives it; each mode prints plain "key value..." lines on stdout.
//
//   generate --dir=D --size=N     write the files for N data sources into D
//   time --way=W --size=N --reps=ADD,REMOVE,EXISTS [--client=PATH] [--benchmark_...]
//                                 median times of add, remove and the existence test, and
//                                 the peak resident set of a process doing just one of them
//   probe-cache                   how long libodbcinst answers from its value cache
//   concurrent --way=client|profile --writers=W --each=N [--client=PATH]
//                                 W writers started at once, each adding N data sources,
//                                 then what the user file holds
//   fsync --reps=N                one fsync of a file the user file's size, just written
//   program --reps=N --output=F -- PROGRAM ARGS...
//                                 median time and largest peak of N runs of a program,
//                                 the last run's standard output in F
//
// Every mode but generate takes its files from ODBCSYSINI and ODBCINI (see Files).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "bench/BenchFiles.h"
#include "bench/Concurrency.h"
#include "bench/Measure.h"
#include "bench/Ways.h"
#include "library/TabrixCodeUnit.h"

// After our own headers: unixODBC defines the request codes as macros.
#include <odbcinst.h>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// --key=value options; everything after "--" is a program to run, everything else is left
// for Google Benchmark.
struct Options {
  std::map<std::string, std::string> values;
  std::vector<char*> rest;
  std::vector<std::string> program;

  Options(int argc, char** argv) {
    rest.push_back(argv[0]);
    for (int i = 2; i < argc; ++i) {
      std::string a = argv[i];
      if (a == "--") {
        program.assign(argv + i + 1, argv + argc);
        break;
      }
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
  std::string GetOr(const std::string& key, const std::string& otherwise) const {
    return values.count(key) ? Get(key) : otherwise;
  }
  int Int(const std::string& key) const { return std::stoi(Get(key)); }
};

// Shows the usual console report on stderr and prints the medians on stdout.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  MedianReporter() : benchmark::ConsoleReporter(OO_Tabular) {
    SetOutputStream(&std::cerr);
    SetErrorStream(&std::cerr);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    benchmark::ConsoleReporter::ReportRuns(runs);
    // A single repetition has no aggregates: its one run is the median.
    for (const Run& run : runs)
      if ((run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") ||
          (run.run_type == Run::RT_Iteration && run.repetitions <= 1 && !run.error_occurred))
        std::printf("time %s %.9f %lld\n", run.run_name.function_name.c_str(),
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit),
                    static_cast<long long>(run.repetitions));
  }
};

// One operation per repetition, so that the median is that of single operations.
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
  std::unique_ptr<Way> way = MakeWay(options.Get("way"), files, options.GetOr("client", ""));
  if (!way) {
    std::fprintf(stderr, "tabrix_bench: unknown way \"%s\"\n", options.Get("way").c_str());
    return 2;
  }
  int reps[3] = {};
  if (std::sscanf(options.Get("reps").c_str(), "%d,%d,%d", &reps[0], &reps[1], &reps[2]) != 3) {
    std::fprintf(stderr, "tabrix_bench: --reps takes ADD,REMOVE,EXISTS\n");
    return 2;
  }
  const std::string last = SourceName(options.Int("size"));

  struct Operation {
    const char* name;
    const std::string& from;  // the file it starts from
    bool changesFile;
    std::function<bool()> run;
  };
  const Operation operations[] = {
      {"add", files.base, true, [&] { return way->Add(); }},
      {"remove", files.with, true, [&] { return way->Remove(); }},
      {"exists", files.base, false, [&] { return way->Exists(last); }},
  };

  // The file the user file is an untouched copy of; empty once an operation changed it.
  std::string pristine;
  auto restore = [&](const Operation& op) {
    if (pristine != op.from) Restore(op.from, files.userFile);
    pristine = op.changesFile ? "" : op.from;
  };
  // The largest peak of each operation, with the resident set its process started from.
  std::map<std::string, Sample> highest;
  if (way->InProcess()) {
    // Each operation once in a child process doing just that, forked before the timings so
    // that it starts from a small heap.
    for (size_t i = 0; i < std::size(operations); ++i) {
      const Operation& op = operations[i];
      if (reps[i] == 0) continue;
      restore(op);
      highest[op.name] = MeasureInChild(op.run);
    }
  }

  bool failed = false;
  for (int i = 0; i < 3; ++i) {
    const Operation& op = operations[i];
    if (reps[i] == 0) {  // left out: one repetition would take too long
      std::printf("skipped %s\n", op.name);
      continue;
    }
    Register(
        op.name,
        [&](benchmark::State& state) {
          for (auto _ : state) {
            restore(op);  // outside the timing
            const auto start = Clock::now();
            const bool ok = op.run();
            state.SetIterationTime(Seconds(start));
            if (!ok) {
              std::printf("error %s failed\n", op.name);
              state.SkipWithError(op.name);
              failed = true;
              break;
            }
            // The program run per operation is a process doing just that: its peak counts.
            Sample& s = highest[op.name];
            if (!way->InProcess() && way->LastProgramPeakKb() > s.peakKb)
              s = {true, 0, 0, way->LastProgramPeakKb()};
          }
        },
        reps[i]);
  }
  int argc = static_cast<int>(options.rest.size());
  std::vector<char*> argv = options.rest;
  argv.push_back(nullptr);
  benchmark::Initialize(&argc, argv.data());
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  long idleKb = 0;  // a program that only starts up: the baseline of the program's peaks
  if (!way->InProcess()) RunQuietly(way->IdleProgram(), idleKb);
  for (const auto& [name, s] : highest) {
    if (s.ok)
      std::printf("peak %s %ld %ld\n", name.c_str(), s.peakKb,
                  way->InProcess() ? s.startKb : idleKb);
    else
      std::printf("error %s no-peak\n", name.c_str());
  }
  return failed ? 1 : 0;
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

void PrintCensus(const Census& c) {
  std::printf("sections %d\nlisted %d\nboth %d\npartial %d\n", c.sections, c.listed, c.both,
              c.partial);
}

int Concurrent(const Options& options) {
  const Files files = Files::FromEnvironment();
  const Outcome outcome = RunWriters(options.Get("way"), files, options.GetOr("client", ""),
                                     options.Int("writers"), options.Int("each"));
  std::printf("failures %d\nseconds %.3f\n", outcome.failures, outcome.seconds);
  PrintCensus(Count(files.userFile));
  return 0;
}

// One fsync of a file the size of the user file with the added data source, just written:
// what a writer that skips the sync saves. Median of --reps.
int SyncCost(const Options& options) {
  const Files files = Files::FromEnvironment();
  std::string text;
  {
    std::FILE* in = std::fopen(files.with.c_str(), "rb");
    if (!in) return 1;
    char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) text.append(buf, n);
    std::fclose(in);
  }
  const std::string temp = files.folder + "/fsync-probe.tmp";
  const std::string renamed = files.folder + "/fsync-probe.renamed";
  std::vector<double> seconds, folder;
  for (int i = 0; i < options.Int("reps"); ++i) {
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fflush(out) != 0)
      return 1;
    auto start = Clock::now();
    if (fsync(fileno(out)) != 0) return 1;
    seconds.push_back(Seconds(start));
    std::fclose(out);
    // And the folder's sync after a rename, which a durable replacement needs as well.
    if (std::rename(temp.c_str(), renamed.c_str()) != 0) return 1;
    std::FILE* dir = std::fopen(files.folder.c_str(), "r");
    if (!dir) return 1;
    start = Clock::now();
    if (fsync(fileno(dir)) != 0) return 1;
    folder.push_back(Seconds(start));
    std::fclose(dir);
    std::remove(renamed.c_str());
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(folder.begin(), folder.end());
  std::printf("time fsync %.9f %zu\n", seconds[seconds.size() / 2], seconds.size());
  std::printf("time dirsync %.9f %zu\n", folder[folder.size() / 2], folder.size());
  return 0;
}

// Programs that read the user file, run whole: their start-up is part of what they cost.
int Program(const Options& options) {
  Files::FromEnvironment();  // only on private files
  if (options.program.empty()) {
    std::fprintf(stderr, "tabrix_bench: program needs -- PROGRAM ARGS...\n");
    return 2;
  }
  const int reps = options.Int("reps");
  std::vector<double> seconds;
  long highest = 0;
  for (int i = 0; i < reps; ++i) {
    long peakKb = 0;
    const auto start = Clock::now();
    const int status = RunQuietly(options.program, peakKb, options.Get("output"));
    seconds.push_back(Seconds(start));
    if (status != 0) {
      std::printf("error status %d\n", status);
      return 1;
    }
    highest = std::max(highest, peakKb);
  }
  std::sort(seconds.begin(), seconds.end());
  const size_t n = seconds.size();
  const double median = n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2;
  std::printf("time run %.9f %d\npeak run %ld 0\n", median, reps, highest);
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
    if (mode == "probe-cache") return ProbeCache();
    if (mode == "fsync") return SyncCost(options);
    if (mode == "concurrent") return Concurrent(options);
    if (mode == "program") return Program(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tabrix_bench: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: tabrix_bench generate|time|probe-cache|concurrent|program --key=value...\n");
  return 2;
}
