// Measuring one operation: its time and the peak resident set of a process doing just that.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Sample {
  bool ok = false;
  double seconds = 0;
  long startKb = 0;  // resident set when the operation started
  long peakKb = 0;   // peak resident set of the process that did it
};

// Runs `op` once in a forked child, so that the peak resident set is that operation's alone.
// A fresh process pays page faults a long-running one does not: time operations in-process.
Sample MeasureInChild(const std::function<bool()>& op);

// Runs a program with its standard output going to `output` (discarded by default) and its
// errors discarded; returns its exit status (-1 when it could not run or did not exit) and
// its peak resident set in kB.
int RunQuietly(const std::vector<std::string>& argv, long& peakKb,
               const std::string& output = "/dev/null");

// A "VmRSS"-style field of /proc/self/status in kB; -1 when missing.
long StatusKb(const char* field);

}  // namespace bench
